// Picture loading: the decoder chosen by extension, JPEG decoding and its scale, damaged and
// missing files refused with the picture left as it was.
#include "filetesting.h"
#include "pictures/jpeg.h"
#include "qtbridge.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <unistd.h>
#include <vector>

namespace {

using testing_files::ScratchFolder;
using testing_files::WriteBytes;

// ---------------------------------------------------------------------------------------------
// Test pictures

enum class JpegKind { Baseline, Progressive, Arithmetic, Grayscale, CmykAdobe, CmykPlain, Ycck }; // CMYK kinds last

// A JPEG file written by libjpeg's compressor, pixel by pixel from colourAt. Grayscale files
// take the green channel; CMYK files the inks of the colour, inverted when they carry Adobe's
// marker (as Photoshop writes them).
std::string EncodeJpeg(int width, int height, JpegKind kind, const std::function<QRgb(int, int)>& colourAt)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    const bool gray = kind == JpegKind::Grayscale, cmyk = kind >= JpegKind::CmykAdobe;
    c.input_components = gray ? 1 : cmyk ? 4 : 3;
    c.in_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (cmyk)
        jpeg_set_colorspace(&c, kind == JpegKind::Ycck ? JCS_YCCK : JCS_CMYK);
    c.write_Adobe_marker = cmyk && kind != JpegKind::CmykPlain;
    jpeg_set_quality(&c, 95, TRUE);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&c);
    c.arith_code = kind == JpegKind::Arithmetic;
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row;
    while (c.next_scanline < c.image_height) {
        row.clear();
        for (int x = 0; x < width; ++x) {
            const QRgb rgb = colourAt(x, static_cast<int>(c.next_scanline));
            const int r = qRed(rgb), g = qGreen(rgb), b = qBlue(rgb), brightest = std::max({r, g, b, 1});
            if (gray)
                row.push_back(static_cast<unsigned char>(g));
            else if (!cmyk)
                for (int channel : {r, g, b})
                    row.push_back(static_cast<unsigned char>(channel));
            else
                for (int ink : {(brightest - r) * 255 / brightest, (brightest - g) * 255 / brightest,
                                (brightest - b) * 255 / brightest, 255 - brightest})
                    row.push_back(static_cast<unsigned char>(c.write_Adobe_marker ? 255 - ink : ink));
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&c, &rowPointer, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes(reinterpret_cast<char*>(out), size);
    std::free(out);
    return bytes;
}

const QRgb kRed = qRgb(220, 30, 30), kGreen = qRgb(30, 200, 40), kBlue = qRgb(40, 50, 210),
           kPale = qRgb(240, 235, 230);

// Four quadrants of different colours, so that a picture turned, mirrored or mis-coloured
// shows in four sample points.
QRgb Quadrants(int width, int height, int x, int y)
{
    const bool right = x >= width / 2, bottom = y >= height / 2;
    return bottom ? (right ? kPale : kBlue) : (right ? kGreen : kRed);
}

std::string QuadrantJpeg(int width, int height, JpegKind kind = JpegKind::Baseline)
{
    return EncodeJpeg(width, height, kind, [=](int x, int y) { return Quadrants(width, height, x, y); });
}

std::string WriteWithQt(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes.toStdString();
}

QImage QuadrantImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, Quadrants(width, height, x, y));
    return image;
}

// Offsets of every marker FF <code> in a JPEG file (entropy-coded data never holds one).
std::vector<std::size_t> Markers(const std::string& jpeg, char code)
{
    std::vector<std::size_t> found;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == '\xFF' && jpeg[i + 1] == code)
            found.push_back(i);
    return found;
}

// Offset of the frame header (baseline FF C0, progressive FF C2, arithmetic FF C9).
std::size_t FrameHeader(const std::string& jpeg)
{
    for (char code : {'\xC0', '\xC2', '\xC9'})
        if (const auto found = Markers(jpeg, code); !found.empty())
            return found.front();
    ADD_FAILURE() << "no frame header";
    return 0;
}

// The file cut in the middle of the data of its scan number `scan` (0 the first).
std::string CutInScan(const std::string& jpeg, std::size_t scan)
{
    const std::vector<std::size_t> scans = Markers(jpeg, '\xDA');
    EXPECT_LT(scan, scans.size());
    const std::size_t end = scan + 1 < scans.size() ? scans[scan + 1] : jpeg.size() - 2;
    return jpeg.substr(0, (scans[scan] + end) / 2);
}

// Rewrites the size a JPEG file claims in its frame header.
std::string WithClaimedSize(std::string jpeg, int width, int height)
{
    const std::size_t at = FrameHeader(jpeg);
    jpeg[at + 5] = static_cast<char>(height >> 8);
    jpeg[at + 6] = static_cast<char>(height & 0xFF);
    jpeg[at + 7] = static_cast<char>(width >> 8);
    jpeg[at + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

// The largest difference of the three channels.
int Distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// The four quadrants sampled at their centres; a grayscale picture shows their green channel.
void ExpectQuadrants(const QImage& image, bool gray = false)
{
    const int w = image.width(), h = image.height();
    const std::pair<QPoint, QRgb> samples[] = {{{w / 4, h / 4}, kRed}, {{3 * w / 4, h / 4}, kGreen},
                                               {{w / 4, 3 * h / 4}, kBlue}, {{3 * w / 4, 3 * h / 4}, kPale}};
    for (const auto& [at, colour] : samples) {
        const QRgb expected = gray ? qRgb(qGreen(colour), qGreen(colour), qGreen(colour)) : colour;
        EXPECT_LE(Distance(image.pixel(at), expected), 14) << at.x() << "," << at.y() << ": " << std::hex
                                                           << image.pixel(at);
    }
}

// A picture that already holds an image, and counts its change events.
class PictureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(scratch / "previous.bmp", WriteWithQt(QuadrantImage(10, 6), "bmp"));
        picture.LoadFromFile(Held("previous.bmp"));
        picture.OnChange = [this] { ++changes; };
    }

    // A scratch file's path as a held string.
    AnsiString Held(const std::string& name) const { return tk::FromUtf8(scratch / name); }
    AnsiString Store(const std::string& name, const std::string& bytes)
    {
        WriteBytes(scratch / name, bytes);
        return Held(name);
    }
    const QImage& Image() const { return picture.impl().image; }

    // The load must fail with E and leave the picture exactly as it was, with no change event.
    template <class E>
    void ExpectRefused(const AnsiString& path)
    {
        const qint64 before = Image().cacheKey();
        const int changesBefore = changes;
        EXPECT_THROW(picture.LoadFromFile(path), E) << path;
        EXPECT_EQ(Image().cacheKey(), before) << path;
        EXPECT_EQ(changes, changesBefore) << path;
    }

    ScratchFolder scratch;
    TPicture picture;
    int changes = 0;
};

// ---------------------------------------------------------------------------------------------
// JPEG

TEST(JpegDecoder, DecodesEveryColourModelToRgb)
{
    for (JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Arithmetic, JpegKind::Grayscale,
                          JpegKind::CmykAdobe, JpegKind::CmykPlain, JpegKind::Ycck}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const QImage image = tk::DecodeJpeg(QByteArray::fromStdString(QuadrantJpeg(64, 48, kind)), 0, 0).image;
        ASSERT_EQ(image.size(), QSize(64, 48));
        ExpectQuadrants(image, kind == JpegKind::Grayscale);
    }
}

TEST(JpegDecoder, ScaleIsTheStrongestReductionThatCoversTheBox)
{
    // 1:8 would give 100 x 75, lower than the box.
    EXPECT_EQ(tk::JpegScaleDenominator(800, 600, 81, 81), 4);
    EXPECT_EQ(tk::JpegScaleDenominator(800, 600, 100, 75), 8);
    EXPECT_EQ(tk::JpegScaleDenominator(800, 600, 201, 150), 2);
    EXPECT_EQ(tk::JpegScaleDenominator(800, 600, 401, 1), 1);
    // Scaled sizes round up: 801 / 8 gives 101 columns.
    EXPECT_EQ(tk::JpegScaleDenominator(801, 601, 101, 76), 8);
    // Smaller than its box, or no box at all: full size.
    EXPECT_EQ(tk::JpegScaleDenominator(50, 50, 81, 81), 1);
    EXPECT_EQ(tk::JpegScaleDenominator(800, 600, 0, 0), 1);
    EXPECT_EQ(tk::JpegScaleDenominator(800, 600, 81, 0), 1);
}

TEST(JpegDecoder, DecodesReducedForItsBox)
{
    const QByteArray file = QByteArray::fromStdString(QuadrantJpeg(800, 600));
    const tk::DecodedJpeg reduced = tk::DecodeJpeg(file, 81, 81);
    EXPECT_EQ(reduced.scaleDenominator, 4);
    EXPECT_EQ(reduced.image.size(), QSize(200, 150));
    ExpectQuadrants(reduced.image);

    const QByteArray odd = QByteArray::fromStdString(QuadrantJpeg(801, 601, JpegKind::Progressive));
    EXPECT_EQ(tk::DecodeJpeg(odd, 101, 76).image.size(), QSize(101, 76));
    EXPECT_EQ(tk::DecodeJpeg(odd, 0, 0).image.size(), QSize(801, 601));
}

TEST(JpegDecoder, FileWithoutItsEndMarkerStillDecodes)
{
    std::string file = QuadrantJpeg(64, 48);
    ASSERT_EQ(file.substr(file.size() - 2), "\xFF\xD9");
    file.resize(file.size() - 2);
    ExpectQuadrants(tk::DecodeJpeg(QByteArray::fromStdString(file), 0, 0).image);
}

TEST_F(PictureTest, LoadsJpegAtTheScaleOfItsBoxAndAgainWhenTheBoxGrows)
{
    const AnsiString path = Store("photo.jpg", QuadrantJpeg(800, 600));
    picture.SetTargetSize(81, 81);
    picture.LoadFromFile(path);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Image().size(), QSize(200, 150));

    // Smaller, or still covered: nothing to do.
    picture.SetTargetSize(40, 40);
    picture.SetTargetSize(200, 150);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Image().size(), QSize(200, 150));

    picture.SetTargetSize(300, 160);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(Image().size(), QSize(400, 300));
    ExpectQuadrants(Image());

    // At full size it stays full size, whatever the box.
    picture.SetTargetSize(1000, 1000);
    EXPECT_EQ(Image().size(), QSize(800, 600));
    picture.SetTargetSize(2000, 2000);
    EXPECT_EQ(changes, 3);
}

TEST_F(PictureTest, DamagedJpegIsRefused)
{
    // Noise, so that the picture data is much longer than the headers.
    const auto noise = [](int x, int y) { return qRgb((x * 37 + y) % 256, (x * y) % 256, (x * 5 + y * 71) % 256); };
    const std::string good = EncodeJpeg(96, 64, JpegKind::Baseline, noise);
    const std::string progressive = EncodeJpeg(96, 64, JpegKind::Progressive, noise);
    std::string garbage = "\xFF\xD8";
    unsigned seed = 12345;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245 + 12345;
        garbage += static_cast<char>(seed >> 16);
    }
    const std::pair<const char*, std::string> cases[] = {
        {"truncated.jpg", CutInScan(good, 0)},
        {"progressive-truncated-in-first-scan.jpg", CutInScan(progressive, 0)},
        {"progressive-truncated-in-last-scan.jpg", CutInScan(progressive, Markers(progressive, '\xDA').size() - 1)},
        {"headers-only.jpg", good.substr(0, FrameHeader(good) + 10)},
        {"garbage-after-soi.jpg", garbage},
        {"zero-height.jpg", WithClaimedSize(good, 64, 0)},
        {"zero-width.jpg", WithClaimedSize(good, 0, 48)},
        {"png-inside.jpg", WriteWithQt(QuadrantImage(8, 8), "png")},
        {"empty.jpg", ""},
    };
    for (const auto& [name, bytes] : cases)
        ExpectRefused<EInvalidGraphic>(Store(name, bytes));
}

TEST(JpegDecoder, PictureTooLargeToHoldIsRefusedBeforeDecoding)
{
    // 65000 x 65000 pixels: 16 GB at full size; progressive, libjpeg would need 25 GB for the
    // coefficients whatever the scale; arithmetic-coded, 1:8 would fit within the decoders'
    // limit, but reading zeros for all of it would take seconds. The files are a few hundred bytes.
    for (const auto& [kind, box] : {std::pair{JpegKind::Baseline, 0}, std::pair{JpegKind::Progressive, 81},
                                    std::pair{JpegKind::Arithmetic, 81}}) {
        const std::string file = WithClaimedSize(QuadrantJpeg(16, 16, kind), 65000, 65000);
        try {
            tk::DecodeJpeg(QByteArray::fromStdString(file), box, box);
            ADD_FAILURE() << "decoded";
        } catch (const EInvalidGraphic& error) {
            EXPECT_EQ(error.Message, tk::Ansi("絵が大きすぎます"));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// BMP and ICO

// A BMP of 8 bits a pixel, run-length coded (BI_RLE8): a 2-colour palette, every row one run
// of colour 1, then the end mark.
std::string RleBitmap(int width, int height)
{
    std::string pixels;
    for (int y = 0; y < height; ++y)
        pixels += {static_cast<char>(width), 1, 0, 0};
    pixels += {0, 1};
    auto u32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    const std::string palette = u32(0x000000) + u32(0x00FF8000); // black; orange as 0x00RRGGBB
    const std::uint32_t pixelsAt = 14 + 40 + static_cast<std::uint32_t>(palette.size());
    const std::uint32_t fileSize = pixelsAt + static_cast<std::uint32_t>(pixels.size());
    const std::string fileHeader = "BM" + u32(fileSize) + u32(0) + u32(pixelsAt);
    const std::string infoHeader = u32(40) + u32(static_cast<std::uint32_t>(width)) +
                                   u32(static_cast<std::uint32_t>(height)) + std::string{1, 0, 8, 0} + u32(1) +
                                   u32(static_cast<std::uint32_t>(pixels.size())) + u32(2835) + u32(2835) + u32(2) +
                                   u32(0);
    return fileHeader + infoHeader + palette + pixels;
}

TEST_F(PictureTest, LoadsBitmapsWithTheirPixels)
{
    picture.LoadFromFile(Store("quadrants.bmp", WriteWithQt(QuadrantImage(30, 20), "bmp")));
    ASSERT_EQ(Image().size(), QSize(30, 20));
    EXPECT_EQ(Image().pixel(29, 0), kGreen);
    EXPECT_EQ(Image().pixel(0, 19), kBlue);

    const QImage indexed = QuadrantImage(30, 20).convertToFormat(QImage::Format_Indexed8);
    picture.LoadFromFile(Store("indexed.bmp", WriteWithQt(indexed, "bmp")));
    EXPECT_EQ(Image().pixel(29, 19), kPale);

    picture.LoadFromFile(Store("rle8.bmp", RleBitmap(12, 5)));
    ASSERT_EQ(Image().size(), QSize(12, 5));
    EXPECT_EQ(Image().pixel(11, 4), qRgb(255, 128, 0));
    EXPECT_EQ(changes, 3);
}

TEST_F(PictureTest, BitmapMissingPartOfItsPixelsIsRefused)
{
    // Qt's reader would hand these out whole, with the missing rows left as stray memory.
    const std::string plain = WriteWithQt(QuadrantImage(30, 20), "bmp");
    const std::string rle = RleBitmap(12, 5);
    const std::pair<const char*, std::string> cases[] = {
        {"cut-in-pixels.bmp", plain.substr(0, plain.size() - 10)},
        {"cut-after-header.bmp", plain.substr(0, 60)},
        {"cut-in-header.bmp", plain.substr(0, 16)},
        {"rle-cut.bmp", rle.substr(0, rle.size() - 7)},
        {"rle-literal-past-end.bmp", rle.substr(0, rle.size() - 2) + std::string{0, 40, 1, 2}},
        {"zero-width.bmp", std::string(plain).replace(18, 4, std::string(4, '\0'))},
        {"png-inside.bmp", WriteWithQt(QuadrantImage(8, 8), "png")},
        {"empty.bmp", ""},
    };
    for (const auto& [name, bytes] : cases)
        ExpectRefused<EInvalidGraphic>(Store(name, bytes));

    // A run-length coded file whose writer left out the end mark has all its rows all the same.
    picture.LoadFromFile(Store("rle-no-end-mark.bmp", rle.substr(0, rle.size() - 2)));
    EXPECT_EQ(Image().pixel(0, 0), qRgb(255, 128, 0));
}

// An icon file of several sizes, put together from single-picture icon files: a 6-byte header
// (0, 1, count), a 16-byte entry per picture (its data's length and offset in the last 8
// bytes), then the pictures' data.
std::string IconFile(const std::vector<QImage>& images)
{
    std::string directory = {0, 0, 1, 0, static_cast<char>(images.size()), 0};
    std::string data;
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const QImage& image : images) {
        const std::string single = WriteWithQt(image, "ico");
        std::string entry = single.substr(6, 16);
        const std::string payload = single.substr(6 + 16);
        for (int i = 0; i < 4; ++i)
            entry[12 + i] = static_cast<char>((offset + data.size()) >> (8 * i));
        directory += entry;
        data += payload;
    }
    return directory + data;
}

QImage Filled(int size, QRgb colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

TEST_F(PictureTest, IconTakesTheSmallestPictureCoveringItsBox)
{
    const AnsiString path = Store("two.ico", IconFile({Filled(16, kRed), Filled(48, kBlue)}));
    const std::pair<QSize, QRgb> expected[] = {
        {QSize(16, 16), kRed}, {QSize(20, 20), kBlue}, {QSize(81, 81), kBlue}, {QSize(0, 0), kBlue}};
    for (const auto& [box, colour] : expected) {
        picture.SetTargetSize(box.width(), box.height());
        picture.LoadFromFile(path);
        EXPECT_EQ(Image().pixel(0, 0), colour) << box.width();
    }
    ExpectRefused<EInvalidGraphic>(Store("cut.ico", IconFile({Filled(16, kRed)}).substr(0, 100)));
}

// ---------------------------------------------------------------------------------------------
// Extensions and files

TEST_F(PictureTest, ExtensionChoosesTheDecoderInAnyLetterCase)
{
    picture.LoadFromFile(Store("upper.JPG", QuadrantJpeg(32, 32)));
    picture.LoadFromFile(Store("mixed.JpEg", QuadrantJpeg(32, 32)));
    picture.LoadFromFile(Store("upper.BMP", WriteWithQt(QuadrantImage(8, 8), "bmp")));
    picture.LoadFromFile(Store("upper.ICO", WriteWithQt(Filled(16, kRed), "ico")));
    EXPECT_EQ(changes, 4);

    // A good picture under a name without a decoder, and a good picture of another format
    // under a known name, are both refused.
    const std::string bmp = WriteWithQt(QuadrantImage(8, 8), "bmp");
    for (const char* name : {"picture.gif", "picture.png", "picture", "picture.bmp.txt"})
        ExpectRefused<EInvalidGraphic>(Store(name, bmp));
    ExpectRefused<EInvalidGraphic>(Store("bitmap-inside.jpg", bmp));
    ExpectRefused<EInvalidGraphic>(Store("bitmap-inside.emf", bmp));
    ExpectRefused<EInvalidGraphic>(Store("bitmap-inside.wmf", bmp));
    ExpectRefused<EInvalidGraphic>(Store("bitmap-inside.ico", bmp));
    // Unknown extension is told before the file is looked for.
    ExpectRefused<EInvalidGraphic>(Held("missing.gif"));
}

TEST_F(PictureTest, FileThatCannotBeOpenedGivesTheOpenError)
{
    // The path in the message is the one given, backslashes and all.
    const AnsiString path = tk::FromUtf8(scratch.Path().string()) + "\\" + tk::Ansi("ない絵.bmp");
    ExpectRefused<EFOpenError>(path);
    try {
        picture.LoadFromFile(path);
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.Message, tk::Ansi("ファイル ") + path + tk::Ansi(" は開けません"));
    }

    std::filesystem::create_directory(scratch.Path() / "folder.jpg");
    ExpectRefused<EFOpenError>(Held("folder.jpg"));
    const AnsiString unreadable = Store("unreadable.bmp", WriteWithQt(QuadrantImage(8, 8), "bmp"));
    std::filesystem::permissions(scratch / "unreadable.bmp", std::filesystem::perms::none);
    if (access((scratch / "unreadable.bmp").c_str(), R_OK) != 0) // root reads it all the same
        ExpectRefused<EFOpenError>(unreadable);
}

TEST_F(PictureTest, BuiltInPicturesAndTheFallbackPicture)
{
    picture.LoadFromResource("rabbit.bmp");
    EXPECT_EQ(Image().size(), QSize(81, 81));
    EXPECT_EQ(changes, 1);

    const qint64 before = Image().cacheKey();
    EXPECT_THROW(picture.LoadFromResource("no-such-picture.bmp"), EInvalidGraphic);
    EXPECT_EQ(Image().cacheKey(), before);

    // The file every page falls back to must load through the file loader.
    const char* resources = std::getenv("PAGORA_RESOURCES");
    ASSERT_NE(resources, nullptr);
    picture.LoadFromFile(tk::FromUtf8(std::string(resources) + "/mascot.bmp"));
    EXPECT_FALSE(picture.Empty());
    EXPECT_GT(picture.Width(), 0);
    EXPECT_GT(picture.Height(), 0);
}

} // namespace
