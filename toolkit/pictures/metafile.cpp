// Windows metafiles played back over QPainter: WMF (with or without the placeable header) and
// EMF, with the records that drawings and clip art are made of. The records are read by
// metafilerecords, played on GDI's device context of metafilecanvas by the player of their
// format (wmfplayer, emfplayer).
#include "metafile.h"

#include "emfplayer.h"
#include "decoding.h"
#include "wmfplayer.h"

namespace tk {

namespace {

// A file this long is beyond any picture a page shows.
constexpr qsizetype kMaxFileBytes = 64 * 1024 * 1024;

} // namespace

QImage PlayMetafile(const QByteArray& data, int targetWidth, int targetHeight)
{
    if (data.size() > kMaxFileBytes)
        throw PictureTooLarge();
    const metafile::Bytes file(reinterpret_cast<const unsigned char*>(data.constData()),
                               static_cast<std::size_t>(data.size()));
    try {
        return metafile::IsEmf(file) ? metafile::PlayEmf(file, targetWidth, targetHeight)
                                     : metafile::PlayWmf(file, targetWidth, targetHeight);
    } catch (const metafile::DamagedData&) {
        throw DamagedPicture();
    } catch (const metafile::BeyondLimits&) {
        throw PictureTooLarge();
    }
}

} // namespace tk
