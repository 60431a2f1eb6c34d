// Inside the toolkit only: enhanced metafiles (EMF).
#pragma once

#include "metafilerecords.h"

#include <QImage>

namespace tk::metafile {

// Whether the data starts with an EMF header: EMR_HEADER's type and signature.
bool IsEmf(const Bytes& file);
// Plays an EMF into a white picture of the box, or of its own size without one (metafile.h).
QImage PlayEmf(const Bytes& file, int targetWidth, int targetHeight);

} // namespace tk::metafile
