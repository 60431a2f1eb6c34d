// Inside the toolkit only: little-endian fields of picture data held in memory.
#pragma once

#include "decoding.h"

#include <cstdint>
#include <span>

namespace tk {

// A window on picture bytes. Every read is checked against the window (in 64 bits, so that no
// offset read from the data can overflow): a field beyond its end is a damaged picture.
class Fields {
public:
    Fields() = default;
    explicit Fields(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::span<const std::uint8_t> Bytes() const { return bytes_; }
    std::uint64_t Size() const { return bytes_.size(); }
    bool Has(std::uint64_t at, std::uint64_t length) const { return at <= bytes_.size() && length <= bytes_.size() - at; }
    void Need(std::uint64_t at, std::uint64_t length) const
    {
        if (!Has(at, length))
            throw DamagedPicture();
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
    std::int32_t I32(std::uint64_t at) const { return static_cast<std::int32_t>(U32(at)); }

    // `length` bytes from `at`, which must lie within the window.
    std::span<const std::uint8_t> Sub(std::uint64_t at, std::uint64_t length) const
    {
        Need(at, length);
        return bytes_.subspan(at, length);
    }
    // The bytes from `at` to the end; none when `at` lies beyond it.
    std::span<const std::uint8_t> From(std::uint64_t at) const
    {
        return at < bytes_.size() ? bytes_.subspan(at) : std::span<const std::uint8_t>();
    }

private:
    std::span<const std::uint8_t> bytes_;
};

} // namespace tk
