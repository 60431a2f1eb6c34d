// Decoded pictures kept by file identity and box, least recently used first out.
#include "picturecache.h"

namespace tk {

namespace {

// Modification times of local file systems tick at least this often.
constexpr std::int64_t kClockTickNs = 2'000'000'000;

std::size_t BytesOf(const QImage& image) { return static_cast<std::size_t>(image.sizeInBytes()); }

} // namespace

std::optional<CachedPicture> PictureCache::Find(const PictureKey& key)
{
    auto found = index_.find(key);
    if (found == index_.end())
        return std::nullopt;
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->picture;
}

void PictureCache::Keep(const PictureKey& key, const CachedPicture& picture, std::int64_t nowNs)
{
    const std::size_t bytes = BytesOf(picture.image);
    if (key.modifiedNs > nowNs - kClockTickNs || bytes > boundBytes_ || index_.count(key))
        return;
    entries_.push_front({key, picture});
    index_.emplace(key, entries_.begin());
    bytes_ += bytes;
    while (bytes_ > boundBytes_) {
        const Entry& oldest = entries_.back();
        bytes_ -= BytesOf(oldest.picture.image);
        index_.erase(oldest.key);
        entries_.pop_back();
    }
}

PictureCache& Pictures()
{
    static PictureCache cache;
    return cache;
}

} // namespace tk
