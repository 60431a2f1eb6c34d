// TPicture: picture files loaded by their extension (bmp and ico through our bitmap decoder,
// jpg and jpeg through our libjpeg decoder, emf and wmf through our metafile playback) and kept
// decoded for the next time, and the built-in pictures.
#include "dib.h"
#include "jpeg.h"
#include "metafile.h"
#include "picturecache.h"
#include "qtbridge.h"
#include "textfile.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
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

using tk::CachedPicture;

// The format is fixed by the extension: a file of another format under this name is damaged,
// not guessed at.
CachedPicture Decode(const std::string& file, PictureKind kind, QSize box)
{
    // The decoders that take Qt's byte arrays get a view of the file: none keeps it, and a
    // large file is not copied.
    const QByteArray data = QByteArray::fromRawData(file.data(), static_cast<qsizetype>(file.size()));
    switch (kind) {
    case PictureKind::Metafile:
        // Drawn for its box, so that it stays sharp: a larger box draws it again.
        return {tk::PlayMetafile(data, box.width(), box.height()), true};
    case PictureKind::Jpeg: {
        tk::DecodedJpeg jpeg = tk::DecodeJpeg(data, box.width(), box.height());
        return {std::move(jpeg.image), jpeg.scaleDenominator > 1};
    }
    default: {
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
        tk::DecodedDib dib = kind == PictureKind::Bitmap ? tk::DecodeBmpFile(bytes, box) : tk::DecodeIcoFile(bytes, box);
        const bool reduced = dib.image.size() != dib.fullSize;
        return {std::move(dib.image), reduced};
    }
    }
}

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// An open file decoded for a box, or the picture decoded before from the same file for the
// same box. A failure to read it is the open error; what the bytes hold is judged afterwards.
// A failure is never kept: the file is tried again the next time.
CachedPicture DecodeFile(tk::ReadableFile& file, const AnsiString& fileName, PictureKind kind, QSize box)
{
    const tk::PictureKey key{file.nativePath, file.device, file.inode, file.size, file.modifiedNs, box};
    if (std::optional<CachedPicture> kept = tk::Pictures().Find(key))
        return *kept;
    std::string data;
    try {
        data = tk::ReadFileBytes(file);
    } catch (const EInOutError&) {
        throw OpenError(fileName);
    }
    file.descriptor.Reset();
    CachedPicture decoded;
    try {
        decoded = Decode(data, kind, box);
    } catch (const EInvalidGraphic& reason) {
        throw EInvalidGraphic(tk::Format(tk::Ansi("ファイル %s の絵を読めません"), fileName) + tk::Ansi("（") +
                              reason.Message + tk::Ansi("）"));
    }
    tk::Pictures().Keep(key, decoded, NowNs());
    return decoded;
}

// A native path from the root, as the current folder is now.
std::string FromRoot(const std::string& nativePath)
{
    std::error_code failed;
    std::filesystem::path absolute = std::filesystem::absolute(nativePath, failed);
    return failed ? nativePath : absolute.string();
}

bool Covers(const QImage& image, int width, int height) { return image.width() >= width && image.height() >= height; }

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
    // Any failure to open the file (missing, a folder, no permission) is the open error.
    tk::ReadableFile file;
    try {
        file = tk::OpenReadableFile(fileName);
    } catch (const EInOutError&) {
        throw OpenError(fileName);
    }
    CachedPicture decoded = DecodeFile(file, fileName, kind, QSize(impl_->targetWidth, impl_->targetHeight));
    impl_->image = std::move(decoded.image);
    impl_->sourceFile = decoded.reduced ? FromRoot(file.nativePath) : std::string();
    impl_->sourceKind = kind;
    impl_->outgrown = false;
    if (OnChange)
        OnChange();
}

void TPicture::LoadFromResource(const std::string& name)
{
    QImage image = tk::ResourceImage(name);
    if (image.isNull())
        throw EInvalidGraphic(tk::Format(tk::Ansi("組みこみの絵 %s がありません"), tk::Ansi(name.c_str())));
    impl_->image = std::move(image);
    impl_->sourceFile.clear();
    impl_->outgrown = false;
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
    impl_->outgrown = !impl_->sourceFile.empty() && !Covers(impl_->image, width, height);
}

const QImage& tk::ImageToPaint(TPicture& picture)
{
    TPicture::Impl& p = picture.impl();
    if (p.outgrown) {
        p.outgrown = false;
        try {
            tk::ReadableFile file = tk::OpenReadableNativeFile(p.sourceFile);
            CachedPicture decoded = DecodeFile(file, tk::FromUtf8(p.sourceFile), p.sourceKind,
                                               QSize(p.targetWidth, p.targetHeight));
            p.image = std::move(decoded.image);
            if (!decoded.reduced)
                p.sourceFile.clear();
        } catch (const std::exception&) {
            p.sourceFile.clear();
        }
    }
    return p.image;
}
