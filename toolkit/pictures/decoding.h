// Inside the toolkit only: what every picture decoder shares, its limits and its errors.
#pragma once

#include "sysutils.h"

#include <cstdint>

namespace tk {

// The largest decoded picture any decoder hands out, in bytes of 32-bit pixels. Files that
// claim more are refused before anything is allocated for them.
constexpr std::uint64_t kMaxPictureBytes = 256u * 1024 * 1024;

// The most pixels a file may claim, whatever size it is decoded to. Decoding a picture reduced
// for a small box still walks all of its pixels, and a file of a hundred bytes can claim
// billions of them (run-length or arithmetic coding fills a blank picture from almost nothing).
constexpr std::uint64_t kMaxDeclaredPixels = std::uint64_t{1} << 28;

// The longest side a decoded bitmap may have, whatever its pixel count: JPEG's own limit. A
// bitmap reduced for its box while it decodes keeps sums as wide as its rows (32 bytes a pixel).
constexpr int kMaxPictureSide = 65535;

// The errors of every picture decoder; the loader puts the file's name before them.
inline EInvalidGraphic DamagedPicture() { return EInvalidGraphic(FromUtf8("絵のデータがこわれています")); }
inline EInvalidGraphic PictureTooLarge() { return EInvalidGraphic(FromUtf8("絵が大きすぎます")); }

} // namespace tk
