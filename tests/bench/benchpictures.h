// Picture files for the benchmarks, generated here, and the floors their decoding stands on.
// Plain strings only: the page benchmarks that use this hold CP932 strings, Qt's headers do not.
#pragma once

#include <string>

namespace bench {

// A photograph-like picture (smooth shades with fine grain), so that the decoders meet the
// entropy of a real camera file rather than flat colour.
std::string EncodeJpeg(int width, int height);
// A BMP file of 24 bits a pixel, rows bottom-up.
std::string EncodeBmp(int width, int height);
// An EMF whose one drawing record stretches a 24-bit bitmap of the given size over the whole
// frame, as a scanner or a word processor saves a picture.
std::string EncodeEmfWithBitmap(int width, int height);

// libjpeg's own decode of a file on disk at 1/denominator, rows into one reused buffer: what
// any JPEG viewer pays at that scale (djpeg -scale 1/n, without writing its output).
void DecodeWithLibjpeg(const std::string& path, int denominator);

// Gives a file a modification time it never had, as a file saved again does.
void Touch(const std::string& path);

} // namespace bench
