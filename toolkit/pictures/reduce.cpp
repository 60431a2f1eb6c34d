// Pictures reduced row by row by area averaging, as their decoders hand the rows out.
//
// Coordinates are counted in units that make every overlap a whole number: along a side of n
// source pixels reduced to m, source pixel i covers [i*m, (i+1)*m) and output pixel j covers
// [j*n, (j+1)*n). An output pixel's weights then add up to exactly n*m in each direction.
#include "reduce.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tk {

QSize SizeForBox(QSize source, QSize box)
{
    if (box.width() <= 0 || box.height() <= 0)
        return source;
    return {std::min(source.width(), box.width()), std::min(source.height(), box.height())};
}

PictureRows::PictureRows(QSize source, QSize size, int bytesPerPixel, QImage::Format format, bool bottomUp)
    : source_(source), size_(size), bytesPerPixel_(bytesPerPixel), bottomUp_(bottomUp),
      opaque_(format == QImage::Format_RGB32), image_(size, format)
{
    if (image_.isNull())
        return;
    image_.fill(opaque_ ? 0xFF000000u : 0u);
    if (size_ == source_)
        return;
    const std::size_t channels = static_cast<std::size_t>(source.width()) * static_cast<std::size_t>(bytesPerPixel);
    whole_.assign(channels, 0);
    parts_.assign(channels, 0);
    const std::uint64_t n = static_cast<std::uint64_t>(source.width()), m = static_cast<std::uint64_t>(size.width());
    spans_.resize(static_cast<std::size_t>(size.width()));
    if (bytesPerPixel == 3)
        reduced_.resize(static_cast<std::size_t>(size.width()) * 3);
    for (std::uint64_t j = 0; j < m; ++j) {
        const std::uint64_t low = j * n, high = low + n;
        const std::uint64_t first = low / m, last = (high - 1) / m;
        spans_[j] = {static_cast<int>(first), static_cast<int>(last),
                     static_cast<std::uint32_t>(std::min((first + 1) * m, high) - low),
                     static_cast<std::uint32_t>(high - std::max(last * m, low))};
    }
}

// A row at the output's own size.
void PictureRows::Write(int outputRow, const std::uint8_t* row)
{
    auto* out = reinterpret_cast<QRgb*>(image_.scanLine(bottomUp_ ? size_.height() - 1 - outputRow : outputRow));
    const int width = size_.width();
    if (bytesPerPixel_ == 3) {
        for (int x = 0; x < width; ++x, row += 3)
            out[x] = qRgb(row[2], row[1], row[0]);
        return;
    }
    std::memcpy(out, row, static_cast<std::size_t>(width) * 4);
    if (opaque_)
        for (int x = 0; x < width; ++x)
            out[x] |= 0xFF000000u;
}

void PictureRows::Add(const std::uint8_t* row, int count)
{
    count = std::min(count, source_.height() - added_);
    if (image_.isNull() || count <= 0)
        return;
    if (size_ == source_) {
        while (count-- > 0)
            Write(added_++, row);
        return;
    }
    const std::uint64_t m = static_cast<std::uint64_t>(size_.height()), n = static_cast<std::uint64_t>(source_.height());
    const std::size_t channels = whole_.size();
    while (count > 0) {
        const std::uint64_t start = static_cast<std::uint64_t>(added_) * m;
        const std::uint64_t outputEnd = static_cast<std::uint64_t>(flushed_ + 1) * n;
        // The copies that lie wholly inside the output row being built are summed at once.
        const auto inside = static_cast<int>(std::min<std::uint64_t>((outputEnd - start) / m, static_cast<std::uint64_t>(count)));
        if (inside == 1) {
            if (wholeRows_ == 257) // 257 * 255 is the most 16 bits hold
                Spill();
            for (std::size_t k = 0; k < channels; ++k)
                whole_[k] = static_cast<std::uint16_t>(whole_[k] + row[k]);
            ++wholeRows_;
        } else if (inside > 1) {
            const auto weight = static_cast<std::uint32_t>(inside) * static_cast<std::uint32_t>(m);
            for (std::size_t k = 0; k < channels; ++k)
                parts_[k] += row[k] * weight;
        }
        if (inside > 0) {
            added_ += inside;
            count -= inside;
            if (static_cast<std::uint64_t>(added_) * m == outputEnd)
                Flush();
            continue;
        }
        // The row straddles two output rows (m < n, so never more).
        const auto part = static_cast<std::uint32_t>(outputEnd - start);
        for (std::size_t k = 0; k < channels; ++k)
            parts_[k] += row[k] * part;
        Flush();
        const auto rest = static_cast<std::uint32_t>(m) - part;
        for (std::size_t k = 0; k < channels; ++k)
            parts_[k] += row[k] * rest;
        ++added_;
        --count;
    }
}

namespace {

// Rounds a sum of weighted channel values divided by the total of the weights, with a
// multiplication in place of a division for every channel of every output pixel. The sum is
// below 2^37, so its double is exact and the estimate off by one at most.
class Average {
public:
    explicit Average(std::uint64_t total) : total_(total), inverse_(1.0 / static_cast<double>(total)) {}
    std::uint8_t operator()(std::uint64_t sum) const
    {
        const std::uint64_t x = sum + total_ / 2;
        auto q = static_cast<std::uint64_t>(static_cast<double>(x) * inverse_);
        if (q * total_ > x)
            --q;
        else if ((q + 1) * total_ <= x)
            ++q;
        return static_cast<std::uint8_t>(q);
    }

private:
    std::uint64_t total_;
    double inverse_;
};

// One output row from the sums of its source rows: each output pixel from the whole source
// pixels inside it and the parts of the two on its edges, all channels in one pass.
template <int kChannels>
void ReduceRow(const std::uint32_t* sums, const auto& spans, std::uint32_t sourcePart, const Average& average,
               std::uint8_t* out)
{
    for (const auto& span : spans) {
        const std::uint32_t* first = sums + static_cast<std::size_t>(span.first) * kChannels;
        const std::uint32_t* last = sums + static_cast<std::size_t>(span.last) * kChannels;
        std::array<std::uint64_t, kChannels> inner{};
        for (const std::uint32_t* p = first + kChannels; p < last; p += kChannels)
            for (int c = 0; c < kChannels; ++c)
                inner[c] += p[c];
        for (int c = 0; c < kChannels; ++c) {
            std::uint64_t sum = std::uint64_t{first[c]} * span.firstPart + inner[c] * sourcePart;
            if (last != first)
                sum += std::uint64_t{last[c]} * span.lastPart;
            out[c] = average(sum);
        }
        out += kChannels;
    }
}

} // namespace

// Moves the 16-bit sums of whole rows into the weighted ones.
void PictureRows::Spill()
{
    const auto rowPart = static_cast<std::uint32_t>(size_.height());
    for (std::size_t k = 0; k < whole_.size(); ++k)
        parts_[k] += whole_[k] * rowPart; // at most 255 * the source's height in all
    std::fill(whole_.begin(), whole_.end(), 0);
    wholeRows_ = 0;
}

// Completes the next output row from the sums and starts the one after it.
void PictureRows::Flush()
{
    if (wholeRows_ > 0)
        Spill();
    const Average average(static_cast<std::uint64_t>(source_.width()) * static_cast<std::uint64_t>(source_.height()));
    const auto columnPart = static_cast<std::uint32_t>(size_.width());
    const int y = bottomUp_ ? size_.height() - 1 - flushed_ : flushed_;
    std::uint8_t* out = image_.scanLine(y);
    if (bytesPerPixel_ == 3) {
        ReduceRow<3>(parts_.data(), spans_, columnPart, average, reduced_.data());
        const std::uint8_t* bgr = reduced_.data();
        auto* pixels = reinterpret_cast<QRgb*>(out);
        for (int x = 0; x < size_.width(); ++x, bgr += 3)
            pixels[x] = qRgb(bgr[2], bgr[1], bgr[0]);
    } else {
        ReduceRow<4>(parts_.data(), spans_, columnPart, average, out);
        if (opaque_) {
            auto* pixels = reinterpret_cast<QRgb*>(out);
            for (int x = 0; x < size_.width(); ++x)
                pixels[x] |= 0xFF000000u;
        }
    }
    std::fill(parts_.begin(), parts_.end(), 0);
    ++flushed_;
}

QImage ReduceToBox(const QImage& image, QSize box)
{
    const QSize size = SizeForBox(image.size(), box);
    if (size == image.size())
        return image;
    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const QImage source = image.convertToFormat(format);
    PictureRows rows(source.size(), size, 4, format, false);
    for (int y = 0; y < source.height(); ++y)
        rows.Add(source.constScanLine(y));
    return rows.Take();
}

} // namespace tk
