// Inside the toolkit only: device-independent bitmaps (DIBs), the pixels of BMP files, of the
// BMP entries of icon files and of the bitmaps inside metafile records, all through one decoder.
#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <span>

namespace tk {

// How the colour table after a DIB's header is read (the colour usage of metafile records).
enum class DibColors {
    Rgb,            // DIB_RGB_COLORS: RGBQUADs, or RGBTRIPLEs after a core header
    PaletteIndices, // DIB_PAL_COLORS: 16-bit indices into the logical palette given
    NoTable,        // DIB_PAL_INDICES: no colour table; 1-bit pixels take `zero` and `one`,
                    // deeper ones are indices into the logical palette
};

// Where a DIB's alpha comes from.
enum class DibAlpha {
    Ignored,       // nowhere: every pixel opaque, as GDI's blits draw bitmaps
    FromMask,      // the alpha mask of a BI_BITFIELDS header (V3 and later), straight
    FourthByte,    // that, or else the fourth byte of 32-bit pixels, straight, as icons hold it
    Premultiplied, // the same, premultiplied, as AlphaBlend reads its source
};

struct DibOptions {
    // The box the bitmap is shown in, in pixels. Where a side of the bitmap is longer than the
    // box's, the decoder reduces that side to the box's while it decodes (averaging the source
    // pixels each output pixel covers), so a large bitmap is never held at its own size. An
    // empty box decodes at the bitmap's own size.
    QSize box{};
    DibColors colors = DibColors::Rgb;
    // The logical palette that PaletteIndices and NoTable refer to; empty for GDI's default
    // palette of 20 colours. An index beyond it takes its first colour.
    std::span<const QRgb> palette{};
    // The two colours of a monochrome bitmap without a colour table (NoTable), as GDI takes
    // them from the device context: the text colour for 0 bits, the background for 1 bits.
    QRgb zero = 0xFF000000u, one = 0xFFFFFFFFu;
    // An alpha that is 0 in every pixel counts as none: writers that fill no alpha leave zeros.
    DibAlpha alpha = DibAlpha::FromMask;
    // An icon entry: the header's height counts the colour rows and the AND mask's rows below
    // them; the mask makes pixels transparent, unless the colours carry an alpha of their own.
    bool iconMask = false;
};

struct DecodedDib {
    QImage image;   // RGB32, or ARGB32_Premultiplied where alpha or a mask is used; every pixel written
    QSize fullSize; // the bitmap's own size; the image is smaller when the box reduced it
    bool topDown = false; // rows stored from the top (a negative height in the header)
    bool hasAlpha = false;
};

// The size of a BITMAPINFO at the start of `info` (header, colour masks and colour table), read
// as `colors` says. Raises DamagedPicture when the header is unknown or `info` is shorter.
std::size_t DibInfoSize(std::span<const std::uint8_t> info, DibColors colors);

// Decodes a DIB from its BITMAPINFO and its pixel bytes. Pixels that a run-length stream skips,
// and indices beyond the colour table, take colour table entry 0 (black without a table); so
// do entries that a colour table cut short by the end of `info` lacks, while bytes between the
// table and the end of `info` are ignored. JPEG and PNG pixels (BI_JPEG, BI_PNG) are decoded
// as such. Raises DamagedPicture for a header or pixel data that is not consistent or too
// short, and PictureTooLarge for a bitmap claiming more than kMaxDeclaredPixels or beyond
// kMaxPictureBytes at the size it is decoded to.
DecodedDib DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits, const DibOptions& options);

// A DIB packed in one piece: BITMAPINFO, then the pixels to the end.
DecodedDib DecodePackedDib(std::span<const std::uint8_t> dib, const DibOptions& options);

// A .bmp file: BITMAPFILEHEADER, then a DIB (the pixels at the header's offset), with the
// alpha of its alpha mask.
DecodedDib DecodeBmpFile(std::span<const std::uint8_t> data, QSize box);

// A .ico file: the entry whose size best covers the box (among equal sizes the one with the
// most colours), BMP entries through DecodeDib, PNG entries through Qt's PNG reader. Its
// fullSize is that of the picture decoded without a box (the largest entry), so that an image
// smaller than it is worth decoding again for a larger box.
DecodedDib DecodeIcoFile(std::span<const std::uint8_t> data, QSize box);

// PNG data (icon entries, BI_PNG bitmaps) through Qt's PNG reader, reduced to the box.
DecodedDib DecodePng(std::span<const std::uint8_t> data, QSize box);

} // namespace tk
