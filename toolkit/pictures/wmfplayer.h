// Inside the toolkit only: Windows metafiles (WMF), with or without the placeable header.
#pragma once

#include "metafilerecords.h"

#include <QImage>

namespace tk::metafile {

// Plays a WMF into a white picture of the box, or of its own size without one (metafile.h).
QImage PlayWmf(const Bytes& file, int targetWidth, int targetHeight);

} // namespace tk::metafile
