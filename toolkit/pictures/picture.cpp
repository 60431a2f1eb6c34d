// TPicture: picture files loaded by their extension (bmp and ico through Qt's readers, jpg and
// jpeg through our libjpeg decoder, emf and wmf through our metafile playback), and the
// built-in pictures.
#include "jpeg.h"
#include "metafile.h"
#include "qtbridge.h"
#include "textfile.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdint>

namespace {

enum class PictureKind { Bitmap, Icon, Jpeg, Metafile, Unknown };

PictureKind KindOf(const AnsiString& fileName)
{
    // Lowering only ASCII letters is safe in code page 932 here: after the dot, a letter can
    // only be a second byte if a lead byte came before it, and then no name below matches.
    AnsiString ext = tk::ExtractFileExt(fileName);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (ext == ".bmp")
        return PictureKind::Bitmap;
    if (ext == ".ico")
        return PictureKind::Icon;
    if (ext == ".jpg" || ext == ".jpeg")
        return PictureKind::Jpeg;
    if (ext == ".emf" || ext == ".wmf")
        return PictureKind::Metafile;
    return PictureKind::Unknown;
}

EFOpenError OpenError(const AnsiString& fileName)
{
    return EFOpenError(tk::Format(tk::Ansi("ファイル %s は開けません"), fileName));
}

// The whole file. Any failure to open or read it (missing, a folder, no permission) is the
// open error; what the bytes hold is judged afterwards.
QByteArray ReadPictureFile(const AnsiString& fileName)
{
    try {
        return QByteArray::fromStdString(tk::ReadFileBytes(fileName));
    } catch (const EInOutError&) {
        throw OpenError(fileName);
    }
}

// Little-endian fields of a file held in memory; a field beyond the end reads as absent.
struct LittleEndianReader {
    const QByteArray& data;

    bool Has(std::uint64_t at, std::uint64_t length) const
    {
        return at <= static_cast<std::uint64_t>(data.size()) && length <= data.size() - at;
    }
    std::uint32_t Byte(std::uint64_t at) const { return static_cast<unsigned char>(data[static_cast<qsizetype>(at)]); }
    std::uint32_t U16(std::uint64_t at) const { return Byte(at) | Byte(at + 1) << 8; }
    std::uint32_t U32(std::uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
};

// Run-length coded rows (BI_RLE8, BI_RLE4): pairs of count and value, or an escape 0 then
// 0 (end of row), 1 (end of picture), 2 (move by the next two bytes: columns, rows) or n
// (n pixels follow as they are, padded to a 16-bit boundary). The stream is whole when it
// reaches its end mark, or, for writers that leave the mark out, when every row has ended.
bool RleStreamIsWhole(const LittleEndianReader& in, std::uint64_t at, int bitsPerPixel, std::int64_t rows)
{
    std::int64_t rowsEnded = 0;
    while (in.Has(at, 2)) {
        const std::uint32_t count = in.Byte(at), code = in.Byte(at + 1);
        at += 2;
        if (count != 0)
            continue;
        if (code == 0) {
            ++rowsEnded;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (!in.Has(at, 2))
                return false;
            rowsEnded += in.Byte(at + 1);
            at += 2;
        } else {
            std::uint64_t bytes = bitsPerPixel == 8 ? code : (code + 1) / 2;
            bytes += bytes & 1;
            if (!in.Has(at, bytes))
                return false;
            at += bytes;
        }
    }
    return rowsEnded >= rows;
}

} // namespace

// Whether a BMP file holds all the pixel data its header promises. Qt's reader hands out a
// cut-off file as a whole picture with the missing rows left as whatever the memory held, so
// this is checked first.
//
// BITMAPFILEHEADER, 14 bytes: "BM", file size (often wrong, not used), two reserved words,
// offset of the pixel data (32 bits at 10). Then the info header, its size first (32 bits at
// 14): 12 bytes for BITMAPCOREHEADER (width and height 16 bits unsigned at 18 and 20, bits per
// pixel at 24), 16 and more for BITMAPINFOHEADER and its successors (width and height 32 bits
// signed at 18 and 22, a negative height meaning rows top-down; bits per pixel at 28;
// compression 32 bits at 30 from 20 bytes on).
bool tk::BitmapHoldsItsPixels(const QByteArray& data)
{
    const LittleEndianReader in{data};
    if (!in.Has(0, 18) || data[0] != 'B' || data[1] != 'M')
        return false;
    const std::uint64_t pixelsAt = in.U32(10);
    const std::uint32_t headerSize = in.U32(14);
    std::int64_t width = 0, height = 0;
    std::uint32_t bitsPerPixel = 0, compression = 0;
    if (headerSize == 12) {
        if (!in.Has(14, 12))
            return false;
        width = in.U16(18);
        height = in.U16(20);
        bitsPerPixel = in.U16(24);
    } else if (headerSize >= 16) {
        if (!in.Has(14, headerSize >= 20 ? 20 : 16))
            return false;
        width = static_cast<std::int32_t>(in.U32(18));
        height = static_cast<std::int32_t>(in.U32(22));
        bitsPerPixel = in.U16(28);
        compression = headerSize >= 20 ? in.U32(30) : 0;
    } else {
        return false;
    }
    const std::int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0 || bitsPerPixel == 0 || bitsPerPixel > 32)
        return false;

    constexpr std::uint32_t rgb = 0, rle8 = 1, rle4 = 2, bitFields = 3, alphaBitFields = 6;
    if (compression == rle8 || compression == rle4)
        return RleStreamIsWhole(in, pixelsAt, compression == rle8 ? 8 : 4, rows);
    if (compression == rgb || compression == bitFields || compression == alphaBitFields) {
        // Each row is padded to a 32-bit boundary. Sizes stay far below 2^64: width < 2^31,
        // at most 32 bits a pixel, rows < 2^31.
        const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
        return in.Has(pixelsAt, stride * static_cast<std::uint64_t>(rows));
    }
    return true; // other codings (JPEG or PNG inside) Qt's reader refuses by itself
}

namespace {

// The bytes of a picture of this size in 32-bit pixels.
std::uint64_t PixelBytes(QSize size)
{
    return static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height()) * 4;
}

// An icon file holds one picture per size. Like the JPEG scale, take the smallest that still
// covers the box it is stretched to, or the largest when none does (or there is no box).
void ChooseIconEntry(QImageReader& reader, int targetWidth, int targetHeight)
{
    const bool box = targetWidth > 0 && targetHeight > 0;
    int best = -1, largest = -1;
    std::uint64_t bestArea = 0, largestArea = 0;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            continue;
        const QSize size = reader.size();
        if (!size.isValid())
            continue;
        const std::uint64_t area = PixelBytes(size);
        if (largest < 0 || area > largestArea) {
            largest = i;
            largestArea = area;
        }
        if (box && size.width() >= targetWidth && size.height() >= targetHeight && (best < 0 || area < bestArea)) {
            best = i;
            bestArea = area;
        }
    }
    reader.jumpToImage(best >= 0 ? best : largest >= 0 ? largest : 0);
}

// BMP and ICO through Qt's image readers, from the bytes we read. The format is fixed by the
// extension: a file of another format under this name is damaged, not guessed at.
QImage DecodeWithQt(const QByteArray& data, PictureKind kind, int targetWidth, int targetHeight)
{
    if (kind == PictureKind::Bitmap && !tk::BitmapHoldsItsPixels(data))
        throw tk::DamagedPicture();
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, kind == PictureKind::Bitmap ? "bmp" : "ico");
    reader.setAutoDetectImageFormat(false);
    if (kind == PictureKind::Icon && reader.imageCount() > 1)
        ChooseIconEntry(reader, targetWidth, targetHeight);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        throw tk::DamagedPicture();
    if (PixelBytes(size) > tk::kMaxPictureBytes)
        throw tk::PictureTooLarge();
    QImage image = reader.read();
    if (image.isNull())
        throw tk::DamagedPicture();
    return image;
}

// A decoded picture, with the file's bytes when it is a JPEG decoded reduced or a metafile.
struct Decoded {
    QImage image;
    QByteArray reducedJpeg;
    QByteArray metafile;
};

Decoded Decode(const QByteArray& data, PictureKind kind, int targetWidth, int targetHeight)
{
    if (kind == PictureKind::Metafile)
        return {tk::PlayMetafile(data, targetWidth, targetHeight), {}, data};
    if (kind != PictureKind::Jpeg)
        return {DecodeWithQt(data, kind, targetWidth, targetHeight), {}, {}};
    tk::DecodedJpeg jpeg = tk::DecodeJpeg(data, targetWidth, targetHeight);
    return {std::move(jpeg.image), jpeg.scaleDenominator > 1 ? data : QByteArray(), {}};
}

// A metafile is drawn again at the size of each new box, so that it stays sharp. Like the
// JPEG's, this runs inside resize events: a failure keeps the picture it has.
bool ReplayMetafile(TPicture::Impl& picture, int width, int height)
{
    if (width <= 0 || height <= 0 || picture.image.size() == QSize(width, height))
        return false;
    try {
        picture.image = tk::PlayMetafile(picture.metafile, width, height);
    } catch (const std::exception&) {
        picture.metafile.clear();
        return false;
    }
    return true;
}

} // namespace

TPicture::TPicture() : impl_(std::make_unique<Impl>()) {}

TPicture::~TPicture() = default;

void TPicture::LoadFromFile(const AnsiString& fileName)
{
    // The extension decides before the file is touched, so a missing file with an unknown
    // extension is reported as the unknown extension.
    const PictureKind kind = KindOf(fileName);
    if (kind == PictureKind::Unknown)
        throw EInvalidGraphic(tk::Format(tk::Ansi("ファイル %s は使えない形式の絵です"), fileName));
    const QByteArray data = ReadPictureFile(fileName);
    Decoded decoded;
    try {
        decoded = Decode(data, kind, impl_->targetWidth, impl_->targetHeight);
    } catch (const EInvalidGraphic& reason) {
        throw EInvalidGraphic(tk::Format(tk::Ansi("ファイル %s の絵を読めません"), fileName) + tk::Ansi("（") +
                              reason.Message + tk::Ansi("）"));
    }
    impl_->image = std::move(decoded.image);
    impl_->reducedJpeg = std::move(decoded.reducedJpeg);
    impl_->metafile = std::move(decoded.metafile);
    if (OnChange)
        OnChange();
}

void TPicture::LoadFromResource(const std::string& name)
{
    QImage image = tk::ResourceImage(name);
    if (image.isNull())
        throw EInvalidGraphic(tk::Format(tk::Ansi("組みこみの絵 %s がありません"), tk::Ansi(name.c_str())));
    impl_->image = std::move(image);
    impl_->reducedJpeg.clear();
    impl_->metafile.clear();
    if (OnChange)
        OnChange();
}

bool TPicture::Empty() const { return impl_->image.isNull(); }

int TPicture::Width() const { return impl_->image.width(); }

int TPicture::Height() const { return impl_->image.height(); }

void TPicture::SetTargetSize(int width, int height)
{
    impl_->targetWidth = width;
    impl_->targetHeight = height;
    if (!impl_->metafile.isEmpty()) {
        if (ReplayMetafile(*impl_, width, height) && OnChange)
            OnChange();
        return;
    }
    // A JPEG decoded reduced for a smaller box is decoded again once it no longer covers
    // the box: at most three times, as the scale steps from 1:8 up to full size. This runs
    // inside resize events, so a failure keeps the picture it has.
    Impl& picture = *impl_;
    if (picture.reducedJpeg.isEmpty() || (picture.image.width() >= width && picture.image.height() >= height))
        return;
    try {
        tk::DecodedJpeg jpeg = tk::DecodeJpeg(picture.reducedJpeg, width, height);
        picture.image = std::move(jpeg.image);
        if (jpeg.scaleDenominator == 1)
            picture.reducedJpeg.clear();
    } catch (const std::exception&) {
        picture.reducedJpeg.clear();
        return;
    }
    if (OnChange)
        OnChange();
}
