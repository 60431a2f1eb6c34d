// BMP files: a file header, then a device-independent bitmap.
#include "dib.h"

#include "decoding.h"
#include "fields.h"

namespace tk {

// BITMAPFILEHEADER, 14 bytes: "BM", the file's size (often wrong, not used), two reserved
// 16-bit words, and the offset of the pixels from the start of the file (32 bits at 10). The
// BITMAPINFO follows at 14. The pixels are taken at that offset, as GDI takes them, wherever
// the colour table ends: writers leave gaps there. An offset inside the info header itself
// cannot be meant (some writers leave it 0); the pixels then follow the colour table.
DecodedDib DecodeBmpFile(std::span<const std::uint8_t> data, QSize box)
{
    const Fields file(data);
    if (!file.Has(0, 18) || file.U8(0) != 'B' || file.U8(1) != 'M')
        throw DamagedPicture();
    const std::span<const std::uint8_t> info = file.From(14).Span();
    std::uint64_t pixelsAt = file.U32(10);
    if (pixelsAt < 14 + std::uint64_t{file.U32(14)})
        pixelsAt = 14 + DibInfoSize(info, DibColors::Rgb);
    DibOptions options;
    options.box = box;
    return DecodeDib(info, file.From(pixelsAt).Span(), options);
}

} // namespace tk
