// Inside the toolkit only: Windows metafiles (WMF, EMF) played back over QPainter.
#pragma once

#include <QByteArray>
#include <QImage>

namespace tk {

// Plays a metafile held in memory into a white 32-bit image of the box it is stretched to, or,
// without a box (either side 0 or less), of its own size at 96 pixels per inch: the frame of
// an EMF, the bounding box of a WMF with the placeable header, the window (or the drawing) of a
// WMF without one. The kind is read from the data, so an EMF named .wmf plays as well.
// A record whose own fields are not consistent is skipped and the rest drawn. Raises
// EInvalidGraphic (DamagedPicture) for data that is not a metafile or whose header or record
// structure is damaged (a record cut short by the end of the data, a record size of 0), and
// PictureTooLarge for a picture beyond the decoders' limits or one that asks for more drawing
// than any picture needs.
QImage PlayMetafile(const QByteArray& data, int targetWidth, int targetHeight);

} // namespace tk
