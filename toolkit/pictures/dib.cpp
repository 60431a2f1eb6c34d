// Device-independent bitmaps: headers, colour tables and pixel formats, decoded row by row
// into a picture no larger than its box. BMP files, icon entries and metafile records all come
// here with their BITMAPINFO and their pixel bytes.
#include "dib.h"

#include "decoding.h"
#include "fields.h"
#include "jpeg.h"
#include "reduce.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

namespace tk {

namespace {

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6, // Windows CE
};

// BITMAPCOREHEADER, 12 bytes: size (32 bits), width and height (16 bits unsigned), planes and
// bits per pixel (16 bits each). Rows bottom-up; a table of RGBTRIPLEs (blue, green, red) for
// 1, 4 and 8 bits a pixel.
//
// BITMAPINFOHEADER, 40 bytes, and its successors, which add fields at its end: size (32 bits
// at 0), width and height (32 bits signed at 4 and 8; a negative height means the rows run
// top-down), planes (16 bits at 12), bits per pixel (16 bits at 14), compression (16), image
// size (20), resolution (24, 28), colours used (32), colours important (36). BITMAPV2 (52
// bytes) holds the red, green and blue masks at 40, 44 and 48, V3 (56) the alpha mask at 52,
// V4 (108) a colour space and V5 (124) a rendering intent and profile after them. A 40-byte
// header with BI_BITFIELDS is followed by its three masks, with BI_ALPHABITFIELDS by four, so
// the masks always lie at 40. OS/2's 16- and 64-byte headers share the layout as far as they
// reach; fields beyond a header's size read as 0.
//
// The colour table follows: `colours used` entries (when 0, 2^bits for 8 bits a pixel and
// fewer; never more than 256, as GDI reads it), RGBQUADs (blue, green, red, unused) or 16-bit
// indices into a logical palette (DIB_PAL_COLORS), or none (DIB_PAL_INDICES).
struct Header {
    std::uint32_t size = 0;
    std::int64_t width = 0, height = 0; // the height as stored: negative when top-down
    unsigned bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t imageSize = 0;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha, for the bit-field codings
    std::uint64_t tableAt = 0, tableEntries = 0, entrySize = 0;

    std::uint64_t InfoSize() const { return tableAt + tableEntries * entrySize; }
};

Header ReadHeader(const Fields& info, DibColors colors)
{
    Header h;
    h.size = info.U32(0);
    auto entrySize = [colors](std::uint64_t rgbSize) -> std::uint64_t {
        return colors == DibColors::Rgb ? rgbSize : colors == DibColors::PaletteIndices ? 2 : 0;
    };
    if (h.size == 12) {
        info.Need(0, 12);
        h.width = info.U16(4);
        h.height = info.U16(6);
        h.bitsPerPixel = info.U16(10);
        h.tableAt = 12;
        h.tableEntries = h.bitsPerPixel >= 1 && h.bitsPerPixel <= 8 ? std::uint64_t{1} << h.bitsPerPixel : 0;
        h.entrySize = entrySize(3);
        return h;
    }
    if (h.size < 16)
        throw DamagedPicture();
    info.Need(0, h.size);
    auto field = [&](std::uint64_t at) { return at + 4 <= h.size ? info.U32(at) : 0; };
    h.width = info.I32(4);
    h.height = info.I32(8);
    h.bitsPerPixel = info.U16(14);
    h.compression = field(16);
    h.imageSize = field(20);
    const std::uint32_t used = field(32);
    std::uint64_t masks = 0;
    if (h.compression == kBitFields)
        masks = h.size >= 56 ? 4 : 3;
    else if (h.compression == kAlphaBitFields)
        masks = 4;
    for (std::uint64_t i = 0; i < masks; ++i)
        h.masks[i] = info.U32(40 + 4 * i);
    h.tableAt = std::max<std::uint64_t>(h.size, 40 + 4 * masks);
    h.tableEntries = used != 0 ? std::min<std::uint32_t>(used, 256)
                     : h.bitsPerPixel >= 1 && h.bitsPerPixel <= 8 ? std::uint64_t{1} << h.bitsPerPixel
                                                                  : 0;
    h.entrySize = entrySize(4);
    return h;
}

// The 20 colours of GDI's default palette, its static colours: what palette indices refer to
// when a metafile has selected no palette of its own.
constexpr std::array<QRgb, 20> kDefaultPalette = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),   qRgb(0, 0, 128),
    qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
    qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),
    qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255),
};

// What a picture may claim before anything is decoded: its pixels are all walked, whatever
// the box, and its rows summed.
void CheckClaim(std::int64_t width, std::int64_t height)
{
    if (width > kMaxPictureSide || height > kMaxPictureSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxDeclaredPixels)
        throw PictureTooLarge();
}

// One channel of a direct-colour pixel: its bits in the pixel and their values brought to 8
// bits exactly (31 of 5 bits is 255, not 248). Channels wider than 16 bits are read by their
// top 16, which rounds no differently at 8 bits.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : mask_(mask)
    {
        if (mask == 0) {
            scale_.assign(1, 0);
            return;
        }
        shift_ = std::countr_zero(mask);
        const int span = std::bit_width(mask >> shift_);
        if (span > 16)
            shift_ += span - 16;
        const std::uint32_t top = mask >> shift_;
        scale_.resize(top + 1);
        for (std::uint32_t v = 0; v <= top; ++v)
            scale_[v] = static_cast<std::uint8_t>((v * 255 + top / 2) / top);
    }
    int operator()(std::uint32_t pixel) const { return scale_[(pixel & mask_) >> shift_]; }

private:
    std::uint32_t mask_;
    int shift_ = 0;
    std::vector<std::uint8_t> scale_;
};

// One DIB being decoded: its header, its colour table resolved to colours, and the rows of
// its pixels on their way to the picture.
class DibDecoder {
public:
    DibDecoder(const Fields& info, std::span<const std::uint8_t> bits, const DibOptions& options)
        : info_(info), bits_(bits), options_(options), header_(ReadHeader(info, options.colors))
    {
    }

    DecodedDib Decode()
    {
        if (header_.compression == kJpeg || header_.compression == kPng)
            return DecodePayload();
        CheckSize();
        BuildColourTable();
        const unsigned bits = header_.bitsPerPixel;
        const std::uint32_t coding = header_.compression;
        if (coding == kRgb && (bits == 1 || bits == 2 || bits == 4 || bits == 8))
            return DecodeRows([&](std::uint64_t row, QRgb* out) { IndexedRow(row, out); });
        if ((coding == kRle8 && bits == 8) || (coding == kRle4 && bits == 4))
            return DecodeRunLength();
        if ((coding == kRgb && (bits == 16 || bits == 24 || bits == 32)) ||
            ((coding == kBitFields || coding == kAlphaBitFields) && (bits == 16 || bits == 32)))
            return DecodeDirect();
        throw DamagedPicture();
    }

private:
    // The pixels' size, each row's bytes, and the size decoded to.
    void CheckSize()
    {
        const std::int64_t rows = header_.height < 0 ? -header_.height : header_.height;
        rows_ = options_.iconMask ? rows / 2 : rows;
        if (header_.width <= 0 || rows_ <= 0)
            throw DamagedPicture();
        CheckClaim(header_.width, rows_);
        width_ = static_cast<int>(header_.width);
        full_ = QSize(width_, static_cast<int>(rows_));
        size_ = SizeForBox(full_, options_.box);
        if (static_cast<std::uint64_t>(size_.width()) * static_cast<std::uint64_t>(size_.height()) * 4 > kMaxPictureBytes)
            throw PictureTooLarge();
        stride_ = (static_cast<std::uint64_t>(header_.width) * header_.bitsPerPixel + 31) / 32 * 4;
        topDown_ = header_.height < 0;
    }

    // The colour table as colours, every index of 8 bits included: entries the table lacks take
    // its entry 0, the colour skipped and out-of-range pixels get.
    void BuildColourTable()
    {
        if (header_.bitsPerPixel > 8)
            return;
        const std::span<const QRgb> logical =
            options_.palette.empty() ? std::span<const QRgb>(kDefaultPalette) : options_.palette;
        std::size_t count = 0;
        if (options_.colors == DibColors::NoTable) {
            if (header_.bitsPerPixel == 1) {
                colours_[0] = options_.zero;
                colours_[1] = options_.one;
                count = 2;
            } else {
                count = std::min<std::size_t>(logical.size(), colours_.size());
                std::copy_n(logical.begin(), count, colours_.begin());
            }
        } else {
            const std::uint64_t present =
                info_.Size() > header_.tableAt ? (info_.Size() - header_.tableAt) / header_.entrySize : 0;
            count = static_cast<std::size_t>(std::min(header_.tableEntries, present));
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint64_t at = header_.tableAt + i * header_.entrySize;
                if (options_.colors == DibColors::PaletteIndices) {
                    const std::uint16_t index = info_.U16(at);
                    colours_[i] = index < logical.size() ? logical[index] : logical[0];
                } else {
                    colours_[i] = qRgb(info_.U8(at + 2), info_.U8(at + 1), info_.U8(at));
                }
            }
        }
        for (std::size_t i = 0; i < count; ++i)
            colours_[i] |= 0xFF000000u;
        std::fill(colours_.begin() + static_cast<std::ptrdiff_t>(count), colours_.end(),
                  count > 0 ? colours_[0] : qRgb(0, 0, 0));
    }

    // The uncompressed rows must all be there; an icon's mask, after them, may be missing.
    void NeedRows()
    {
        if (stride_ * static_cast<std::uint64_t>(rows_) > bits_.size())
            throw DamagedPicture();
        if (!options_.iconMask)
            return;
        const std::uint64_t maskAt = stride_ * static_cast<std::uint64_t>(rows_);
        maskStride_ = (static_cast<std::uint64_t>(header_.width) + 31) / 32 * 4;
        if (maskStride_ * static_cast<std::uint64_t>(rows_) <= bits_.size() - maskAt)
            mask_ = bits_.subspan(maskAt, maskStride_ * static_cast<std::uint64_t>(rows_));
    }

    const std::uint8_t* Row(std::uint64_t row) const { return bits_.data() + row * stride_; }

    void IndexedRow(std::uint64_t row, QRgb* out) const
    {
        const std::uint8_t* in = Row(row);
        const unsigned bits = header_.bitsPerPixel;
        if (bits == 8) {
            for (int x = 0; x < width_; ++x)
                out[x] = colours_[in[x]];
            return;
        }
        const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
        for (int x = 0; x < width_; ++x) {
            const unsigned shift = 8 - bits * (static_cast<unsigned>(x) % perByte + 1);
            out[x] = colours_[(in[static_cast<unsigned>(x) / perByte] >> shift) & mask];
        }
    }

    // Mask bit 1: the screen shows through (or is inverted, where the colour is not black;
    // a picture has no screen behind it to invert).
    void ApplyMask(std::uint64_t row, QRgb* out) const
    {
        const std::uint8_t* bits = mask_.data() + row * maskStride_;
        for (int x = 0; x < width_; ++x)
            if (bits[x >> 3] & (0x80 >> (x & 7)))
                out[x] = 0;
    }

    // The rows, converted one by one into 32-bit pixels by `convert`, masked when an icon's
    // mask applies, on to the picture.
    template <class Convert>
    DecodedDib DecodeRows(Convert convert, bool alpha = false)
    {
        NeedRows();
        const bool masked = !mask_.empty() && !alpha;
        const QImage::Format format = alpha || masked ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        PictureRows picture(full_, size_, 4, format, !topDown_);
        std::vector<QRgb> row(static_cast<std::size_t>(width_));
        for (std::int64_t y = 0; y < rows_; ++y) {
            convert(static_cast<std::uint64_t>(y), row.data());
            if (masked)
                ApplyMask(static_cast<std::uint64_t>(y), row.data());
            picture.Add(reinterpret_cast<const std::uint8_t*>(row.data()));
        }
        return Result(picture.Take(), alpha || masked);
    }

    DecodedDib Result(QImage image, bool alpha) const
    {
        if (image.isNull())
            throw PictureTooLarge();
        return {std::move(image), full_, topDown_, alpha};
    }

    // BI_RLE8 and BI_RLE4: pairs of a count and a value (a run of count pixels; under RLE4 the
    // value's two nibbles alternate), or an escape, 0 then: 0 end of row, 1 end of picture, 2
    // a move right and up by the next two bytes, n >= 3 n pixels as they are, padded to 16
    // bits. Rows bottom-up only. The stream is whole when it reaches its end mark or, for the
    // writers that leave the mark out, when every row has ended; running out before is damage.
    DecodedDib DecodeRunLength()
    {
        if (topDown_ || options_.iconMask)
            throw DamagedPicture();
        const bool rle8 = header_.compression == kRle8;
        PictureRows picture(full_, size_, 4, QImage::Format_RGB32, true);
        // The row being written, its skipped pixels already in colour 0; only the part that
        // was written to is set back after each row, so a row costs what was written to it.
        std::vector<QRgb> row(static_cast<std::size_t>(width_), colours_[0]);
        int written = 0;
        std::int64_t y = 0;
        int x = 0;
        // Ends the row being written and skips `count` - 1 more; those cost as little as the
        // picture's output rows, since a stream of a few bytes may skip all of them.
        auto endRows = [&](std::int64_t count) {
            picture.Add(reinterpret_cast<const std::uint8_t*>(row.data()));
            std::fill_n(row.begin(), written, colours_[0]);
            written = 0;
            const std::int64_t more = std::min(count, rows_ - y) - 1;
            if (more > 0)
                picture.Add(reinterpret_cast<const std::uint8_t*>(row.data()), static_cast<int>(more));
            y += more + 1;
            x = 0;
        };
        auto put = [&](unsigned index) {
            row[static_cast<std::size_t>(x++)] = colours_[index];
            written = std::max(written, x);
        };
        const Fields in(bits_);
        std::uint64_t at = 0;
        while (y < rows_) {
            if (!in.Has(at, 2))
                throw DamagedPicture();
            const unsigned count = in.U8(at), value = in.U8(at + 1);
            at += 2;
            if (count > 0) {
                for (unsigned i = 0; i < count && x < width_; ++i)
                    put(rle8 ? value : i % 2 == 0 ? value >> 4 : value & 15);
            } else if (value == 0) {
                endRows(1);
            } else if (value == 1) {
                endRows(rows_ - y);
            } else if (value == 2) {
                const unsigned right = in.U8(at), up = in.U8(at + 1);
                at += 2;
                const int column = std::min(x + static_cast<int>(right), width_);
                if (up > 0)
                    endRows(up);
                x = column;
            } else {
                const std::uint64_t bytes = rle8 ? value : (value + 1) / 2;
                in.Need(at, bytes);
                for (unsigned i = 0; i < value && x < width_; ++i)
                    put(rle8 ? in.U8(at + i) : i % 2 == 0 ? in.U8(at + i / 2) >> 4 : in.U8(at + i / 2) & 15);
                at += bytes + (bytes & 1);
            }
        }
        return Result(picture.Take(), false);
    }

    // 16, 24 and 32 bits a pixel: blue, green, red bytes, or channels by their masks.
    DecodedDib DecodeDirect()
    {
        const unsigned bits = header_.bitsPerPixel;
        std::array<std::uint32_t, 4> masks = header_.masks;
        if (header_.compression == kRgb) {
            masks = bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                               : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
            if (bits == 32 && (options_.alpha == DibAlpha::FourthByte || options_.alpha == DibAlpha::Premultiplied))
                masks[3] = 0xFF000000u;
        }
        if (options_.alpha == DibAlpha::Ignored || (bits == 16 && masks[3] > 0xFFFF))
            masks[3] = 0;
        NeedRows();
        if (masks[3] != 0 && !AnyAlpha(masks[3]))
            masks[3] = 0;
        const bool alpha = masks[3] != 0;

        // The common layouts go to the picture as they lie, four bytes or three a pixel.
        if (mask_.empty() && (bits == 24 || (bits == 32 && !alpha && masks[0] == 0xFF0000 && masks[1] == 0xFF00 &&
                                               masks[2] == 0xFF && std::endian::native == std::endian::little))) {
            PictureRows picture(full_, size_, bits / 8, QImage::Format_RGB32, !topDown_);
            for (std::int64_t y = 0; y < rows_; ++y)
                picture.Add(Row(static_cast<std::uint64_t>(y)));
            return Result(picture.Take(), false);
        }
        if (bits == 24)
            return DecodeRows([&](std::uint64_t row, QRgb* out) {
                const std::uint8_t* in = Row(row);
                for (int x = 0; x < width_; ++x, in += 3)
                    out[x] = qRgb(in[2], in[1], in[0]);
            });
        const Channel red(masks[0]), green(masks[1]), blue(masks[2]), opacity(masks[3]);
        const bool premultiplied = options_.alpha == DibAlpha::Premultiplied;
        return DecodeRows(
            [&](std::uint64_t row, QRgb* out) {
                const std::uint8_t* in = Row(row);
                for (int x = 0; x < width_; ++x) {
                    const std::uint32_t pixel = Pixel(in, x);
                    const int r = red(pixel), g = green(pixel), b = blue(pixel);
                    if (!alpha) {
                        out[x] = qRgb(r, g, b);
                    } else {
                        const int a = opacity(pixel);
                        out[x] = premultiplied ? qRgba(std::min(r, a), std::min(g, a), std::min(b, a), a)
                                               : qPremultiply(qRgba(r, g, b, a));
                    }
                }
            },
            alpha);
    }

    std::uint32_t Pixel(const std::uint8_t* row, int x) const
    {
        if (header_.bitsPerPixel == 16)
            return std::uint32_t{row[2 * x]} | std::uint32_t{row[2 * x + 1]} << 8;
        const std::uint8_t* p = row + 4 * x;
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
    }

    bool AnyAlpha(std::uint32_t alphaMask) const
    {
        for (std::int64_t y = 0; y < rows_; ++y) {
            const std::uint8_t* row = Row(static_cast<std::uint64_t>(y));
            for (int x = 0; x < width_; ++x)
                if (Pixel(row, x) & alphaMask)
                    return true;
        }
        return false;
    }

    // BI_JPEG and BI_PNG: the pixels are a whole JPEG or PNG file, `image size` bytes long
    // where the header says so. Its own size counts, not the header's.
    DecodedDib DecodePayload() const
    {
        std::span<const std::uint8_t> data = bits_;
        if (header_.imageSize != 0 && header_.imageSize <= data.size())
            data = data.first(header_.imageSize);
        const bool topDown = header_.height < 0;
        if (header_.compression == kPng) {
            DecodedDib png = DecodePng(data, options_.box);
            png.topDown = topDown;
            return png;
        }
        const QByteArray file =
            QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
        DecodedJpeg jpeg = DecodeJpeg(file, options_.box.width(), options_.box.height());
        return {ReduceToBox(jpeg.image, options_.box), jpeg.fullSize, topDown, false};
    }

    const Fields& info_;
    std::span<const std::uint8_t> bits_;
    const DibOptions& options_;
    const Header header_;
    std::array<QRgb, 256> colours_{};
    int width_ = 0;
    std::int64_t rows_ = 0;
    QSize full_, size_;
    std::uint64_t stride_ = 0, maskStride_ = 0;
    bool topDown_ = false;
    std::span<const std::uint8_t> mask_;
};

} // namespace

std::size_t DibInfoSize(std::span<const std::uint8_t> info, DibColors colors)
{
    const Fields fields(info);
    const std::uint64_t size = ReadHeader(fields, colors).InfoSize(); // below 2^33
    if (size > fields.Size())
        throw DamagedPicture();
    return static_cast<std::size_t>(size);
}

DecodedDib DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits, const DibOptions& options)
{
    const Fields fields(info);
    return DibDecoder(fields, bits, options).Decode();
}

DecodedDib DecodePackedDib(std::span<const std::uint8_t> dib, const DibOptions& options)
{
    const std::size_t infoSize = DibInfoSize(dib, options.colors);
    return DecodeDib(dib.first(infoSize), dib.subspan(infoSize), options);
}

DecodedDib DecodePng(std::span<const std::uint8_t> data, QSize box)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        throw DamagedPicture();
    CheckClaim(size.width(), size.height());
    if (static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height()) * 4 > kMaxPictureBytes)
        throw PictureTooLarge();
    QImage image = reader.read();
    if (image.isNull())
        throw DamagedPicture();
    const bool alpha = image.hasAlphaChannel();
    image = ReduceToBox(image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32), box);
    return {std::move(image), size, false, alpha};
}

} // namespace tk
