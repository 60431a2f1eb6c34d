// Inside the toolkit only: little-endian fields of picture data held in memory.
#pragma once

#include "decoding.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace tk {

// A window on picture bytes, read as little-endian fields. Every read is checked against the
// window (in 64 bits, so that no offset read from the data can overflow); a field beyond its end
// raises what `Damage::Raise` throws: a damaged picture for the bitmap decoders, a damaged record
// for the metafile players, which skip it and go on.
template <class Damage>
class LittleEndianFields {
public:
    LittleEndianFields() = default;
    explicit LittleEndianFields(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    LittleEndianFields(const unsigned char* data, std::size_t size) : bytes_(data, size) {}

    std::span<const std::uint8_t> Span() const { return bytes_; }
    const unsigned char* Data() const { return bytes_.data(); }
    std::size_t Size() const { return bytes_.size(); }
    bool Has(std::uint64_t at, std::uint64_t length) const { return at <= bytes_.size() && length <= bytes_.size() - at; }
    void Need(std::uint64_t at, std::uint64_t length) const
    {
        if (!Has(at, length))
            Damage::Raise();
    }
    // `count` items of `itemSize` bytes from `at`; compared by division, so nothing overflows.
    void NeedItems(std::uint64_t at, std::uint64_t count, std::uint64_t itemSize) const
    {
        if (at > bytes_.size() || count > (bytes_.size() - at) / itemSize)
            Damage::Raise();
    }

    // `length` bytes from `at`, which must lie within the window.
    LittleEndianFields Sub(std::uint64_t at, std::uint64_t length) const
    {
        Need(at, length);
        return LittleEndianFields(bytes_.subspan(at, length));
    }
    // The bytes from `at` to the end; none when `at` lies beyond it.
    LittleEndianFields From(std::uint64_t at) const
    {
        return LittleEndianFields(bytes_.subspan(std::min<std::uint64_t>(at, bytes_.size())));
    }
    // `length` bytes from `at`, as they are.
    std::string_view Chars(std::uint64_t at, std::uint64_t length) const
    {
        Need(at, length);
        return {reinterpret_cast<const char*>(bytes_.data() + at), length};
    }

    std::uint8_t U8(std::uint64_t at) const
    {
        Need(at, 1);
        return bytes_[at];
    }
    std::uint16_t U16(std::uint64_t at) const
    {
        Need(at, 2);
        return static_cast<std::uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
    }
    std::uint32_t U32(std::uint64_t at) const
    {
        Need(at, 4);
        return std::uint32_t{bytes_[at]} | std::uint32_t{bytes_[at + 1]} << 8 | std::uint32_t{bytes_[at + 2]} << 16 |
               std::uint32_t{bytes_[at + 3]} << 24;
    }
    std::int16_t I16(std::uint64_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::int32_t I32(std::uint64_t at) const { return static_cast<std::int32_t>(U32(at)); }
    float F32(std::uint64_t at) const
    {
        const std::uint32_t bits = U32(at);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

struct PictureDamage {
    [[noreturn]] static void Raise() { throw DamagedPicture(); }
};

// The fields of a bitmap or icon file: a field beyond the data is a damaged picture.
using Fields = LittleEndianFields<PictureDamage>;

} // namespace tk
