// Inside the toolkit only: decoded pictures kept for the next time the same file is shown in a
// box of the same size, so that showing a page again costs no decoding.
#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <tuple>

namespace tk {

// A file's contents as the file system identifies them, and the box a picture of it was
// decoded for.
struct PictureKey {
    std::string nativePath;
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    QSize box;

    auto Fields() const
    {
        return std::tuple<const std::string&, dev_t, ino_t, std::uint64_t, std::int64_t, int, int>(
            nativePath, device, inode, size, modifiedNs, box.width(), box.height());
    }
    bool operator<(const PictureKey& other) const { return Fields() < other.Fields(); }
};

struct CachedPicture {
    QImage image;
    // Decoded smaller than the file can give (a reduced scale or entry, or a metafile drawn
    // for this box), so a larger box needs the file decoded again.
    bool reduced = false;
};

// The pictures decoded last, within a bound on their bytes; the least recently used go first.
// The images are shared with the pictures that show them, so a kept one costs no copy.
class PictureCache {
public:
    static constexpr std::size_t kBoundBytes = 256u * 1024 * 1024;

    explicit PictureCache(std::size_t boundBytes = kBoundBytes) : boundBytes_(boundBytes) {}
    std::optional<CachedPicture> Find(const PictureKey& key);
    // Keeps a picture decoded now from a file whose identity was taken when it was opened.
    // A file modified moments ago may be modified again within the same tick of the file
    // system's clock, which leaves its identity as it was, so such a file is not kept.
    void Keep(const PictureKey& key, const CachedPicture& picture, std::int64_t nowNs);
    std::size_t Bytes() const { return bytes_; }

private:
    struct Entry {
        PictureKey key;
        CachedPicture picture;
    };
    std::list<Entry> entries_; // most recently used first
    std::map<PictureKey, std::list<Entry>::iterator> index_;
    std::size_t boundBytes_;
    std::size_t bytes_ = 0;
};

// The one cache of the program.
PictureCache& Pictures();

} // namespace tk
