// Picture loading: the decoder chosen by extension, JPEG decoding and its scale, damaged and
// missing files refused with the picture left as it was.
#include "filetesting.h"
#include "jpegwriter.h"
#include "pictures/dib.h"
#include "pictures/jpeg.h"
#include "pictures/picturecache.h"
#include "qtbridge.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <span>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

namespace {

using testing_files::ScratchFolder;
using testing_files::WriteBytes;

// ---------------------------------------------------------------------------------------------
// Test pictures

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
    // The image as the picture's control paints it.
    const QImage& Painted() { return tk::ImageToPaint(picture); }

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
    EXPECT_EQ(Painted().size(), QSize(200, 150));

    // A box that outgrows the picture has it decoded again only when it is painted, as a page's
    // layout sets the boxes before it loads the pictures that replace the old ones.
    picture.SetTargetSize(300, 160);
    EXPECT_EQ(Image().size(), QSize(200, 150));
    EXPECT_EQ(Painted().size(), QSize(400, 300));
    ExpectQuadrants(Image());

    // At full size it stays full size, whatever the box.
    picture.SetTargetSize(1000, 1000);
    EXPECT_EQ(Painted().size(), QSize(800, 600));
    picture.SetTargetSize(2000, 2000);
    EXPECT_EQ(Painted().size(), QSize(800, 600));
    EXPECT_EQ(changes, 1);
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
// Device-independent bitmaps

std::string U16(std::uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string U32(std::uint32_t v) { return U16(v) + U16(v >> 16); }

std::span<const std::uint8_t> Bytes(const std::string& s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// A DIB laid out from a few fields: a header of `headerSize` bytes (12 core, 40 info, 56 V3, 108
// V4, 124 V5) with the masks at 40 (after a 40-byte header, inside a longer one), the colour
// table (RGBQUADs, RGBTRIPLEs after a core header) or `rawTable`, then the pixels.
struct Dib {
    std::uint32_t headerSize = 40;
    int width = 1, height = 1; // a negative height: rows top-down
    int bits = 24;
    std::uint32_t compression = 0, colorsUsed = 0;
    std::vector<std::uint32_t> masks{}; // red, green, blue, alpha
    std::vector<QRgb> table{};
    std::string rawTable{}, pixels{};

    std::string Info() const
    {
        std::string info;
        const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
        if (headerSize == 12) {
            info = U32(12) + U16(w) + U16(h) + U16(1) + U16(static_cast<std::uint32_t>(bits));
        } else {
            info = U32(headerSize) + U32(w) + U32(h) + U16(1) + U16(static_cast<std::uint32_t>(bits)) + U32(compression) +
                   U32(static_cast<std::uint32_t>(pixels.size())) + U32(2835) + U32(2835) + U32(colorsUsed) + U32(0);
            for (std::uint32_t mask : masks)
                info += U32(mask);
            if (headerSize != 40)
                info.resize(headerSize, '\0'); // masks inside a longer header; OS/2's cut short
        }
        for (QRgb c : table) {
            info += {static_cast<char>(qBlue(c)), static_cast<char>(qGreen(c)), static_cast<char>(qRed(c))};
            if (headerSize != 12)
                info += '\0';
        }
        return info + rawTable;
    }
    std::string File() const
    {
        const std::string info = Info();
        const auto pixelsAt = static_cast<std::uint32_t>(14 + info.size());
        return "BM" + U32(pixelsAt + static_cast<std::uint32_t>(pixels.size())) + U32(0) + U32(pixelsAt) + info + pixels;
    }
    tk::DecodedDib Decode(const tk::DibOptions& options = {}) const
    {
        const std::string info = Info();
        return tk::DecodeDib(Bytes(info), Bytes(pixels), options);
    }
};

// Rows of pixel values in the order a DIB stores them (bottom-up, or top-down for a negative
// height), at `bits` a pixel (the leftmost in the high bits of a byte; little-endian above 8),
// each row padded to 32 bits.
std::string Rows(int width, int height, int bits, const std::function<std::uint32_t(int x, int y)>& value)
{
    std::string rows;
    for (int i = 0; i < std::abs(height); ++i) {
        const int y = height < 0 ? i : std::abs(height) - 1 - i;
        std::string row((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4, '\0');
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            if (bits < 8)
                row[static_cast<std::size_t>(x * bits / 8)] |= static_cast<char>(v << (8 - bits - x * bits % 8));
            else
                for (int b = 0; b < bits / 8; ++b)
                    row[static_cast<std::size_t>(x * bits / 8 + b)] = static_cast<char>(v >> (8 * b));
        }
        rows += row;
    }
    return rows;
}

std::uint32_t Bgr(QRgb c) { return c & 0xFFFFFF; }

Dib QuadrantDib(std::uint32_t headerSize, int width, int height)
{
    Dib dib{.headerSize = headerSize, .width = width, .height = height};
    dib.pixels = Rows(width, height, 24, [=](int x, int y) { return Bgr(Quadrants(width, std::abs(height), x, y)); });
    return dib;
}

// A pixel as straight ARGB, whatever the image's format.
QRgb PixelAt(const QImage& image, QPoint at) { return image.pixelColor(at).rgba(); }

void ExpectPixels(const QImage& image, const std::vector<std::pair<QPoint, QRgb>>& expected)
{
    for (const auto& [at, colour] : expected)
        EXPECT_EQ(PixelAt(image, at), colour) << at.x() << "," << at.y() << ": " << std::hex << PixelAt(image, at);
}

TEST(DibDecoder, ReadsEveryHeaderBottomUpAndTopDown)
{
    // Qt's reader refused every top-down file, and drew one with a V5 header inside an icon
    // shifted by the header's length.
    for (std::uint32_t headerSize : {12u, 16u, 40u, 52u, 56u, 108u, 124u})
        for (int sign : {1, -1}) {
            if (headerSize == 12 && sign < 0)
                continue; // a core header's height is unsigned
            SCOPED_TRACE(headerSize * sign);
            const tk::DecodedDib dib = tk::DecodeBmpFile(Bytes(QuadrantDib(headerSize, 10, 6 * sign).File()), {});
            ASSERT_EQ(dib.image.size(), QSize(10, 6));
            EXPECT_EQ(dib.topDown, sign < 0);
            ExpectPixels(dib.image, {{{0, 0}, kRed}, {{9, 0}, kGreen}, {{0, 5}, kBlue}, {{9, 5}, kPale}});
        }
}

TEST(DibDecoder, IndicesBeyondTheColourTableTakeItsFirstEntry)
{
    for (int bits : {1, 2, 4, 8}) {
        SCOPED_TRACE(bits);
        Dib dib{.width = 3, .bits = bits, .colorsUsed = 2, .table = {kRed, kBlue}};
        dib.pixels = Rows(3, 1, bits, [=](int x, int) { return bits == 1 ? x % 2 : x == 2 ? (1u << bits) - 1 : x; });
        ExpectPixels(dib.Decode().image, {{{0, 0}, kRed}, {{1, 0}, kBlue}, {{2, 0}, kRed}});
    }
}

TEST(DibDecoder, PixelsARunLengthStreamSkipsTakeTheFirstColour)
{
    // An 8 x 4 picture, bottom row first: two of colour 1, a move 2 right and 1 up, two of
    // colour 2, an early end of row, three pixels as they are (1 2 1, padded), an early end of
    // the picture. Qt's reader left every skipped pixel as whatever its memory held.
    Dib rle8{.width = 8, .height = 4, .bits = 8, .compression = 1, .table = {kRed, kBlue, kGreen}};
    rle8.pixels = std::string{2, 1, 0, 2, 2, 1, 2, 2, 0, 0, 0, 3, 1, 2, 1, 0, 0, 1};
    const QImage image = rle8.Decode().image;
    ExpectPixels(image, {{{1, 3}, kBlue}, {{2, 3}, kRed}, {{7, 3}, kRed},                    // after the move
                         {{3, 2}, kRed}, {{4, 2}, kGreen}, {{5, 2}, kGreen}, {{6, 2}, kRed}, // moved to, ended early
                         {{0, 1}, kBlue}, {{1, 1}, kGreen}, {{2, 1}, kBlue}, {{3, 1}, kRed}, // as they are
                         {{0, 0}, kRed}, {{7, 0}, kRed}});                                    // after the end
    // RLE4: a run's value holds two colours that alternate; three as they are (2 1 2 in two
    // bytes, padded to four); then the rows end without an end mark.
    Dib rle4{.width = 8, .height = 2, .bits = 4, .compression = 2, .table = {kRed, kBlue, kGreen}};
    rle4.pixels = std::string{3, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 0};
    ExpectPixels(rle4.Decode().image, {{{0, 1}, kBlue}, {{1, 1}, kGreen}, {{2, 1}, kBlue}, {{3, 1}, kRed},
                                       {{0, 0}, kGreen}, {{1, 0}, kBlue}, {{2, 0}, kGreen}, {{3, 0}, kRed}});
    // Skipped rows reduced with the rest: six rows into four, the bottom one blue.
    Dib tall{.width = 4, .height = 6, .bits = 8, .compression = 1, .table = {kRed, kBlue}, .pixels = {4, 1, 0, 1}};
    ExpectPixels(tall.Decode({.box = QSize(4, 4)}).image, {{{0, 3}, qRgb(100, 43, 150)}, {{3, 2}, kRed}, {{0, 0}, kRed}});
}

TEST(DibDecoder, ChannelsAreScaledToEightBitsExactly)
{
    // 16 bits, 5 of each channel: white is 255, not the 248 that shifting gives.
    Dib rgb555{.width = 1, .bits = 16, .pixels = U16(0x7FFF) + U16(0)};
    EXPECT_EQ(rgb555.Decode().image.pixel(0, 0), qRgb(255, 255, 255));
    // Bit fields of odd widths: 3, 7 and 6 bits in 16; 10 bits each in 32.
    Dib odd{.width = 2, .bits = 16, .compression = 3, .masks = {0xE000, 0x1FC0, 0x003F}};
    odd.pixels = Rows(2, 1, 16, [](int x, int) { return x == 0 ? 0xFFFFu : 3u << 13 | 64u << 6 | 21u; });
    ExpectPixels(odd.Decode().image, {{{0, 0}, qRgb(255, 255, 255)}, {{1, 0}, qRgb(109, 129, 85)}});
    Dib wide{.headerSize = 56, .width = 1, .bits = 32, .compression = 3, .masks = {0x3FF00000, 0xFFC00, 0x3FF, 0}};
    wide.pixels = U32(1023u << 20 | 512u << 10 | 1u);
    EXPECT_EQ(wide.Decode().image.pixel(0, 0), qRgb(255, 128, 0));
}

TEST(DibDecoder, AlphaComesFromTheAlphaMaskOrAsTheCallerSays)
{
    // A V5 file with an alpha mask; one whose alpha is 0 everywhere is opaque.
    Dib argb{.headerSize = 124, .width = 2, .bits = 32, .compression = 3, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
    argb.pixels = U32(0x80FF0000) + U32(0xFF0000FF);
    const QImage image = tk::DecodeBmpFile(Bytes(argb.File()), {}).image;
    ExpectPixels(image, {{{0, 0}, qRgba(255, 0, 0, 128)}, {{1, 0}, qRgb(0, 0, 255)}});
    EXPECT_EQ(argb.Decode({.alpha = tk::DibAlpha::Ignored}).image.pixel(0, 0), qRgb(255, 0, 0));
    argb.pixels = U32(0x00FF0000) + U32(0x000000FF);
    EXPECT_EQ(PixelAt(tk::DecodeBmpFile(Bytes(argb.File()), {}).image, {0, 0}), qRgb(255, 0, 0));

    // The fourth byte of 32-bit BI_RGB pixels is nothing to GDI, straight alpha to icons and
    // premultiplied alpha to AlphaBlend.
    Dib rgb{.width = 1, .bits = 32, .pixels = U32(0x80404000)};
    EXPECT_EQ(rgb.Decode().image.pixel(0, 0), qRgb(0x40, 0x40, 0));
    EXPECT_EQ(PixelAt(rgb.Decode({.alpha = tk::DibAlpha::FourthByte}).image, {0, 0}), qRgba(0x40, 0x40, 0, 0x80));
    const tk::DecodedDib premultiplied = rgb.Decode({.alpha = tk::DibAlpha::Premultiplied});
    EXPECT_TRUE(premultiplied.hasAlpha);
    EXPECT_EQ(PixelAt(premultiplied.image, {0, 0}), qRgba(0x80, 0x80, 0, 0x80));
}

TEST(DibDecoder, ColourTablesAsMetafileRecordsGiveThem)
{
    // DIB_PAL_INDICES: a monochrome bitmap without a table takes the two colours given.
    Dib mono{.width = 3, .bits = 1, .pixels = Rows(3, 1, 1, [](int x, int) { return x == 1; })};
    ExpectPixels(mono.Decode({.colors = tk::DibColors::NoTable, .zero = kRed, .one = kGreen}).image,
                 {{{0, 0}, kRed}, {{1, 0}, kGreen}, {{2, 0}, kRed}});

    // A table cut short by the end of the info: the missing entries take its first.
    Dib cut{.width = 3, .bits = 8, .colorsUsed = 3, .table = {kBlue, kGreen}, .pixels = Rows(3, 1, 8, [](int x, int) { return x; })};
    ExpectPixels(cut.Decode().image, {{{1, 0}, kGreen}, {{2, 0}, kBlue}});
    // A table longer than the header says: the rest is not part of it.
    Dib longer{.width = 3, .bits = 8, .colorsUsed = 2, .table = {kBlue, kGreen, kRed}, .pixels = cut.pixels};
    EXPECT_EQ(longer.Decode().image.pixel(2, 0), kBlue);

    // DIB_PAL_COLORS: 16-bit indices into the logical palette, GDI's default one without it;
    // one beyond the palette takes its first colour.
    Dib indices{.width = 3, .bits = 8, .colorsUsed = 3, .rawTable = U16(2) + U16(19) + U16(40), .pixels = cut.pixels};
    const QRgb logical[] = {kPale, kRed, kGreen};
    ExpectPixels(indices.Decode({.colors = tk::DibColors::PaletteIndices, .palette = logical}).image,
                 {{{0, 0}, kGreen}, {{1, 0}, kPale}, {{2, 0}, kPale}});
    ExpectPixels(indices.Decode({.colors = tk::DibColors::PaletteIndices}).image,
                 {{{0, 0}, qRgb(0, 128, 0)}, {{1, 0}, qRgb(255, 255, 255)}, {{2, 0}, qRgb(0, 0, 0)}});
}

TEST(DibDecoder, PackedDibsSplitWhereTheirInfoEnds)
{
    const std::pair<Dib, std::size_t> cases[] = {
        {{.headerSize = 12, .bits = 8}, 12 + 256 * 3},
        {{.bits = 4, .colorsUsed = 3}, 40 + 3 * 4},
        {{.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}}, 40 + 12},
        {{.headerSize = 124, .bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F, 0}}, 124},
        {{.bits = 32, .compression = 6, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}, 40 + 16},
        {{.bits = 24, .colorsUsed = 2}, 40 + 2 * 4}, // a table a 24-bit picture does not need
    };
    for (auto [dib, size] : cases) {
        dib.table.resize(dib.headerSize == 12 ? 256 : dib.colorsUsed, kGreen);
        dib.pixels = Rows(1, 1, dib.bits, [](int, int) { return 0xFFFFFFFFu; });
        const std::string packed = dib.Info() + dib.pixels;
        EXPECT_EQ(tk::DibInfoSize(Bytes(packed), tk::DibColors::Rgb), size) << dib.headerSize << " " << dib.bits;
        const QImage image = tk::DecodePackedDib(Bytes(packed), {}).image;
        EXPECT_EQ(image.pixel(0, 0), dib.bits <= 8 ? kGreen : qRgb(255, 255, 255)) << dib.bits;
    }
    // Under DIB_PAL_COLORS the table holds 16-bit indices; DIB_PAL_INDICES has none.
    const std::string info = Dib{.bits = 8, .colorsUsed = 5}.Info();
    EXPECT_EQ(tk::DibInfoSize(Bytes(info + std::string(10, '\0')), tk::DibColors::PaletteIndices), 50u);
    EXPECT_EQ(tk::DibInfoSize(Bytes(info), tk::DibColors::NoTable), 40u);
    EXPECT_THROW(tk::DibInfoSize(Bytes(info + std::string(9, '\0')), tk::DibColors::PaletteIndices), EInvalidGraphic);
}

TEST(DibDecoder, JpegAndPngPixelsDecodeAsSuch)
{
    Dib jpeg{.width = 64, .height = 48, .bits = 0, .compression = 4, .pixels = QuadrantJpeg(64, 48)};
    ExpectQuadrants(jpeg.Decode().image);
    const tk::DecodedDib reduced = jpeg.Decode({.box = QSize(20, 10)});
    EXPECT_EQ(reduced.image.size(), QSize(20, 10));
    EXPECT_EQ(reduced.fullSize, QSize(64, 48));
    ExpectQuadrants(reduced.image);
    Dib png{.width = 30, .height = 20, .bits = 0, .compression = 5, .pixels = WriteWithQt(QuadrantImage(30, 20), "png")};
    ExpectQuadrants(png.Decode().image);
}

TEST(DibDecoder, InconsistentOrOversizedBitmapsAreRefused)
{
    const Dib good = QuadrantDib(40, 10, 6);
    auto with = [&](auto change) {
        Dib dib = good;
        change(dib);
        return dib;
    };
    const Dib damaged[] = {
        with([](Dib& d) { d.headerSize = 8; }),
        with([](Dib& d) { d.width = 0; }),
        with([](Dib& d) { d.width = -10; }),
        with([](Dib& d) { d.height = 0; }),
        with([](Dib& d) { d.bits = 3; }),
        with([](Dib& d) { d.compression = 1; }),                                 // RLE8 at 24 bits
        with([](Dib& d) {
            d.compression = 3; // bit fields at 24 bits
            d.masks = {0xFF0000, 0xFF00, 0xFF};
        }),
        with([](Dib& d) { d.compression = 11; }),
        with([](Dib& d) { d.pixels.pop_back(); }),
        {.width = 2, .height = -2, .bits = 8, .compression = 1, .table = {kRed}, .pixels = {0, 1}}, // RLE top-down
        {.width = 2, .height = 2, .bits = 8, .compression = 1, .table = {kRed}, .pixels = {2, 0, 0, 0}}, // cut
        {.width = 2, .height = 1, .bits = 8, .compression = 1, .table = {kRed}, .pixels = {0, 2, 1}},    // cut move
    };
    for (const Dib& dib : damaged)
        EXPECT_THROW(dib.Decode(), EInvalidGraphic) << dib.headerSize << " " << dib.width << "x" << dib.height;
    const std::string info = good.Info();
    EXPECT_THROW(tk::DecodeDib(Bytes(info.substr(0, 39)), Bytes(good.pixels), {}), EInvalidGraphic);

    // Claims checked before any pixel is looked at: more than 2^28 pixels, reduced or not
    // (a run-length stream of a few bytes can end the picture at once), and beyond 256 MB
    // decoded at full size.
    const Dib claims[] = {{.width = 20000, .height = 20000, .bits = 8, .compression = 1, .pixels = {0, 1}},
                          {.width = 10000, .height = 10000, .bits = 8, .compression = 1, .pixels = {0, 1}}};
    for (const auto& [dib, box] : {std::pair{claims[0], QSize(81, 81)}, std::pair{claims[1], QSize()}})
        try {
            dib.Decode({.box = box});
            ADD_FAILURE() << "decoded";
        } catch (const EInvalidGraphic& error) {
            EXPECT_EQ(error.Message, tk::Ansi("絵が大きすぎます"));
        }
}

TEST(DibDecoder, ReducesToItsBoxByAveragingTheAreaEachPixelCovers)
{
    // Three pixels into two: each output pixel takes a whole one and half of the middle one.
    Dib three{.width = 3, .pixels = Rows(3, 1, 24, [](int x, int) { return x == 1 ? 0xFFFFFFu : 0u; })};
    const QImage two = three.Decode({.box = QSize(2, 5)}).image;
    ASSERT_EQ(two.size(), QSize(2, 1));
    ExpectPixels(two, {{{0, 0}, qRgb(85, 85, 85)}, {{1, 0}, qRgb(85, 85, 85)}});
    // Rows the same way, bottom-up: four rows into three.
    Dib four{.width = 1, .height = 4, .pixels = Rows(1, 4, 24, [](int, int y) { return y == 1 ? 0xFFFFFFu : 0u; })};
    ExpectPixels(four.Decode({.box = QSize(1, 3)}).image,
                 {{{0, 0}, qRgb(64, 64, 64)}, {{0, 1}, qRgb(128, 128, 128)}, {{0, 2}, qRgb(0, 0, 0)}});

    // A flat colour stays exactly that colour through uneven ratios, and quadrants stay put.
    Dib flat{.width = 301, .height = 211};
    flat.pixels = Rows(301, 211, 24, [](int, int) { return Bgr(kPale); });
    const tk::DecodedDib reduced = flat.Decode({.box = QSize(81, 81)});
    EXPECT_EQ(reduced.fullSize, QSize(301, 211));
    EXPECT_EQ(reduced.image.size(), QSize(81, 81));
    EXPECT_EQ(reduced.image.convertToFormat(QImage::Format_RGB32), [] {
        QImage pale(81, 81, QImage::Format_RGB32);
        pale.fill(kPale);
        return pale;
    }());
    ExpectQuadrants(QuadrantDib(40, 300, -200).Decode({.box = QSize(81, 81)}).image);
    Dib column{.width = 1, .height = 600, .pixels = Rows(1, 600, 24, [](int, int) { return Bgr(kPale); })};
    EXPECT_EQ(PixelAt(column.Decode({.box = QSize(1, 1)}).image, {0, 0}), kPale); // more rows than 16-bit sums hold

    // Alpha averages premultiplied: an opaque red beside a transparent pixel is half-covered
    // red, not a darker red.
    Dib alpha{.width = 2, .bits = 32, .pixels = U32(0xFFFF0000) + U32(0)};
    EXPECT_EQ(PixelAt(alpha.Decode({.box = QSize(1, 1), .alpha = tk::DibAlpha::FourthByte}).image, {0, 0}), qRgba(255, 0, 0, 128));
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
        {"rle-literal-past-end.bmp", rle.substr(0, rle.size() - 4) + std::string{0, 40, 1, 2}}, // in the last row
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

// An icon file of the given pictures: the 6-byte header, a 16-byte directory entry for each
// (sizes and depth left 0: readers must take them from the pictures), then the pictures.
std::string IconOf(const std::vector<std::string>& pictures)
{
    std::string directory = {0, 0, 1, 0, static_cast<char>(pictures.size()), 0}, data;
    for (const std::string& picture : pictures) {
        directory += std::string(8, '\0') + U32(static_cast<std::uint32_t>(picture.size())) +
                     U32(static_cast<std::uint32_t>(6 + 16 * pictures.size() + data.size()));
        data += picture;
    }
    return directory + data;
}

// A BMP picture of an icon: its colour rows, then the rows of its AND mask.
std::string IconPicture(Dib dib, const std::function<bool(int x, int y)>& transparent)
{
    dib.pixels += Rows(dib.width, dib.height, 1, [&](int x, int y) { return transparent(x, y); });
    dib.height *= 2;
    return dib.Info() + dib.pixels;
}

TEST(IconFile, TakesTheDeepestOfEqualSizesAndDrawsItsMask)
{
    const auto corner = [](int x, int y) { return x == 0 && y == 0; };
    const auto everywhere = [](int, int) { return true; };
    Dib fourBits{.width = 16, .height = 16, .bits = 4, .colorsUsed = 1, .table = {kBlue}};
    fourBits.pixels = Rows(16, 16, 4, [](int, int) { return 0u; });
    // Deeper, with a V5 header, and an alpha of its own that the mask does not override.
    Dib deepest{.headerSize = 124, .width = 16, .height = 16, .bits = 32};
    deepest.pixels = Rows(16, 16, 32, [](int x, int y) { return 0xFF000000u | Bgr(Quadrants(16, 16, x, y)); });
    const std::string png16 = WriteWithQt(Filled(16, kGreen).convertToFormat(QImage::Format_RGB888), "png");
    const std::string file = IconOf({IconPicture(fourBits, corner), IconPicture(deepest, everywhere), png16});
    const tk::DecodedDib chosen = tk::DecodeIcoFile(Bytes(file), QSize(16, 16));
    EXPECT_TRUE(chosen.hasAlpha);
    ExpectPixels(chosen.image, {{{0, 0}, kRed}, {{15, 0}, kGreen}, {{0, 15}, kBlue}, {{15, 15}, kPale}});

    // The mask of a picture without alpha: 1 lets the background through.
    const QImage masked = tk::DecodeIcoFile(Bytes(IconOf({IconPicture(fourBits, corner)})), {}).image;
    ExpectPixels(masked, {{{0, 0}, 0u}, {{1, 0}, kBlue}, {{15, 15}, kBlue}});
    // A PNG picture, deeper than the 4-bit one.
    const QImage png = tk::DecodeIcoFile(Bytes(IconOf({IconPicture(fourBits, corner), png16})), {}).image;
    EXPECT_EQ(PixelAt(png, {0, 0}), kGreen);
}

TEST_F(PictureTest, PictureDecodedReducedIsDecodedAgainWhenItsBoxGrows)
{
    const AnsiString bmp = Store("large.bmp", QuadrantDib(40, 400, 300).File());
    picture.SetTargetSize(81, 81);
    picture.LoadFromFile(bmp);
    EXPECT_EQ(Image().size(), QSize(81, 81));
    ExpectQuadrants(Image());
    picture.SetTargetSize(60, 81); // still covered
    EXPECT_EQ(Painted().size(), QSize(81, 81));
    picture.SetTargetSize(200, 81);
    EXPECT_EQ(Painted().size(), QSize(200, 81));
    picture.SetTargetSize(1000, 1000);
    EXPECT_EQ(Painted().size(), QSize(400, 300));
    picture.SetTargetSize(2000, 2000); // nothing larger to decode
    EXPECT_EQ(Painted().size(), QSize(400, 300));
    ExpectQuadrants(Image());

    // An icon: its smaller picture for a small box, the larger one when the box grows.
    picture.SetTargetSize(16, 16);
    picture.LoadFromFile(Store("two.ico", IconFile({Filled(16, kRed), Filled(48, kBlue)})));
    EXPECT_EQ(Image().pixel(0, 0), kRed);
    picture.SetTargetSize(40, 40);
    EXPECT_EQ(Painted().size(), QSize(40, 40));
    EXPECT_EQ(PixelAt(Image(), {0, 0}), kBlue);
    EXPECT_EQ(changes, 2);
}

// A file dialog makes the chosen file's folder the current folder, and a work may name its
// pictures relative to it.
TEST_F(PictureTest, APictureGrownAfterTheCurrentFolderChangedIsDecodedFromItsOwnFile)
{
    ScratchFolder other;
    WriteBytes(other / "photo.jpg", EncodeJpeg(800, 600, JpegKind::Baseline, [](int, int) { return kRed; }));
    Store("photo.jpg", QuadrantJpeg(800, 600));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());
    picture.SetTargetSize(81, 81);
    picture.LoadFromFile("photo.jpg");
    std::filesystem::current_path(other.Path());
    picture.SetTargetSize(300, 160);
    EXPECT_EQ(Painted().size(), QSize(400, 300));
    ExpectQuadrants(Image());
    std::filesystem::current_path(before);
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

// ---------------------------------------------------------------------------------------------
// Pictures kept for showing again

TEST(PictureCache, KeepsTheMostRecentlyUsedWithinItsBoundButNoFileJustSaved)
{
    const QImage image = Filled(10, kRed); // 400 bytes
    tk::PictureCache cache(3 * 400);
    const std::int64_t now = std::int64_t{1'700'000'000} * 1'000'000'000, hourAgo = now - 3'600'000'000'000;
    const auto key = [&](const char* name, QSize box = {81, 81}) { return tk::PictureKey{name, 1, 2, 3, hourAgo, box}; };
    for (const char* name : {"a", "b", "c"})
        cache.Keep(key(name), {image, false}, now);
    EXPECT_TRUE(cache.Find(key("a")));
    cache.Keep(key("d"), {image, false}, now);
    EXPECT_FALSE(cache.Find(key("b"))); // used least recently
    for (const char* name : {"a", "c", "d"})
        EXPECT_TRUE(cache.Find(key(name))) << name;
    EXPECT_EQ(cache.Bytes(), 3u * 400);
    EXPECT_FALSE(cache.Find(key("a", {82, 81}))); // decoded for another box
    EXPECT_FALSE(cache.Find(tk::PictureKey{"a", 1, 2, 3, hourAgo + 1, {81, 81}})); // saved again

    // A file saved a moment ago may be saved again within the same tick of its clock.
    cache.Keep(tk::PictureKey{"e", 1, 2, 3, now - 1'000'000'000, {81, 81}}, {image, false}, now);
    EXPECT_FALSE(cache.Find(tk::PictureKey{"e", 1, 2, 3, now - 1'000'000'000, {81, 81}}));
    cache.Keep(key("huge"), {Filled(40, kRed), false}, now); // larger than the bound
    EXPECT_FALSE(cache.Find(key("huge")));
    EXPECT_TRUE(cache.Find(key("d")));
}

} // namespace
