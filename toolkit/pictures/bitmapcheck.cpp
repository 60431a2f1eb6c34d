// The check of a BMP file's pixel data that the metafile player puts the bitmaps of its records
// through before Qt's BMP reader; it goes once the player decodes them with our own decoder.
#include "metafile.h"

#include <cstdint>

namespace {

// Little-endian fields of a file held in memory; a field beyond the end reads as absent.
struct LittleEndianReader {
    const QByteArray& data;

    bool Has(std::uint64_t at, std::uint64_t length) const
    {
        return at <= static_cast<std::uint64_t>(data.size()) && length <= data.size() - at;
    }
    std::uint32_t Byte(std::uint64_t at) const { return static_cast<unsigned char>(data[static_cast<qsizetype>(at)]); }
    std::uint32_t U16(std::uint64_t at) const { return Byte(at) | Byte(at + 1) << 8; }
    std::uint32_t U32(std::uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
};

// Run-length coded rows (BI_RLE8, BI_RLE4): pairs of count and value, or an escape 0 then
// 0 (end of row), 1 (end of picture), 2 (move by the next two bytes: columns, rows) or n
// (n pixels follow as they are, padded to a 16-bit boundary). The stream is whole when it
// reaches its end mark, or, for writers that leave the mark out, when every row has ended.
bool RleStreamIsWhole(const LittleEndianReader& in, std::uint64_t at, int bitsPerPixel, std::int64_t rows)
{
    std::int64_t rowsEnded = 0;
    while (in.Has(at, 2)) {
        const std::uint32_t count = in.Byte(at), code = in.Byte(at + 1);
        at += 2;
        if (count != 0)
            continue;
        if (code == 0) {
            ++rowsEnded;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (!in.Has(at, 2))
                return false;
            rowsEnded += in.Byte(at + 1);
            at += 2;
        } else {
            std::uint64_t bytes = bitsPerPixel == 8 ? code : (code + 1) / 2;
            bytes += bytes & 1;
            if (!in.Has(at, bytes))
                return false;
            at += bytes;
        }
    }
    return rowsEnded >= rows;
}

} // namespace

// Whether a BMP file holds all the pixel data its header promises. Qt's reader hands out a
// cut-off file as a whole picture with the missing rows left as whatever the memory held, so
// this is checked first.
//
// BITMAPFILEHEADER, 14 bytes: "BM", file size (often wrong, not used), two reserved words,
// offset of the pixel data (32 bits at 10). Then the info header, its size first (32 bits at
// 14): 12 bytes for BITMAPCOREHEADER (width and height 16 bits unsigned at 18 and 20, bits per
// pixel at 24), 16 and more for BITMAPINFOHEADER and its successors (width and height 32 bits
// signed at 18 and 22, a negative height meaning rows top-down; bits per pixel at 28;
// compression 32 bits at 30 from 20 bytes on).
bool tk::BitmapHoldsItsPixels(const QByteArray& data)
{
    const LittleEndianReader in{data};
    if (!in.Has(0, 18) || data[0] != 'B' || data[1] != 'M')
        return false;
    const std::uint64_t pixelsAt = in.U32(10);
    const std::uint32_t headerSize = in.U32(14);
    std::int64_t width = 0, height = 0;
    std::uint32_t bitsPerPixel = 0, compression = 0;
    if (headerSize == 12) {
        if (!in.Has(14, 12))
            return false;
        width = in.U16(18);
        height = in.U16(20);
        bitsPerPixel = in.U16(24);
    } else if (headerSize >= 16) {
        if (!in.Has(14, headerSize >= 20 ? 20 : 16))
            return false;
        width = static_cast<std::int32_t>(in.U32(18));
        height = static_cast<std::int32_t>(in.U32(22));
        bitsPerPixel = in.U16(28);
        compression = headerSize >= 20 ? in.U32(30) : 0;
    } else {
        return false;
    }
    const std::int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0 || bitsPerPixel == 0 || bitsPerPixel > 32)
        return false;

    constexpr std::uint32_t rgb = 0, rle8 = 1, rle4 = 2, bitFields = 3, alphaBitFields = 6;
    if (compression == rle8 || compression == rle4)
        return RleStreamIsWhole(in, pixelsAt, compression == rle8 ? 8 : 4, rows);
    if (compression == rgb || compression == bitFields || compression == alphaBitFields) {
        // Each row is padded to a 32-bit boundary. Sizes stay far below 2^64: width < 2^31,
        // at most 32 bits a pixel, rows < 2^31.
        const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
        return in.Has(pixelsAt, stride * static_cast<std::uint64_t>(rows));
    }
    return true; // other codings (JPEG or PNG inside) Qt's reader refuses by itself
}

