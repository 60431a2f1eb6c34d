// Pictures reduced row by row by area averaging, as their decoders hand the rows out.
//
// Coordinates are counted in units that make every overlap a whole number: along a side of n
// source pixels reduced to m, source pixel i covers [i*m, (i+1)*m) and output pixel j covers
// [j*n, (j+1)*n). An output pixel's weights then add up to exactly n*m in each direction.
#include "reduce.h"

#include <algorithm>
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
    edges_.assign(channels, 0);
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
        if (inside > 0) {
            const auto copies = static_cast<std::uint32_t>(inside);
            if (copies == 1) // every row of a picture but a run-length one's: kept to a plain sum
                for (std::size_t k = 0; k < channels; ++k)
                    whole_[k] += row[k];
            else
                for (std::size_t k = 0; k < channels; ++k)
                    whole_[k] += row[k] * copies;
            added_ += inside;
            count -= inside;
            if (static_cast<std::uint64_t>(added_) * m == outputEnd)
                Flush();
            continue;
        }
        // The row straddles two output rows (m < n, so never more).
        const auto part = static_cast<std::uint32_t>(outputEnd - start);
        for (std::size_t k = 0; k < channels; ++k)
            edges_[k] += row[k] * part;
        Flush();
        const auto rest = static_cast<std::uint32_t>(m) - part;
        for (std::size_t k = 0; k < channels; ++k)
            edges_[k] += row[k] * rest;
        ++added_;
        --count;
    }
}

namespace {

// One output row from the sums of its source rows: each output pixel from the whole source
// pixels inside it and the parts of the two on its edges, all channels in one pass.
template <int kChannels>
void ReduceRow(const std::vector<std::uint32_t>& sums, const auto& spans, std::uint32_t sourcePart,
               std::uint64_t total, std::uint8_t* out)
{
    for (const auto& span : spans) {
        const std::uint32_t* p = sums.data() + static_cast<std::size_t>(span.first) * kChannels;
        const std::uint32_t* last = sums.data() + static_cast<std::size_t>(span.last) * kChannels;
        std::uint64_t edges[kChannels], inner[kChannels] = {};
        for (int c = 0; c < kChannels; ++c)
            edges[c] = std::uint64_t{p[c]} * span.firstPart;
        if (p != last) {
            for (p += kChannels; p != last; p += kChannels)
                for (int c = 0; c < kChannels; ++c)
                    inner[c] += p[c];
            for (int c = 0; c < kChannels; ++c)
                edges[c] += std::uint64_t{last[c]} * span.lastPart;
        }
        for (int c = 0; c < kChannels; ++c)
            out[c] = static_cast<std::uint8_t>((edges[c] + inner[c] * sourcePart + total / 2) / total);
        out += kChannels;
    }
}

} // namespace

// Completes the next output row from the sums and starts the one after it.
void PictureRows::Flush()
{
    const auto rowPart = static_cast<std::uint32_t>(size_.height());
    for (std::size_t k = 0; k < whole_.size(); ++k)
        edges_[k] += whole_[k] * rowPart; // at most 255 * the source's height
    const std::uint64_t total = static_cast<std::uint64_t>(source_.width()) * static_cast<std::uint64_t>(source_.height());
    const auto columnPart = static_cast<std::uint32_t>(size_.width());
    const int y = bottomUp_ ? size_.height() - 1 - flushed_ : flushed_;
    std::uint8_t* out = image_.scanLine(y);
    if (bytesPerPixel_ == 3) {
        ReduceRow<3>(edges_, spans_, columnPart, total, reduced_.data());
        const std::uint8_t* bgr = reduced_.data();
        auto* pixels = reinterpret_cast<QRgb*>(out);
        for (int x = 0; x < size_.width(); ++x, bgr += 3)
            pixels[x] = qRgb(bgr[2], bgr[1], bgr[0]);
    } else {
        ReduceRow<4>(edges_, spans_, columnPart, total, out);
        if (opaque_) {
            auto* pixels = reinterpret_cast<QRgb*>(out);
            for (int x = 0; x < size_.width(); ++x)
                pixels[x] |= 0xFF000000u;
        }
    }
    std::fill(whole_.begin(), whole_.end(), 0);
    std::fill(edges_.begin(), edges_.end(), 0);
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
