// Inside the toolkit only: JPEG decoding through libjpeg's version 6 interface.
#pragma once

#include "decoding.h"

#include <QByteArray>
#include <QImage>

namespace tk {

// The DCT scale denominator (1, 2, 4 or 8) for an image of the given size shown in a box:
// the strongest reduction whose output still covers the box in both directions. Without a
// box (either side 0 or less), or for an image smaller than its box, 1.
int JpegScaleDenominator(int imageWidth, int imageHeight, int targetWidth, int targetHeight);

struct DecodedJpeg {
    QImage image;
    int scaleDenominator = 1; // the image is the file's picture reduced 1:scaleDenominator
    QSize fullSize;           // the file's picture at full size
};

// Decodes a JPEG file held in memory at the scale chosen for the box, into a 32-bit RGB
// image. Grayscale, CMYK and YCCK files come out as RGB. Raises EInvalidGraphic for damaged
// data (a truncated file included), for a picture too large to hold and for one that claims
// more than kMaxDeclaredPixels.
DecodedJpeg DecodeJpeg(const QByteArray& data, int targetWidth, int targetHeight);

} // namespace tk
