// Reading metafile records: the strings of text records and the bitmaps inside records.
#include "metafilerecords.h"

#include "metafile.h"
#include "qtbridge.h"

#include <QBuffer>
#include <QImageReader>

namespace tk::metafile {

TextRun AnsiRun(const std::string& bytes, const std::vector<double>& byteAdvances)
{
    TextRun run;
    if (byteAdvances.size() < bytes.size()) {
        run.text = QString::fromStdString(ToUtf8(bytes));
        return run;
    }
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = IsLeadByte(bytes[i]) && i + 1 < bytes.size() ? 2 : 1;
        const QString piece = QString::fromStdString(ToUtf8(bytes.substr(i, length)));
        double advance = 0;
        for (std::size_t k = 0; k < length; ++k)
            advance += byteAdvances[i + k];
        if (piece.isEmpty() && !run.advances.empty())
            run.advances.back() += advance; // a byte code page 932 has no character for
        for (qsizetype unit = 0; unit < piece.size(); ++unit)
            run.advances.push_back(unit == 0 ? advance : 0);
        run.text += piece;
        i += length;
    }
    return run;
}

// BITMAPINFO: a BITMAPCOREHEADER (12 bytes: size, width and height 16 bits unsigned, planes,
// bits per pixel) or a BITMAPINFOHEADER (40 bytes and its longer successors: size, width and
// height 32 bits signed, a negative height meaning rows top-down, planes, bits per pixel (14),
// compression (16), image size, resolution, colours used (32), colours important). After a
// 40-byte header, BI_BITFIELDS (3) puts three colour masks, BI_ALPHABITFIELDS (6) four; then
// the colour table: RGBQUADs, RGBTRIPLEs after a core header, or 16-bit palette indices under
// DIB_PAL_COLORS. Answers the size of all that, checked against `info`.
std::size_t DibInfoSize(const Bytes& info, bool paletteIndices)
{
    const std::uint32_t headerSize = info.U32(0);
    std::uint64_t entries = 0, entrySize = 0, masks = 0;
    auto tableEntries = [](unsigned bitsPerPixel) -> std::uint64_t {
        return bitsPerPixel >= 1 && bitsPerPixel <= 8 ? std::uint64_t{1} << bitsPerPixel : 0;
    };
    if (headerSize == 12) {
        entries = tableEntries(info.U16(10));
        entrySize = paletteIndices ? 2 : 3;
    } else if (headerSize >= 40) {
        const std::uint32_t compression = info.U32(16), used = info.U32(32);
        entries = used != 0 ? used : tableEntries(info.U16(14));
        entrySize = paletteIndices ? 2 : 4;
        if (headerSize == 40)
            masks = compression == 3 ? 12 : compression == 6 ? 16 : 0;
    } else {
        throw DamagedPicture();
    }
    const std::uint64_t size = headerSize + masks + entries * entrySize; // below 2^35
    if (size > info.Size())
        throw DamagedPicture();
    return static_cast<std::size_t>(size);
}

// A DIB from its BITMAPINFO and its pixels, through Qt's BMP reader: the two are put behind a
// BITMAPFILEHEADER and checked, like any BMP file the loader reads, for all their pixels.
Bitmap DecodeDib(const Bytes& info, const Bytes& pixels, bool paletteIndices)
{
    const std::size_t infoSize = DibInfoSize(info, paletteIndices);
    const bool core = info.U32(0) == 12;
    const std::int64_t width = core ? info.U16(4) : info.I32(4);
    const std::int64_t height = core ? info.U16(6) : info.I32(8);
    const unsigned bitsPerPixel = core ? info.U16(10) : info.U16(14);
    const std::uint32_t compression = core ? 0 : info.U32(16);
    Bitmap bitmap;
    bitmap.bottomUp = height > 0;
    // Pixels held as JPEG or PNG (printer drivers' forms), and colours given as indices into a
    // palette the metafile does not carry, are not drawn.
    if (compression == 4 || compression == 5 || (paletteIndices && bitsPerPixel <= 8))
        return bitmap;
    const std::int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0)
        throw DamagedPicture();
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows) > kMaxPictureBytes / 4)
        throw PictureTooLarge();

    auto u32 = [](std::uint64_t v) {
        const char bytes[] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                              static_cast<char>(v >> 24)};
        return QByteArray(bytes, 4);
    };
    QByteArray file = "BM" + u32(14 + infoSize + pixels.Size()) + u32(0) + u32(14 + infoSize);
    file.append(reinterpret_cast<const char*>(info.Data()), static_cast<qsizetype>(infoSize));
    file.append(reinterpret_cast<const char*>(pixels.Data()), static_cast<qsizetype>(pixels.Size()));
    if (!BitmapHoldsItsPixels(file))
        throw DamagedPicture();
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    bitmap.image = reader.read();
    if (bitmap.image.isNull())
        throw DamagedPicture();
    return bitmap;
}

// A DIB packed in one piece (WMF records): BITMAPINFO, then the pixels to the end.
Bitmap DecodePackedDib(const Bytes& dib, bool paletteIndices)
{
    const std::size_t infoSize = DibInfoSize(dib, paletteIndices);
    return DecodeDib(dib.Sub(0, infoSize), dib.From(infoSize), paletteIndices);
}

} // namespace tk::metafile
