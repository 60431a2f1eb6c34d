// Reading metafile records: the strings of text records and the size of the bitmaps inside
// records.
#include "metafilerecords.h"

#include "qtbridge.h"

#include <cstdlib>
#include <iconv.h>
#include <map>
#include <memory>

namespace tk::metafile {

namespace {

bool AnyLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool Cp932LeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool JohabLeadByte(unsigned char b) { return (b >= 0x84 && b <= 0xD3) || (b >= 0xD8 && b <= 0xDE) || (b >= 0xE0 && b <= 0xF9); }

// The code page of each character set, as Windows gives them, and for the double-byte ones the
// bytes that start a pair. OEM text is in the OEM code page of a Japanese system, 932 as well;
// MAC_CHARSET takes Mac OS Roman. SYMBOL has its own table below.
struct CodePage {
    std::uint8_t charset;
    const char* name; // for iconv
    bool (*leadByte)(unsigned char);
};

constexpr CodePage kCodePages[] = {
    {kAnsiCharset, "CP1252", nullptr},  {kDefaultCharset, "CP932", Cp932LeadByte}, {kSymbolCharset, nullptr, nullptr},
    {77, "MACINTOSH", nullptr},
    {128, "CP932", Cp932LeadByte},      {129, "CP949", AnyLeadByte},             {130, "JOHAB", JohabLeadByte},
    {134, "CP936", AnyLeadByte},        {136, "CP950", AnyLeadByte},             {161, "CP1253", nullptr},
    {162, "CP1254", nullptr},           {163, "CP1258", nullptr},                {177, "CP1255", nullptr},
    {178, "CP1256", nullptr},           {186, "CP1257", nullptr},                {204, "CP1251", nullptr},
    {222, "CP874", nullptr},            {238, "CP1250", nullptr},                {255, "CP932", Cp932LeadByte},
};

const CodePage& CodePageOf(std::uint8_t charset)
{
    for (const CodePage& page : kCodePages)
        if (page.charset == charset)
            return page;
    return kCodePages[1]; // an unknown set reads as the system's code page, like DEFAULT
}

// One character of a code page to UTF-16 through iconv, one descriptor per code page and thread.
class CodePageDecoder {
public:
    explicit CodePageDecoder(const char* name) : cd_(iconv_open("UTF-16LE", name)) {}
    ~CodePageDecoder()
    {
        if (cd_ != Invalid())
            iconv_close(cd_);
    }
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    // The character's UTF-16 units; "?" where the code page has none, as Windows shows it.
    QString Decode(std::string_view character)
    {
        if (cd_ == Invalid())
            return QStringLiteral("?");
        char out[16];
        char* in = const_cast<char*>(character.data());
        std::size_t inLeft = character.size(), outLeft = sizeof out;
        char* outPtr = out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        const bool converted = iconv(cd_, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                               inLeft == 0 &&
                               // a converter that holds a base letter back for a combining mark
                               // (code page 1258) gives it up here
                               iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
        const std::size_t produced = sizeof out - outLeft;
        if (!converted || produced == 0)
            return QStringLiteral("?");
        QString text;
        for (std::size_t i = 0; i + 1 < produced; i += 2)
            text += QChar(static_cast<char16_t>(static_cast<unsigned char>(out[i]) | static_cast<unsigned char>(out[i + 1]) << 8));
        return text;
    }

private:
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
};

QString DecodeCharacter(const CodePage& page, std::string_view character)
{
    thread_local std::map<std::string_view, std::unique_ptr<CodePageDecoder>> decoders;
    auto& decoder = decoders[page.name];
    if (!decoder)
        decoder = std::make_unique<CodePageDecoder>(page.name);
    return decoder->Decode(character);
}

// The Symbol font's encoding (the one its fonts carry under SYMBOL_CHARSET) as the Unicode
// characters it draws: Greek, mathematical signs, arrows, and the pieces that tall brackets,
// braces and integrals of formulas are built from. 0 where the font has no character; the two
// extenders of arrows, which no installed font holds in their own Unicode characters, as box
// drawing lines.
constexpr char16_t kSymbolFrom20[96] = {
    u' ', u'!', u'\u2200', u'#', u'\u2203', u'%', u'&', u'\u220B', u'(', u')', u'\u2217', u'+', u',',
    u'\u2212', u'.', u'/', u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', u'9', u':', u';', u'<', u'=',
    u'>', u'?', u'\u2245', u'\u0391', u'\u0392', u'\u03A7', u'\u0394', u'\u0395', u'\u03A6', u'\u0393',
    u'\u0397', u'\u0399', u'\u03D1', u'\u039A', u'\u039B', u'\u039C', u'\u039D', u'\u039F', u'\u03A0',
    u'\u0398', u'\u03A1', u'\u03A3', u'\u03A4', u'\u03A5', u'\u03C2', u'\u03A9', u'\u039E', u'\u03A8',
    u'\u0396', u'[', u'\u2234', u']', u'\u22A5', u'_', u'\u203E', u'\u03B1', u'\u03B2', u'\u03C7', u'\u03B4',
    u'\u03B5', u'\u03C6', u'\u03B3', u'\u03B7', u'\u03B9', u'\u03D5', u'\u03BA', u'\u03BB', u'\u03BC',
    u'\u03BD', u'\u03BF', u'\u03C0', u'\u03B8', u'\u03C1', u'\u03C3', u'\u03C4', u'\u03C5', u'\u03D6',
    u'\u03C9', u'\u03BE', u'\u03C8', u'\u03B6', u'{', u'|', u'}', u'\u223C', 0
};
constexpr char16_t kSymbolFromA0[96] = {
    u'\u20AC', u'\u03D2', u'\u2032', u'\u2264', u'\u2044', u'\u221E', u'\u0192', u'\u2663', u'\u2666',
    u'\u2665', u'\u2660', u'\u2194', u'\u2190', u'\u2191', u'\u2192', u'\u2193', u'\u00B0', u'\u00B1',
    u'\u2033', u'\u2265', u'\u00D7', u'\u221D', u'\u2202', u'\u2022', u'\u00F7', u'\u2260', u'\u2261',
    u'\u2248', u'\u2026', u'\u2502', u'\u2500', u'\u21B5', u'\u2135', u'\u2111', u'\u211C', u'\u2118',
    u'\u2297', u'\u2295', u'\u2205', u'\u2229', u'\u222A', u'\u2283', u'\u2287', u'\u2284', u'\u2282',
    u'\u2286', u'\u2208', u'\u2209', u'\u2220', u'\u2207', u'\u00AE', u'\u00A9', u'\u2122', u'\u220F',
    u'\u221A', u'\u22C5', u'\u00AC', u'\u2227', u'\u2228', u'\u21D4', u'\u21D0', u'\u21D1', u'\u21D2',
    u'\u21D3', u'\u25CA', u'\u27E8', u'\u00AE', u'\u00A9', u'\u2122', u'\u2211', u'\u239B', u'\u239C',
    u'\u239D', u'\u23A1', u'\u23A2', u'\u23A3', u'\u23A7', u'\u23A8', u'\u23A9', u'\u23AA', 0, u'\u27E9',
    u'\u222B', u'\u2320', u'\u23AE', u'\u2321', u'\u239E', u'\u239F', u'\u23A0', u'\u23A4', u'\u23A5',
    u'\u23A6', u'\u23AB', u'\u23AC', u'\u23AD', 0
};

char16_t SymbolCharacter(unsigned char b)
{
    return b >= 0xA0 ? kSymbolFromA0[b - 0xA0] : b >= 0x20 && b < 0x80 ? kSymbolFrom20[b - 0x20] : 0;
}

} // namespace

TextRun AnsiRun(std::string_view bytes, const std::vector<double>& byteAdvances, std::uint8_t charset)
{
    const bool withAdvances = !bytes.empty() && byteAdvances.size() >= bytes.size();
    const CodePage& page = CodePageOf(charset);
    TextRun run;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = page.leadByte && page.leadByte(lead) && i + 1 < bytes.size() ? 2 : 1;
        QString piece;
        if (charset == kSymbolCharset)
            piece = QChar(SymbolCharacter(lead) != 0 ? SymbolCharacter(lead) : u' '); // blank where it has none
        else
            piece = DecodeCharacter(page, bytes.substr(i, length));
        if (withAdvances) {
            double advance = 0;
            for (std::size_t k = 0; k < length; ++k)
                advance += byteAdvances[i + k];
            for (qsizetype unit = 0; unit < piece.size(); ++unit)
                run.advances.push_back(unit == 0 ? advance : 0);
        }
        run.text += piece;
        i += length;
    }
    return run;
}

std::vector<QRgb> PaletteEntries(const Bytes& r, std::size_t at, std::uint64_t count)
{
    r.NeedItems(at, count, 4);
    std::vector<QRgb> colors;
    colors.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < count; ++i)
        colors.push_back(qRgb(r.U8(at + 4 * i), r.U8(at + 4 * i + 1), r.U8(at + 4 * i + 2)));
    return colors;
}

QSize DibDimensions(const Bytes& info)
{
    if (info.U32(0) == 12)
        return QSize(info.U16(4), info.U16(6));
    const std::int64_t width = info.I32(4), height = info.I32(8);
    auto side = [](std::int64_t v) { return static_cast<int>(std::min<std::int64_t>(std::abs(v), 1 << 30)); };
    return QSize(side(width), side(height));
}

} // namespace tk::metafile
