// Icon files: a directory of pictures of one drawing at several sizes and depths. The one that
// suits the box is decoded: a BMP entry as a DIB with its mask, a PNG entry as PNG.
#include "dib.h"

#include "decoding.h"
#include "fields.h"

#include <algorithm>
#include <vector>

namespace tk {

namespace {

// One picture of the directory, described by its own header: the directory's sizes and
// depths are often wrong, and its 8-bit sizes cannot say more than 256.
struct Entry {
    std::span<const std::uint8_t> data;
    QSize size;
    unsigned depth = 0; // bits a pixel
    bool png = false;

    std::uint64_t Area() const
    {
        return static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height());
    }
};

std::uint32_t BigEndian32(const Fields& f, std::uint64_t at)
{
    return std::uint32_t{f.U8(at)} << 24 | std::uint32_t{f.U8(at + 1)} << 16 | std::uint32_t{f.U8(at + 2)} << 8 |
           f.U8(at + 3);
}

// A PNG entry starts with the PNG signature and its IHDR chunk: length and type (4 bytes
// each), width and height (32 bits big-endian at 16 and 20), bit depth (24) and colour type
// (25: 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA). A BMP entry is a BITMAPINFO whose
// height counts the mask's rows too, then its colour rows and its AND mask.
Entry ReadEntry(std::span<const std::uint8_t> data)
{
    static constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const Fields f(data);
    Entry entry{data, {}, 0, false};
    if (f.Has(0, 8) && std::equal(std::begin(kPngSignature), std::end(kPngSignature), data.begin())) {
        entry.png = true;
        const unsigned channels[] = {1, 0, 3, 1, 2, 0, 4};
        const unsigned colourType = f.U8(25);
        entry.size = QSize(static_cast<int>(std::min<std::uint32_t>(BigEndian32(f, 16), 1 << 30)),
                           static_cast<int>(std::min<std::uint32_t>(BigEndian32(f, 20), 1 << 30)));
        entry.depth = f.U8(24) * (colourType < 7 ? channels[colourType] : 0);
        return entry;
    }
    const bool core = f.U32(0) == 12;
    const std::int64_t width = core ? f.U16(4) : f.I32(4), height = core ? f.U16(6) : f.I32(8);
    const std::int64_t rows = (height < 0 ? -height : height) / 2;
    entry.size = QSize(static_cast<int>(std::clamp<std::int64_t>(width, 0, 1 << 30)),
                       static_cast<int>(std::min<std::int64_t>(rows, 1 << 30)));
    entry.depth = f.U16(core ? 10 : 14);
    return entry;
}

} // namespace

// ICONDIR, 6 bytes: reserved (0), type (1 icon, 2 cursor), count of entries (16 bits each).
// Then an ICONDIRENTRY of 16 bytes for each: width, height (0 meaning 256), colour count,
// reserved (8 bits each), planes and bits per pixel (a cursor's hot spot instead; 16 bits
// each), and the length and offset of its picture in the file (32 bits each, at 8 and 12).
// Entries that do not lie within the file, or whose header cannot be read, are passed over.
DecodedDib DecodeIcoFile(std::span<const std::uint8_t> data, QSize box)
{
    const Fields file(data);
    if (!file.Has(0, 6) || file.U16(0) != 0 || (file.U16(2) != 1 && file.U16(2) != 2))
        throw DamagedPicture();
    std::vector<Entry> entries;
    for (std::uint64_t i = 0, count = file.U16(4); i < count; ++i) {
        const std::uint64_t at = 6 + 16 * i;
        if (!file.Has(at, 16) || !file.Has(file.U32(at + 12), file.U32(at + 8)))
            continue;
        try {
            Entry entry = ReadEntry(file.Sub(file.U32(at + 12), file.U32(at + 8)).Span());
            if (!entry.size.isEmpty())
                entries.push_back(entry);
        } catch (const EInvalidGraphic&) {
        }
    }
    if (entries.empty())
        throw DamagedPicture();

    // The smallest entry that covers the box, or, when none does (or there is no box), the
    // largest; among equal sizes the deepest, and then the first.
    auto choose = [&](QSize target) {
        const bool hasBox = target.width() > 0 && target.height() > 0;
        auto covers = [&](const Entry& e) {
            return hasBox && e.size.width() >= target.width() && e.size.height() >= target.height();
        };
        const Entry* best = &entries.front();
        for (const Entry& e : entries) {
            const bool c = covers(e), bestCovers = covers(*best);
            if (c != bestCovers) {
                if (c)
                    best = &e;
            } else if (e.Area() != best->Area()) {
                if (c ? e.Area() < best->Area() : e.Area() > best->Area())
                    best = &e;
            } else if (e.depth > best->depth) {
                best = &e;
            }
        }
        return *best;
    };
    const Entry& chosen = choose(box);
    DecodedDib decoded;
    if (chosen.png) {
        decoded = DecodePng(chosen.data, box);
    } else {
        DibOptions options;
        options.box = box;
        options.alpha = DibAlpha::FourthByte;
        options.iconMask = true;
        const std::size_t infoSize = DibInfoSize(chosen.data, DibColors::Rgb);
        decoded = DecodeDib(chosen.data.first(infoSize), chosen.data.subspan(infoSize), options);
    }
    decoded.fullSize = choose(QSize()).size;
    return decoded;
}

} // namespace tk
