// Inside the toolkit only: JPEG decoding through libjpeg's version 6 interface.
#pragma once

#include "sysutils.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace tk {

// The largest decoded picture any decoder hands out, in bytes of 32-bit pixels. Files that
// claim more are refused before anything is allocated for them.
constexpr std::uint64_t kMaxPictureBytes = 256u * 1024 * 1024;

// The errors of every picture decoder; the loader puts the file's name before them.
EInvalidGraphic DamagedPicture();
EInvalidGraphic PictureTooLarge();

// The DCT scale denominator (1, 2, 4 or 8) for an image of the given size shown in a box:
// the strongest reduction whose output still covers the box in both directions. Without a
// box (either side 0 or less), or for an image smaller than its box, 1.
int JpegScaleDenominator(int imageWidth, int imageHeight, int targetWidth, int targetHeight);

struct DecodedJpeg {
    QImage image;
    int scaleDenominator = 1; // the image is the file's picture reduced 1:scaleDenominator
};

// Decodes a JPEG file held in memory at the scale chosen for the box, into a 32-bit RGB
// image. Grayscale, CMYK and YCCK files come out as RGB. Raises EInvalidGraphic for damaged
// data (a truncated file included) and for a picture too large to hold.
DecodedJpeg DecodeJpeg(const QByteArray& data, int targetWidth, int targetHeight);

} // namespace tk
