// Inside the toolkit only: a picture built from its rows as a decoder meets them, reduced to a
// smaller size on the way.
#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <vector>

namespace tk {

// Takes a picture's rows one at a time and builds it at `size`, no larger than the source on
// either side. Each output pixel is the average of the source area it covers, a source pixel
// on its edge counted by the part of it that lies inside, so a flat colour stays exactly that
// colour. Only two rows of sums are held, whatever the source's size.
//
// Rows hold 8-bit channels: 3 bytes a pixel (blue, green, red, as BMP files store them) or 4
// (a 32-bit pixel of `format` as it lies in memory; for RGB32 the fourth byte may be anything
// and comes out as 0xFF). Premultiplied pixels average correctly; straight alpha would not.
// Sides are at most kMaxPictureSide, which keeps every sum of a row far within 32 bits.
class PictureRows {
public:
    // `bottomUp`: the first row added is the picture's last. The image starts filled (black,
    // or transparent), so rows that never come leave no stray memory.
    PictureRows(QSize source, QSize size, int bytesPerPixel, QImage::Format format, bool bottomUp);

    // The next `count` rows, all the same (a run-length stream's skipped rows): their cost
    // follows the output's rows, not the source's.
    void Add(const std::uint8_t* row, int count = 1);
    int RowsAdded() const { return added_; }
    QImage Take() { return std::move(image_); }

private:
    void Write(int outputRow, const std::uint8_t* row);
    void Spill();
    void Flush();

    QSize source_, size_;
    int bytesPerPixel_;
    bool bottomUp_, opaque_;
    QImage image_;
    int added_ = 0, flushed_ = 0;
    // Per channel byte of a source row: up to 257 rows lying wholly inside the output row
    // being built, summed as they are in 16 bits (the sum a picture's rows mostly go through,
    // kept narrow to be quick); and all the rest by the part of them inside it, in 32 bits.
    std::vector<std::uint16_t> whole_;
    int wholeRows_ = 0;
    std::vector<std::uint32_t> parts_;
    // Per output column: its first and last source pixel and the parts of those two inside it.
    struct Span {
        int first, last;
        std::uint32_t firstPart, lastPart;
    };
    std::vector<Span> spans_;
    std::vector<std::uint8_t> reduced_; // one output row of 3-byte pixels
};

// An image held whole (a PNG or JPEG inside a bitmap) brought down to `box` where it is larger
// on a side; an empty box leaves it as it is.
QImage ReduceToBox(const QImage& image, QSize box);

// The size a picture of `source` pixels is decoded to for `box`: each side the smaller of the
// two, or the source's own without a box.
QSize SizeForBox(QSize source, QSize box);

} // namespace tk
