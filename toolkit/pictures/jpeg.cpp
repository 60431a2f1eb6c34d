// JPEG decoding through libjpeg's version 6 interface (libjpeg-turbo), scaled in the DCT.
#include "jpeg.h"

#include "sysutils.h"

#include <bit>
#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE without including stdio.h itself

#include <jpeglib.h>
// after jpeglib.h: which message codes exist depends on its configuration
#include <jerror.h>

namespace tk {

namespace {

// libjpeg's own memory for one decode (coefficient buffers of progressive files are held for
// the whole image at full size, whatever the output scale). Beyond it libjpeg would want a
// temporary file, which this build does not have, so it fails with an error instead.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

// The libjpeg colour space whose bytes lie in memory as QImage::Format_RGB32 pixels
// (0xAARRGGBB words); libjpeg-turbo sets the alpha byte to 0xFF.
constexpr J_COLOR_SPACE kRgb32Space = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// libjpeg reports a fatal error through error_exit, which must not return. A C++ exception
// thrown there would unwind through libjpeg's C frames, so error_exit jumps back with
// longjmp to the guarded step below that called into libjpeg. Those steps hold no object with
// a destructor; after a jump the decompressor is good only for being destroyed.
struct ErrorManager {
    jpeg_error_mgr pub; // first: libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings that mean part of the picture is missing or wrong. libjpeg would carry on and
// paint the rest grey; a picture with holes is a damaged file here. Other warnings (stray
// bytes between markers, which some cameras write; an unknown JFIF revision) are harmless.
bool LosesPictureData(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
        return true;
    default:
        return false;
    }
}

void StopOnDamage(j_common_ptr cinfo, int level)
{
    if (level < 0 && LosesPictureData(cinfo->err->msg_code))
        JumpOnError(cinfo);
}

// libjpeg's default prints to stderr; a program with windows has nobody reading that.
void DiscardMessage(j_common_ptr) {}

// One decompressor with its error manager, destroyed on every way out. Destroying one that
// was never created, or one that failed half-way, is safe: its memory manager is then null.
struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorManager errors{};

    Decompressor()
    {
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = JumpOnError;
        errors.pub.emit_message = StopOnDamage;
        errors.pub.output_message = DiscardMessage;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// The guarded steps: each sets the jump target, then calls into libjpeg, and answers false
// when libjpeg gave up.

bool ReadHeader(Decompressor& d, const unsigned char* data, unsigned long size)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(&d.info);
    d.info.mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(&d.info, data, size);
    jpeg_read_header(&d.info, TRUE);
    return true;
}

bool ChooseOutput(Decompressor& d, int scaleDenominator)
{
    if (setjmp(d.errors.jump))
        return false;
    // libjpeg turns YCCK into CMYK but no further; both come out as CMYK and are converted
    // here. Every other colour space (grayscale included) libjpeg turns into RGB itself.
    const bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.info.out_color_space = cmyk ? JCS_CMYK : kRgb32Space;
    d.info.scale_num = 1;
    d.info.scale_denom = static_cast<unsigned>(scaleDenominator);
    jpeg_calc_output_dimensions(&d.info);
    return true;
}

// Progressive files are read whole here, so their scans are checked (and libjpeg's memory
// limit met) before the output picture is allocated.
bool Start(Decompressor& d)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_start_decompress(&d.info);
    return true;
}

bool ReadRows(Decompressor& d, unsigned char* bits, std::size_t bytesPerLine)
{
    if (setjmp(d.errors.jump))
        return false;
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = bits + d.info.output_scanline * bytesPerLine;
        if (jpeg_read_scanlines(&d.info, &row, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

// CMYK pixels to RGB, in place. Files with Adobe's marker (Photoshop's, and every YCCK file)
// store the inks inverted, 255 meaning no ink; others store plain ink amounts.
void ConvertCmykToRgb(QImage& image, bool inverted)
{
    for (int y = 0; y < image.height(); ++y) {
        unsigned char* bytes = image.scanLine(y);
        auto* pixels = reinterpret_cast<QRgb*>(bytes);
        for (int x = 0; x < image.width(); ++x) {
            int c = bytes[4 * x], m = bytes[4 * x + 1], ye = bytes[4 * x + 2], k = bytes[4 * x + 3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                ye = 255 - ye;
                k = 255 - k;
            }
            pixels[x] = qRgb(c * k / 255, m * k / 255, ye * k / 255);
        }
    }
}

// What a guarded step that libjpeg gave up on raises: its memory limit met, or bad data.
EInvalidGraphic Failure(const Decompressor& d)
{
    const int code = d.errors.pub.msg_code;
    return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE ? PictureTooLarge() : DamagedPicture();
}

} // namespace

int JpegScaleDenominator(int imageWidth, int imageHeight, int targetWidth, int targetHeight)
{
    if (targetWidth <= 0 || targetHeight <= 0)
        return 1;
    for (const long long denominator : {8, 4, 2}) {
        // libjpeg rounds a scaled size up
        const long long width = (imageWidth + denominator - 1) / denominator;
        const long long height = (imageHeight + denominator - 1) / denominator;
        if (width >= targetWidth && height >= targetHeight)
            return static_cast<int>(denominator);
    }
    return 1;
}

DecodedJpeg DecodeJpeg(const QByteArray& data, int targetWidth, int targetHeight)
{
    // An end marker of our own after the data: a file that lacks only its end marker then
    // decodes, while one cut inside the picture data still runs into a marker too early.
    QByteArray stream = data;
    stream.append("\xFF\xD9", 2);

    Decompressor d;
    if (!ReadHeader(d, reinterpret_cast<const unsigned char*>(stream.constData()),
                    static_cast<unsigned long>(stream.size())))
        throw Failure(d);
    // Arithmetic-coded data may legally end long before the picture does (the decoder reads
    // zeros from there on), so a file of a few bytes can be a blank picture of any size: only
    // the size it claims bounds the work.
    if (std::uint64_t{d.info.image_width} * d.info.image_height > kMaxDeclaredPixels)
        throw PictureTooLarge();
    const int denominator = JpegScaleDenominator(static_cast<int>(d.info.image_width),
                                                 static_cast<int>(d.info.image_height), targetWidth, targetHeight);
    if (!ChooseOutput(d, denominator))
        throw Failure(d);
    if (std::uint64_t{d.info.output_width} * d.info.output_height * 4 > kMaxPictureBytes)
        throw PictureTooLarge();
    if (!Start(d))
        throw Failure(d);
    if (d.info.output_width == 0 || d.info.output_height == 0 || d.info.output_components != 4)
        throw DamagedPicture();

    QImage image(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height), QImage::Format_RGB32);
    if (image.isNull())
        throw PictureTooLarge();
    if (!ReadRows(d, image.bits(), static_cast<std::size_t>(image.bytesPerLine())))
        throw Failure(d);
    if (d.info.out_color_space == JCS_CMYK)
        ConvertCmykToRgb(image, d.info.saw_Adobe_marker);
    return {std::move(image), denominator,
            QSize(static_cast<int>(d.info.image_width), static_cast<int>(d.info.image_height))};
}

} // namespace tk
