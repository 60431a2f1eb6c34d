// Fonts and colours: Windows font and colour values mapped onto Qt.
#include "graphics.h"
#include "pictures/dib.h"
#include "qtbridge.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QWidget>

#include <cmath>
#include <map>

namespace {

// Windows rounds a scaled value half away from zero.
int MulDiv(int number, int numerator, int denominator)
{
    return static_cast<int>(std::lround(static_cast<double>(number) * numerator / denominator));
}

constexpr int ScreenPixelsPerInch = 96;
constexpr std::size_t MaxFaceNameBytes = 31;

} // namespace

TFont::TFont()
    : name_(tk::Ansi("ＭＳ Ｐゴシック")), height_(-12), color_(clWindowText), style_(0), charset_(DEFAULT_CHARSET)
{
}

TFont::~TFont() = default;

void TFont::Changed()
{
    if (OnChange)
        OnChange();
}

void TFont::SetName(const AnsiString& name)
{
    if (name.empty())
        return;
    AnsiString cut = name.substr(0, MaxFaceNameBytes);
    if (cut == name_)
        return;
    name_ = cut;
    Changed();
}

int TFont::Size() const { return -MulDiv(height_, 72, ScreenPixelsPerInch); }

void TFont::SetSize(int points) { SetHeight(-MulDiv(points, ScreenPixelsPerInch, 72)); }

void TFont::SetHeight(int pixels)
{
    if (pixels == height_)
        return;
    height_ = pixels;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (color == color_)
        return;
    color_ = color;
    Changed();
}

void TFont::SetStyle(TFontStyles style)
{
    style &= fsBold | fsItalic | fsUnderline | fsStrikeOut;
    if (style == style_)
        return;
    style_ = style;
    Changed();
}

void TFont::SetCharset(int charset)
{
    if (charset == charset_)
        return;
    charset_ = charset;
    Changed();
}

void TFont::Assign(const TFont& other)
{
    if (&other == this)
        return;
    bool same = name_ == other.name_ && height_ == other.height_ && color_ == other.color_ &&
                style_ == other.style_ && charset_ == other.charset_;
    name_ = other.name_;
    height_ = other.height_;
    color_ = other.color_;
    style_ = other.style_;
    charset_ = other.charset_;
    if (!same)
        Changed();
}

namespace tk {

const QStringList& JapaneseWindowsFaces()
{
    static const QStringList faces = {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ＭＳ ゴシック"),
                                      QStringLiteral("ＭＳ 明朝"), QStringLiteral("ＭＳ Ｐ明朝")};
    return faces;
}

// Japanese Windows faces and their metric-compatible IPA fonts. Names are compared without
// blanks (half or full width) and without letter case, so every common spelling matches.
QString SubstituteFace(const QString& face)
{
    QString key = face;
    key.remove(QChar(' '));
    key.remove(QChar(0x3000));
    key = key.toCaseFolded();
    struct Entry {
        const char* windowsName;
        const char* ipaName;
    };
    static const Entry table[] = {
        {"ＭＳＰゴシック", "IPAPGothic"}, {"msｐゴシック", "IPAPGothic"}, {"mspgothic", "IPAPGothic"},
        {"ＭＳゴシック", "IPAGothic"},    {"msゴシック", "IPAGothic"},     {"msgothic", "IPAGothic"},
        {"ＭＳ明朝", "IPAMincho"},        {"ms明朝", "IPAMincho"},         {"msmincho", "IPAMincho"},
        {"ＭＳＰ明朝", "IPAPMincho"},     {"msｐ明朝", "IPAPMincho"},      {"mspmincho", "IPAPMincho"},
    };
    for (const Entry& entry : table) {
        if (key == QString::fromUtf8(entry.windowsName).toCaseFolded())
            return QString::fromLatin1(entry.ipaName);
    }
    return face;
}

QFont ToQFont(const TFont& font)
{
    QFont result;
    result.setFamily(SubstituteFace(ToQt(font.Name())));
    // A negative height is the character height, as Qt's pixel size is; a positive one is the
    // cell height, close enough to it for the faces used here.
    int pixels = std::abs(font.Height());
    result.setPixelSize(pixels > 0 ? pixels : 12);
    result.setBold((font.Style() & fsBold) != 0);
    result.setItalic((font.Style() & fsItalic) != 0);
    result.setUnderline((font.Style() & fsUnderline) != 0);
    result.setStrikeOut((font.Style() & fsStrikeOut) != 0);
    return result;
}

QColor ToQColor(TColor color)
{
    auto value = static_cast<std::uint32_t>(color);
    if ((value & 0xFF000000u) == 0x80000000u) {
        QPalette palette = QApplication::palette();
        switch (value & 0xFFu) {
        case 5: return palette.color(QPalette::Base);          // clWindow
        case 8: return palette.color(QPalette::Text);          // clWindowText
        case 15: return palette.color(QPalette::Button);       // clBtnFace
        case 16: return palette.color(QPalette::Dark);         // clBtnShadow
        case 18: return palette.color(QPalette::ButtonText);   // clBtnText
        case 13: return palette.color(QPalette::Highlight);    // clHighlight
        case 14: return palette.color(QPalette::HighlightedText);
        case 20: return palette.color(QPalette::Light);        // clBtnHighlight
        case 17: return palette.color(QPalette::PlaceholderText); // clGrayText
        case 23: return palette.color(QPalette::ToolTipText);  // clInfoText
        case 24: return palette.color(QPalette::ToolTipBase);  // clInfoBk
        default: return palette.color(QPalette::WindowText);
        }
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

void ApplyFont(QWidget* widget, const TFont& font)
{
    if (!widget)
        return;
    widget->setFont(ToQFont(font));
    QPalette palette = widget->palette();
    QColor color = ToQColor(font.Color());
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QImage ResourceImage(const std::string& name, QSize box)
{
    // Each is decoded once: the same built-in picture fills several controls.
    static std::map<std::pair<std::string, std::pair<int, int>>, QImage> decoded;
    const auto key = std::make_pair(name, std::make_pair(box.width(), box.height()));
    auto found = decoded.find(key);
    if (found != decoded.end())
        return found->second;
    QImage image;
    QFile file(QString::fromStdString(":/pagora/" + name));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray data = file.readAll();
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size()));
        try {
            image = (name.ends_with(".ico") ? DecodeIcoFile(bytes, box) : DecodeBmpFile(bytes, box)).image;
        } catch (const EInvalidGraphic&) {
        }
    }
    return decoded.emplace(key, image).first->second;
}

} // namespace tk
