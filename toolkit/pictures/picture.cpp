// TPicture: picture files loaded by their extension (bmp and ico through our bitmap decoder,
// jpg and jpeg through our libjpeg decoder, emf and wmf through our metafile playback), and the
// built-in pictures.
#include "dib.h"
#include "jpeg.h"
#include "metafile.h"
#include "qtbridge.h"
#include "textfile.h"

#include <cstdint>
#include <span>
#include <string>

namespace {

using tk::PictureKind;

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
std::string ReadPictureFile(const AnsiString& fileName)
{
    try {
        return tk::ReadFileBytes(fileName);
    } catch (const EInOutError&) {
        throw OpenError(fileName);
    }
}

// A decoded picture, and whether it was decoded for a box smaller than the file can fill (a
// JPEG at a reduced scale, a bitmap averaged down, a smaller entry of an icon): such a picture
// is decoded again from the file when its box grows beyond it.
struct Decoded {
    QImage image;
    bool reduced = false;
};

// The format is fixed by the extension: a file of another format under this name is damaged,
// not guessed at.
Decoded Decode(const std::string& file, PictureKind kind, int targetWidth, int targetHeight)
{
    // The decoders that take Qt's byte arrays get a view of the file: none keeps it, and a
    // large file is not copied.
    const QByteArray data = QByteArray::fromRawData(file.data(), static_cast<qsizetype>(file.size()));
    switch (kind) {
    case PictureKind::Metafile:
        return {tk::PlayMetafile(data, targetWidth, targetHeight), false};
    case PictureKind::Jpeg: {
        tk::DecodedJpeg jpeg = tk::DecodeJpeg(data, targetWidth, targetHeight);
        return {std::move(jpeg.image), jpeg.scaleDenominator > 1};
    }
    default: {
        const QSize box(targetWidth, targetHeight);
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
        tk::DecodedDib dib = kind == PictureKind::Bitmap ? tk::DecodeBmpFile(bytes, box) : tk::DecodeIcoFile(bytes, box);
        const bool reduced = dib.image.size() != dib.fullSize;
        return {std::move(dib.image), reduced};
    }
    }
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
    std::string data = ReadPictureFile(fileName);
    Decoded decoded;
    try {
        decoded = Decode(data, kind, impl_->targetWidth, impl_->targetHeight);
    } catch (const EInvalidGraphic& reason) {
        throw EInvalidGraphic(tk::Format(tk::Ansi("ファイル %s の絵を読めません"), fileName) + tk::Ansi("（") +
                              reason.Message + tk::Ansi("）"));
    }
    impl_->image = std::move(decoded.image);
    impl_->metafile = kind == PictureKind::Metafile ? QByteArray::fromStdString(data) : QByteArray();
    impl_->reducedFile = decoded.reduced ? std::move(data) : std::string();
    impl_->reducedKind = kind;
    if (OnChange)
        OnChange();
}

void TPicture::LoadFromResource(const std::string& name)
{
    QImage image = tk::ResourceImage(name);
    if (image.isNull())
        throw EInvalidGraphic(tk::Format(tk::Ansi("組みこみの絵 %s がありません"), tk::Ansi(name.c_str())));
    impl_->image = std::move(image);
    impl_->reducedFile.clear();
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
    // A picture decoded reduced for a smaller box is decoded again once it no longer covers
    // the box (a JPEG at most three times, as the scale steps from 1:8 up to full size). This
    // runs inside resize events, so a failure keeps the picture it has.
    Impl& picture = *impl_;
    if (picture.reducedFile.empty() || (picture.image.width() >= width && picture.image.height() >= height))
        return;
    try {
        Decoded decoded = Decode(picture.reducedFile, picture.reducedKind, width, height);
        picture.image = std::move(decoded.image);
        if (!decoded.reduced)
            picture.reducedFile.clear();
    } catch (const std::exception&) {
        picture.reducedFile.clear();
        return;
    }
    if (OnChange)
        OnChange();
}
