// Metafile playback: WMF and EMF files put together record by record, played, and checked on
// specific pixels; malformed and hostile files refused cleanly and quickly; the picture loader's
// metafile cases.
#include "filetesting.h"
#include "metafilewriter.h"
#include "pictures/metafile.h"
#include "qtbridge.h"

#include <QBuffer>
#include <QElapsedTimer>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

namespace {

using testing_files::ScratchFolder;
using testing_files::WriteBytes;
using namespace testing_metafiles;

// ---------------------------------------------------------------------------------------------
// Pictures

// COLORREF values (0x00BBGGRR) and what they look like.
constexpr std::uint32_t kRedRef = 0x0000FF, kGreenRef = 0x00FF00, kBlueRef = 0xFF0000;
constexpr std::uint32_t kSrcCopyRop = 0x00CC0020;
const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255), kWhite = qRgb(255, 255, 255);

// A 2 x 2 DIB of 24 bits a pixel, rows bottom-up: red and green on top, blue and white below.
std::string QuadrantDib()
{
    const std::string info = U32(40) + U32(2) + U32(2) + U16(1) + U16(24) + U32(0) + U32(16) + U32(0) + U32(0) +
                             U32(0) + U32(0);
    const std::string bottom = std::string("\xFF\x00\x00\xFF\xFF\xFF", 6) + std::string(2, '\0');
    const std::string top = std::string("\x00\x00\xFF\x00\xFF\x00", 6) + std::string(2, '\0');
    return info + bottom + top;
}

QImage Play(const std::string& file, int width = 0, int height = 0)
{
    return tk::PlayMetafile(QByteArray::fromStdString(file), width, height);
}

// The largest difference of the three channels.
int Distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

void ExpectColour(const QImage& image, int x, int y, QRgb expected)
{
    EXPECT_LE(Distance(image.pixel(x, y), expected), 8)
        << "at " << x << "," << y << ": " << std::hex << image.pixel(x, y) << " not " << expected;
}

// Pixels that are not white within a rectangle.
int Inked(const QImage& image, QRect area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += Distance(image.pixel(x, y), kWhite) > 60;
    return count;
}

// A left half red and a blue ellipse in the right half, in a 1440 x 720 window.
WmfWriter RedAndBlue()
{
    WmfWriter wmf;
    wmf.Window(0, 0, 1440, 720).NullPen().Select(0).Brush(kRedRef).Select(1).Rectangle(0, 0, 720, 720);
    return wmf.Brush(kBlueRef).Select(2).Ellipse(720, 0, 1440, 720);
}

// ---------------------------------------------------------------------------------------------
// WMF

TEST(WmfPlayback, PlaceableHeaderGivesTheSizeAndTheDrawingFillsTheBox)
{
    const std::string file = RedAndBlue().Placeable(0, 0, 1440, 720, 1440);
    const QImage own = Play(file);
    ASSERT_EQ(own.size(), QSize(96, 48)); // an inch by half an inch
    ExpectColour(own, 24, 24, kRed);
    ExpectColour(own, 72, 24, kBlue);
    ExpectColour(own, 94, 2, kWhite); // outside the ellipse

    const QImage boxed = Play(file, 200, 60);
    ASSERT_EQ(boxed.size(), QSize(200, 60));
    ExpectColour(boxed, 20, 55, kRed);
    ExpectColour(boxed, 150, 30, kBlue);
    ExpectColour(boxed, 101, 2, kWhite);

    // Units per inch set the size, not the drawing.
    EXPECT_EQ(Play(RedAndBlue().Placeable(0, 0, 1440, 720, 720)).size(), QSize(192, 96));
}

TEST(WmfPlayback, WindowAndViewportMapTheDrawing)
{
    // A viewport twice the window: the picture is the viewport's size, the drawing scaled.
    WmfWriter scaled;
    scaled.Record(0x0103, {8}).Window(0, 0, 200, 100).Viewport(0, 0, 400, 200);
    scaled.NullPen().Select(0).Brush(kRedRef).Select(1).Rectangle(50, 0, 100, 50);
    const QImage image = Play(scaled.File());
    ASSERT_EQ(image.size(), QSize(400, 200));
    ExpectColour(image, 150, 50, kRed);
    ExpectColour(image, 50, 50, kWhite);
    ExpectColour(image, 150, 150, kWhite);

    // A window whose height is negative turns y upwards: the rectangle near y = 0 is at the
    // bottom.
    WmfWriter flipped;
    flipped.Window(0, 100, 200, -100).NullPen().Select(0).Brush(kBlueRef).Select(1).Rectangle(0, 0, 100, 50);
    const QImage up = Play(flipped.File());
    ASSERT_EQ(up.size(), QSize(200, 100));
    ExpectColour(up, 50, 75, kBlue);
    ExpectColour(up, 50, 25, kWhite);

    // The file's own window records take over from the placeable box: a window twice the box
    // shows the drawing at half the size.
    WmfWriter wide;
    wide.Window(0, 0, 2880, 1440).NullPen().Select(0).Brush(kRedRef).Select(1).Rectangle(0, 0, 1440, 1440);
    const QImage half = Play(wide.Placeable(0, 0, 1440, 720, 1440));
    ExpectColour(half, 24, 24, kRed);
    ExpectColour(half, 72, 24, kWhite);
}

TEST(WmfPlayback, WithoutWindowOrHeaderTheDrawingIsThePicture)
{
    WmfWriter wmf;
    wmf.NullPen().Select(0).Brush(kRedRef).Select(1).Rectangle(1000, 1000, 1200, 1100);
    const QImage image = Play(wmf.File(), 50, 50);
    ExpectColour(image, 25, 25, kRed);
    ExpectColour(image, 3, 3, kRed);
    const QImage own = Play(wmf.File());
    EXPECT_NEAR(own.width(), 200, 3);
    EXPECT_NEAR(own.height(), 100, 3);
}

TEST(WmfPlayback, ObjectsTakeTheLowestFreeSlotAndStatesRestore)
{
    WmfWriter wmf;
    wmf.Window(0, 0, 100, 100).NullPen().Select(0).Brush(kRedRef).Brush(kBlueRef); // slots 0, 1, 2
    wmf.Select(1).Record(0x001E, {}).Select(2).Record(0x0127, {0xFFFF}); // save, blue, restore: red again
    wmf.Rectangle(0, 0, 50, 50);
    wmf.Delete(1).Brush(kGreenRef).Select(1).Rectangle(50, 50, 100, 100); // green takes slot 1
    const QImage image = Play(wmf.File(3));
    ExpectColour(image, 25, 25, kRed);
    ExpectColour(image, 75, 75, kGreen);
    ExpectColour(image, 75, 25, kWhite);

    // A selected object stays in use after it is deleted, as in GDI.
    WmfWriter kept;
    kept.Window(0, 0, 10, 10).NullPen().Select(0).Brush(kBlueRef).Select(1).Delete(1).Rectangle(0, 0, 10, 10);
    ExpectColour(Play(kept.File(2)), 5, 5, kBlue);
}

TEST(WmfPlayback, ArcsRunCounterClockwiseFromStartToEnd)
{
    // META_PIE in a 100 x 100 box from 3 o'clock to 12 o'clock: the upper right quarter.
    WmfWriter wmf;
    wmf.Window(0, 0, 100, 100).NullPen().Select(0).Brush(kRedRef).Select(1);
    wmf.Record(0x081A, {0, 50, 50, 100, 100, 100, 0, 0});
    const QImage pie = Play(wmf.File());
    ExpectColour(pie, 75, 25, kRed);
    ExpectColour(pie, 25, 25, kWhite);
    ExpectColour(pie, 75, 75, kWhite);

    // EMR_PIE the same way, then clockwise (EMR_SETARCDIRECTION): the other three quarters.
    for (const bool clockwise : {false, true}) {
        EmfWriter emf;
        emf.NullPen().Brush(1, kBlueRef).Select(1).Record(57, {clockwise ? 2 : 1});
        emf.Record(47, {0, 0, 100, 100, 100, 50, 50, 0});
        const QImage image = Play(emf.File(100, 100, 2));
        ExpectColour(image, 75, 25, clockwise ? kWhite : kBlue);
        ExpectColour(image, 25, 75, clockwise ? kBlue : kWhite);
    }
}

TEST(WmfPlayback, TextInCodePage932WithAlignmentAndOpaqueBox)
{
    WmfWriter wmf;
    wmf.Window(0, 0, 200, 100).Font(tk::FromUtf8("ＭＳ ゴシック"), -40).Select(0);
    wmf.Record(0x0209, {kBlueRef & 0xFFFF, kBlueRef >> 16}).Record(0x0102, {1}); // blue, transparent
    wmf.TextOut(10, 10, tk::FromUtf8("あ"));
    // Right-aligned at x = 190 with a green opaque box over the right quarter.
    wmf.Record(0x012E, {2}).Record(0x0201, {kGreenRef & 0xFFFF, kGreenRef >> 16});
    const std::string a = "A";
    wmf.Record(0x0A32, {60, 190, 1, 2, 150, 0, 200, 100}, a + '\0');
    const QImage image = Play(wmf.File());
    ASSERT_EQ(image.size(), QSize(200, 100));
    EXPECT_GT(Inked(image, QRect(10, 10, 40, 40)), 40);    // the character
    EXPECT_EQ(Inked(image, QRect(60, 0, 80, 100)), 0);      // nothing between
    ExpectColour(image, 152, 2, kGreen);                    // the opaque box
    EXPECT_EQ(Inked(image, QRect(0, 60, 140, 40)), 0);
}

TEST(WmfPlayback, DibRecordsDrawTheirPixels)
{
    const std::string dib = QuadrantDib();
    WmfWriter wmf;
    wmf.Window(0, 0, 120, 40);
    // META_STRETCHDIB, whole DIB into the left square.
    wmf.Record(0x0F43, {0x0020, 0x00CC, 0, 2, 2, 0, 0, 40, 40, 0, 0}, dib);
    // META_STRETCHDIB of the top row only: for a bottom-up DIB that row is y = 1.
    wmf.Record(0x0F43, {0x0020, 0x00CC, 0, 1, 2, 1, 0, 40, 40, 0, 40}, dib);
    // META_DIBSTRETCHBLT of its top row: y counts from the top here.
    wmf.Record(0x0B41, {0x0020, 0x00CC, 1, 2, 0, 0, 40, 40, 0, 80}, dib);
    const QImage image = Play(wmf.File());
    ASSERT_EQ(image.size(), QSize(120, 40));
    ExpectColour(image, 10, 10, kRed);
    ExpectColour(image, 30, 10, kGreen);
    ExpectColour(image, 10, 30, kBlue);
    ExpectColour(image, 30, 30, kWhite);
    for (int left : {40, 80}) {
        ExpectColour(image, left + 10, 30, kRed);
        ExpectColour(image, left + 30, 30, kGreen);
    }
}

// ---------------------------------------------------------------------------------------------
// EMF

TEST(EmfPlayback, FrameGivesTheSizeAndShapesFillIt)
{
    EmfWriter emf;
    emf.NullPen().Brush(1, kRedRef).Select(1).Rectangle(0, 0, 48, 48);
    emf.Brush(2, kBlueRef).Select(2).Ellipse(48, 0, 96, 48);
    const std::string file = emf.File(96, 48, 3);
    const QImage own = Play(file);
    ASSERT_EQ(own.size(), QSize(96, 48));
    ExpectColour(own, 24, 24, kRed);
    ExpectColour(own, 72, 24, kBlue);
    ExpectColour(own, 94, 2, kWhite);

    const QImage boxed = Play(file, 30, 300);
    ExpectColour(boxed, 7, 150, kRed);
    ExpectColour(boxed, 22, 150, kBlue);

    // Stock objects: the black brush.
    EmfWriter stock;
    stock.NullPen().Select(0x80000004).Rectangle(0, 0, 10, 10);
    ExpectColour(Play(stock.File(10, 10)), 5, 5, qRgb(0, 0, 0));
}

TEST(EmfPlayback, WorldTransformAndMappingModes)
{
    EmfWriter emf;
    emf.NullPen().Brush(1, kRedRef).Select(1);
    emf.WorldTransform(2, 0, 0, 2, 0, 0).Rectangle(0, 0, 24, 24);           // 0..48
    emf.Record(36, {}, std::string(24, '\0') + U32(1));                      // back to identity
    emf.Record(17, {8}).Record(9, {10, 10}).Record(11, {96, 96});            // anisotropic, 10 to 96
    emf.Brush(2, kBlueRef).Select(2).Rectangle(5, 5, 10, 10);               // 48..96
    const QImage image = Play(emf.File(96, 96, 3));
    ExpectColour(image, 40, 40, kRed);
    ExpectColour(image, 70, 70, kBlue);
    ExpectColour(image, 70, 20, kWhite);

    // MM_HIMETRIC: 0.01 mm, y upwards, at the reference screen's 96 pixels per inch.
    EmfWriter metric;
    metric.NullPen().Brush(1, kGreenRef).Select(1).Record(17, {3}).Rectangle(0, 0, 1270, -1270);
    const QImage half = Play(metric.File(96, 96, 2));
    ExpectColour(half, 24, 24, kGreen);
    ExpectColour(half, 72, 72, kWhite);
}

TEST(EmfPlayback, PathsPolygonsAndBeziers)
{
    EmfWriter emf;
    emf.NullPen().Brush(1, kRedRef).Select(1);
    emf.Record(59, {}).Record(27, {0, 0}).Record(54, {40, 0}).Record(54, {40, 40}).Record(54, {0, 40});
    emf.Record(61, {}).Record(60, {}).Record(62, {0, 0, 40, 40}); // a filled square path
    // EMR_POLYGON16: a triangle in the lower right.
    emf.Brush(2, kBlueRef).Select(2);
    emf.Record(86, {0, 0, 0, 0, 3}, U16(60) + U16(60) + U16(99) + U16(60) + U16(99) + U16(99));
    // EMR_POLYBEZIER16, straight, with a wide green flat-ended pen (EMR_EXTCREATEPEN).
    emf.Record(95, {3, 0, 0, 0, 0, 0x10200, 6, 0, kGreenRef, 0, 0}).Select(3);
    emf.Record(85, {0, 0, 0, 0, 4}, U16(0) + U16(80) + U16(10) + U16(80) + U16(20) + U16(80) + U16(30) + U16(80));
    const QImage image = Play(emf.File(100, 100, 4));
    ExpectColour(image, 20, 20, kRed);
    ExpectColour(image, 90, 70, kBlue);
    ExpectColour(image, 70, 90, kWhite); // the triangle's other side
    ExpectColour(image, 15, 80, kGreen);
    ExpectColour(image, 45, 80, kWhite); // past the curve's end
}

TEST(EmfPlayback, TextAndClipping)
{
    EmfWriter emf;
    emf.Font(1, QStringLiteral("ＭＳ Ｐゴシック"), -30).Select(1).Record(24, {kBlueRef});
    emf.TextOutW(5, 5, QStringLiteral("Ab"));
    // ETO_OPAQUE box in the background colour (set green), with nothing to write.
    emf.Record(25, {kGreenRef}).TextOutW(0, 0, QString(), 2, QRect(80, 0, 20, 20));
    const QImage text = Play(emf.File(100, 50, 2));
    EXPECT_GT(Inked(text, QRect(5, 5, 40, 30)), 30);
    ExpectColour(text, 90, 10, kGreen);
    EXPECT_EQ(Inked(text, QRect(50, 25, 50, 25)), 0);

    // A clip to the left half, kept while saved and gone after the restore.
    EmfWriter clip;
    clip.NullPen().Brush(1, kRedRef).Select(1).Record(33, {}).Record(30, {0, 0, 50, 100}).Rectangle(0, 0, 100, 50);
    clip.Record(34, {-1}).Brush(2, kBlueRef).Select(2).Rectangle(0, 50, 100, 100);
    const QImage clipped = Play(clip.File(100, 100, 3));
    ExpectColour(clipped, 25, 25, kRed);
    ExpectColour(clipped, 75, 25, kWhite);
    ExpectColour(clipped, 75, 75, kBlue);
}

// Brush patterns and hatches lie on the picture's pixels, however the shape is scaled.
TEST(EmfPlayback, PatternsAndHatchesAreNotScaled)
{
    const std::string dib = QuadrantDib();
    EmfWriter emf;
    emf.NullPen().WorldTransform(10, 0, 0, 10, 0, 0);
    emf.Record(94, {1, 0, 32, 40, 72, static_cast<std::int64_t>(dib.size()) - 40}, dib).Select(1); // EMR_CREATEDIBPATTERNBRUSHPT
    emf.Rectangle(0, 0, 4, 4);
    emf.Record(39, {2, 2, kBlueRef, 0}).Select(2).Record(25, {kGreenRef}); // a horizontal hatch, over green
    emf.Rectangle(5, 0, 9, 4);
    const QImage image = Play(emf.File(100, 40, 3), 100, 40);
    ExpectColour(image, 0, 0, kRed);
    ExpectColour(image, 1, 0, kGreen);
    ExpectColour(image, 0, 1, kBlue);
    ExpectColour(image, 1, 1, kWhite);
    ExpectColour(image, 20, 20, kRed);
    int hatch = 0, background = 0;
    for (int y = 0; y < 16; ++y) {
        hatch += Distance(image.pixel(70, y), kBlue) <= 8;
        background += Distance(image.pixel(70, y), kGreen) <= 8;
    }
    EXPECT_EQ(hatch, 2);
    EXPECT_EQ(background, 14);
}

TEST(EmfPlayback, StretchDibitsDrawsItsPixels)
{
    EmfWriter emf;
    emf.StretchDib(QRect(0, 0, 40, 40), QRect(0, 0, 2, 2), QuadrantDib());
    emf.StretchDib(QRect(40, 0, 40, 40), QRect(0, 1, 2, 1), QuadrantDib()); // the top row of a bottom-up DIB
    const QImage image = Play(emf.File(80, 40));
    ExpectColour(image, 10, 10, kRed);
    ExpectColour(image, 30, 10, kGreen);
    ExpectColour(image, 10, 30, kBlue);
    ExpectColour(image, 30, 30, kWhite);
    ExpectColour(image, 50, 30, kRed);
    ExpectColour(image, 70, 30, kGreen);
}

// BITMAPINFOHEADER: width, height (negative: rows top-down), bits a pixel, compression,
// colours used; an image size for JPEG and PNG pixels.
std::string InfoHeader(int width, int height, int bits, int compression = 0, int used = 0, int imageSize = 0)
{
    return U32(40) + U32(width) + U32(height) + U16(1) + U16(bits) + U32(compression) + U32(imageSize) + U32(0) +
           U32(0) + U32(used) + U32(0);
}

// The quadrant DIB's pixels without its header.
std::string QuadrantBits() { return QuadrantDib().substr(40); }

// A 2 x 2 monochrome mask, rows top-down, 1 bits at the top left and the bottom right.
std::string DiagonalMask()
{
    return InfoHeader(2, -2, 1) + U32(0) + U32(0xFFFFFF) + U32(0x80) + U32(0x40);
}

// A blit record of the EMR_STRETCHBLT layout (also EMR_ALPHABLEND and EMR_TRANSPARENTBLT): the
// destination, the field at 40 (the operation, blend function or colour), the source, the DIB.
std::string StretchBltRecord(std::uint32_t type, QRect to, std::uint32_t field, QRect from, const std::string& info,
                             const std::string& bits)
{
    const auto infoSize = static_cast<std::int64_t>(info.size());
    EmfWriter record;
    record.Record(type, {0, 0, 0, 0, to.x(), to.y(), to.width(), to.height(), field, from.x(), from.y(), 0x3F800000, 0,
                         0, 0x3F800000, 0, 0, 0, 0, 108, infoSize, 108 + infoSize,
                         static_cast<std::int64_t>(bits.size()), from.width(), from.height()},
                  info + bits);
    return record.File(1, 1).substr(88, 108 + info.size() + bits.size());
}

// Images encoded by Qt, for the pixels of BI_PNG and BI_JPEG bitmaps.
std::string Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

// Over green, in 40 x 40 squares: a per-pixel alpha blend (opaque red, half blue), the quadrants
// at half constant alpha, with white transparent, through a mask, and turned a quarter round by
// a parallelogram.
TEST(EmfPlayback, BlitsBlendLeaveOutMaskAndTurn)
{
    EmfWriter emf;
    emf.NullPen().Brush(1, kGreenRef).Select(1).Rectangle(0, 0, 240, 48);
    const std::string bgra = InfoHeader(2, -1, 32);
    const std::string pixels = std::string("\x00\x00\xFF\xFF\x80\x00\x00\x80", 8);
    emf.Raw(StretchBltRecord(114, QRect(0, 0, 40, 40), 0x01FF0000, QRect(0, 0, 2, 1), bgra, pixels));
    emf.Raw(StretchBltRecord(114, QRect(48, 0, 40, 40), 0x00800000, QRect(0, 0, 2, 2), QuadrantDib().substr(0, 40), QuadrantBits()));
    emf.Raw(StretchBltRecord(116, QRect(96, 0, 40, 40), 0xFFFFFF, QRect(0, 0, 2, 2), QuadrantDib().substr(0, 40), QuadrantBits()));
    // EMR_MASKBLT, which does not stretch: SRCCOPY where the mask is 1, the destination kept
    // where it is 0, over the 2 x 2 pixels at (144, 20).
    const std::string info = QuadrantDib().substr(0, 40), bits = QuadrantBits(), mask = DiagonalMask();
    const auto maskAt = static_cast<std::int64_t>(128 + info.size() + bits.size());
    emf.Record(98, {0, 0, 0, 0, 144, 20, 2, 2, 0xAACC0020, 0, 0, 0x3F800000, 0, 0, 0x3F800000, 0, 0, 0, 0, 128, 40,
                    168, static_cast<std::int64_t>(bits.size()), 0, 0, 0, maskAt, 48, maskAt + 48, 8},
               info + bits + mask);
    // EMR_PLGBLT: the source's top left to (232, 0), top right to (232, 40), bottom left to (192, 0).
    emf.Record(79, {0, 0, 0, 0, 232, 0, 232, 40, 192, 0, 0, 0, 2, 2, 0x3F800000, 0, 0, 0x3F800000, 0, 0, 0, 0, 140, 40,
                    180, static_cast<std::int64_t>(bits.size()), 0, 0, 0, 0, 0, 0, 0},
               info + bits);
    const QImage image = Play(emf.File(240, 48, 2), 240, 48);
    ExpectColour(image, 10, 20, kRed);
    ExpectColour(image, 30, 20, qRgb(0, 127, 128));
    ExpectColour(image, 58, 10, qRgb(128, 127, 0));
    ExpectColour(image, 78, 30, qRgb(128, 255, 128));
    ExpectColour(image, 106, 10, kRed);
    ExpectColour(image, 126, 30, kGreen); // white left out
    ExpectColour(image, 144, 20, kRed);
    ExpectColour(image, 145, 20, kGreen); // masked out
    ExpectColour(image, 144, 21, kGreen);
    ExpectColour(image, 145, 21, kWhite);
    ExpectColour(image, 222, 10, kRed);
    ExpectColour(image, 222, 30, kGreen);
    ExpectColour(image, 202, 10, kBlue);
    ExpectColour(image, 202, 30, kWhite);
}

// Bitmaps drawn one pixel to a device pixel from the band of rows the record holds; colours as
// indices into the selected palette; PNG and JPEG pixels; and what GDI draws though it is not
// what a header promises.
TEST(EmfPlayback, DeviceBitmapsPalettesAndCompressedPixels)
{
    EmfWriter emf;
    emf.WorldTransform(2, 0, 0, 2, 0, 0);
    // EMR_SETDIBITSTODEVICE at logical (5, 5): only the top row of the bottom-up quadrants
    // (first scan 1, one scan) is in the record.
    const std::string info = QuadrantDib().substr(0, 40), top = QuadrantBits().substr(8);
    emf.Record(80, {0, 0, 0, 0, 5, 5, 0, 0, 2, 2, 76, 40, 116, 8, 0, 1, 1}, info + top);
    emf.Record(36, {}, std::string(24, '\0') + U32(1)); // the world transform back to identity
    // EMR_CREATEPALETTE (green, blue), EMR_SELECTPALETTE, then a DIB_PAL_COLORS bitmap whose
    // table points at entries 1 and 0.
    emf.Record(49, {1}, U16(0x300) + U16(2) + U32(0x00FF00) + U32(0xFF0000)).Record(48, {1});
    emf.StretchDib(QRect(48, 0, 40, 40), QRect(0, 0, 2, 1), InfoHeader(2, -1, 1, 0, 2) + U16(1) + U16(0), U32(0x40), 1);
    // BI_PNG and BI_JPEG.
    QImage quadrants(2, 2, QImage::Format_RGB32);
    quadrants.setPixel(0, 0, kRed), quadrants.setPixel(1, 0, kGreen), quadrants.setPixel(0, 1, kBlue), quadrants.setPixel(1, 1, kWhite);
    const std::string png = Encoded(quadrants, "PNG");
    emf.StretchDib(QRect(96, 0, 40, 40), QRect(0, 0, 2, 2), InfoHeader(2, -2, 0, 5, 0, static_cast<int>(png.size())), png);
    QImage red(16, 16, QImage::Format_RGB32);
    red.fill(kRed);
    const std::string jpeg = Encoded(red, "JPEG");
    emf.StretchDib(QRect(144, 0, 40, 40), QRect(0, 0, 16, 16), InfoHeader(16, -16, 0, 4, 0, static_cast<int>(jpeg.size())), jpeg);
    // An 8-bit bitmap whose colour table runs on past the two colours it uses.
    std::string table = U32(0xFF0000) + U32(0x00FF00) + std::string(254 * 4, '\x55'); // RGBQUADs: red, green
    emf.StretchDib(QRect(192, 0, 40, 40), QRect(0, 0, 2, 1), InfoHeader(2, -1, 8, 0, 2) + table, std::string("\x00\x01\x00\x00", 4));
    const QImage image = Play(emf.File(240, 48, 2), 240, 48);
    ExpectColour(image, 10, 10, kRed);
    ExpectColour(image, 11, 10, kGreen);
    ExpectColour(image, 10, 11, kWhite); // the row the record does not hold
    ExpectColour(image, 12, 10, kWhite); // one pixel each, not stretched by the transform
    ExpectColour(image, 58, 20, kBlue);
    ExpectColour(image, 78, 20, kGreen);
    ExpectColour(image, 106, 10, kRed);
    ExpectColour(image, 126, 10, kGreen);
    ExpectColour(image, 106, 30, kBlue);
    ExpectColour(image, 126, 30, kWhite);
    ExpectColour(image, 164, 20, kRed);
    ExpectColour(image, 202, 20, kRed);
    ExpectColour(image, 222, 20, kGreen);
}

// A monochrome pattern brush without a colour table (DIB_PAL_INDICES), as charts hold them:
// its 0 bits in the text colour, its 1 bits in the background colour.
TEST(WmfPlayback, MonochromePatternBrushTakesTheTextAndBackgroundColours)
{
    std::string checker = InfoHeader(8, 8, 1);
    for (int row = 0; row < 8; ++row)
        checker += U32(row % 2 ? 0x55 : 0xAA);
    WmfWriter wmf;
    wmf.Window(0, 0, 16, 16).NullPen().Select(0).Record(0x0142, {5, 2}, checker).Select(1);
    wmf.Record(0x0209, {kRedRef & 0xFFFF, kRedRef >> 16}).Record(0x0201, {kBlueRef & 0xFFFF, kBlueRef >> 16});
    wmf.Rectangle(0, 0, 16, 16);
    const QImage image = Play(wmf.File(), 16, 16);
    int red = 0, blue = 0;
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x)
            red += Distance(image.pixel(x, y), kRed) <= 8, blue += Distance(image.pixel(x, y), kBlue) <= 8;
    EXPECT_EQ(red, 72);
    EXPECT_EQ(blue, 72);
    EXPECT_GT(Distance(image.pixel(4, 4), image.pixel(5, 4)), 200); // a checker, pixel by pixel
}

// RGNDATA of rectangles (left, top, right, bottom; right and bottom outside).
std::string RegionData(std::initializer_list<QRect> rects)
{
    std::string data = U32(32) + U32(1) + U32(static_cast<std::int64_t>(rects.size())) +
                       U32(static_cast<std::int64_t>(16 * rects.size())) + std::string(16, '\0');
    for (const QRect& r : rects)
        data += U32(r.left()) + U32(r.top()) + U32(r.right() + 1) + U32(r.bottom() + 1);
    return data;
}

// TRIVERTEX: x, y, then 16-bit red, green, blue and alpha.
std::string Vertex(int x, int y, QRgb color)
{
    return U32(x) + U32(y) + U16(qRed(color) << 8) + U16(qGreen(color) << 8) + U16(qBlue(color) << 8) + U16(0);
}

TEST(EmfPlayback, GradientFillsRectanglesAndTriangles)
{
    EmfWriter emf;
    // GRADIENT_FILL_RECT_H from red at x = 0 to blue at x = 100, over the top 40 rows.
    emf.Record(118, {0, 0, 0, 0, 2, 1, 0}, Vertex(0, 0, kRed) + Vertex(100, 40, kBlue) + U32(0) + U32(1));
    // GRADIENT_FILL_TRIANGLE with a red, a green and a blue corner below.
    emf.Record(118, {0, 0, 0, 0, 3, 1, 2},
               Vertex(0, 100, kRed) + Vertex(100, 100, kGreen) + Vertex(50, 50, kBlue) + U32(0) + U32(1) + U32(2));
    const QImage image = Play(emf.File(100, 100), 100, 100);
    ExpectColour(image, 1, 20, kRed);
    ExpectColour(image, 50, 20, qRgb(128, 0, 127));
    ExpectColour(image, 98, 20, kBlue);
    ExpectColour(image, 50, 83, qRgb(85, 85, 85)); // the middle of the triangle
    ExpectColour(image, 50, 99, qRgb(127, 127, 3)); // the middle of its lower side
    ExpectColour(image, 50, 51, qRgb(3, 3, 249)); // near its top
    ExpectColour(image, 10, 60, kWhite); // outside it
}

TEST(EmfPlayback, RegionsAreFilledFramedPaintedAndInverted)
{
    EmfWriter emf;
    emf.NullPen().Brush(1, kRedRef).Brush(2, kBlueRef).Select(2);
    // EMR_FILLRGN in the red brush (handle 1), though blue is selected.
    emf.Record(71, {0, 0, 0, 0, 64, 1}, RegionData({QRect(0, 0, 20, 20), QRect(20, 0, 20, 10)}));
    // EMR_PAINTRGN in the selected brush.
    emf.Record(74, {0, 0, 0, 0, 48}, RegionData({QRect(60, 0, 40, 40)}));
    // EMR_FRAMERGN: a red border 5 wide around a square.
    emf.Record(72, {0, 0, 0, 0, 48, 1, 5, 5}, RegionData({QRect(0, 50, 40, 40)}));
    // EMR_INVERTRGN over the blue square's lower half: blue turns yellow, white black.
    emf.Record(73, {0, 0, 0, 0, 48}, RegionData({QRect(60, 20, 40, 50)}));
    const QImage image = Play(emf.File(100, 100, 3), 100, 100);
    ExpectColour(image, 10, 10, kRed);
    ExpectColour(image, 30, 5, kRed);
    ExpectColour(image, 30, 15, kWhite);
    ExpectColour(image, 80, 10, kBlue);
    ExpectColour(image, 80, 30, qRgb(255, 255, 0));
    ExpectColour(image, 80, 60, qRgb(0, 0, 0));
    ExpectColour(image, 2, 70, kRed);
    ExpectColour(image, 20, 52, kRed);
    ExpectColour(image, 20, 70, kWhite); // inside the frame
}

TEST(EmfPlayback, AngleArcsAndPolyDrawGoOnFromTheCurrentPosition)
{
    // From (10, 50): EMR_ANGLEARC round (50, 50), radius 30, from 180 degrees through 180
    // counter-clockwise (the lower half on the picture, as y runs down), a line first to its
    // start; then EMR_POLYDRAW16 on from its end (80, 50): a line down, a move, a line.
    EmfWriter emf;
    emf.Record(95, {1, 0, 0, 0, 0, 0x10000, 4, 0, kBlueRef, 0, 0}).Select(1); // a flat 4 wide blue pen
    emf.Record(27, {10, 50}).Record(41, {50, 50, 30}, F32(180) + F32(180));
    emf.Record(92, {0, 0, 0, 0, 3}, U16(80) + U16(90) + U16(0) + U16(10) + U16(20) + U16(10) + std::string("\x02\x06\x02", 3));
    emf.Record(41, {90, 10, 0}, F32(0) + F32(90)); // a circle of no size: a line to its centre

    const QImage image = Play(emf.File(100, 100, 2), 100, 100);
    ExpectColour(image, 15, 50, kBlue);  // the line to the arc's start
    ExpectColour(image, 50, 80, kBlue);  // the bottom of the arc
    ExpectColour(image, 50, 20, kWhite); // not its top
    ExpectColour(image, 80, 70, kBlue);  // the line down from where the arc ended
    ExpectColour(image, 10, 10, kBlue);  // the line after the move
    ExpectColour(image, 60, 10, kBlue);  // on to the empty circle's centre
    ExpectColour(image, 40, 50, kWhite);
}

// ---------------------------------------------------------------------------------------------
// Text

// ANSI text is read in the character set of its font: it draws the pixels that the same
// characters draw as wide text.
TEST(MetafileText, AnsiTextIsReadInTheCharsetOfItsFont)
{
    // 144 x 48 pixels: a frame of whole hundredths of millimetres, so that nothing is stretched.
    auto wide = [](const QString& face, const QString& text) {
        EmfWriter emf;
        emf.Font(1, face, -30).Select(1).TextOutW(5, 5, text);
        return Play(emf.File(144, 48, 2));
    };
    // SYMBOL_CHARSET: alpha, a sum sign and the top of a tall left parenthesis, drawn in the
    // font that holds them.
    EmfWriter symbol;
    symbol.Font(1, QStringLiteral("Symbol"), -30, 2).Select(1).TextOutA(5, 5, "a\xE5\xE6");
    const QImage formula = Play(symbol.File(144, 48, 2));
    EXPECT_GT(Inked(formula, QRect(0, 0, 144, 48)), 60);
    EXPECT_EQ(formula, wide(QStringLiteral("DejaVu Sans"), QStringLiteral("\u03B1\u2211\u239B")));
    // GB2312_CHARSET (code page 936) in a WMF, and ANSI_CHARSET (1252).
    WmfWriter chinese;
    chinese.Window(0, 0, 144, 48).Font("SimSun", -30, 134).Select(0).TextOut(5, 5, "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(Play(chinese.File()), wide(QStringLiteral("SimSun"), QStringLiteral("\u4E2D\u6587")));
    EmfWriter western;
    western.Font(1, QStringLiteral("Arial"), -30, 0).Select(1).TextOutA(5, 5, "caf\xE9");
    EXPECT_EQ(Play(western.File(144, 48, 2)), wide(QStringLiteral("Arial"), QStringLiteral("caf\u00E9")));
    // EMR_SMALLTEXTOUT (8-bit characters) and EMR_POLYTEXTOUTW (two strings) draw what
    // EMR_EXTTEXTOUTW does.
    EmfWriter small;
    small.Font(1, QStringLiteral("Arial"), -30).Select(1).Record(108, {5, 5, 4, 0x300, 1, 0, 0}, "caf\xE9");
    EXPECT_EQ(Play(small.File(144, 48, 2)), wide(QStringLiteral("Arial"), QStringLiteral("caf\u00E9")));
    EmfWriter poly;
    poly.Font(1, QStringLiteral("Arial"), -30).Select(1);
    poly.Record(97, {0, 0, 0, 0, 1, 0, 0, 2, 5, 5, 2, 120, 0, 0, 0, 0, 0, 0, 40, 5, 2, 124, 0, 0, 0, 0, 0, 0},
                U16('c') + U16('a') + U16('f') + U16(0xE9));
    EmfWriter two;
    two.Font(1, QStringLiteral("Arial"), -30).Select(1).TextOutW(5, 5, QStringLiteral("ca")).TextOutW(40, 5, QStringLiteral("f\u00E9"));
    EXPECT_EQ(Play(poly.File(144, 48, 2)), Play(two.File(144, 48, 2)));

    // A font of pictures that no font here holds: its text is left out.
    EmfWriter pictures;
    pictures.Font(1, QStringLiteral("Wingdings"), -30, 2).Select(1).TextOutA(5, 5, "J");
    EXPECT_EQ(Inked(Play(pictures.File(144, 48, 2)), QRect(0, 0, 144, 48)), 0);
}

// ---------------------------------------------------------------------------------------------
// Malformed and hostile files

// Refused with the picture error, and quickly.
void ExpectRefused(const std::string& name, const std::string& file, int width = 0, int height = 0)
{
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(Play(file, width, height), EInvalidGraphic) << name;
    EXPECT_LT(timer.elapsed(), 3000) << name;
}

// A damaged header or record structure: the file is refused.
TEST(MetafileMalformed, WmfFaultsAreRefused)
{
    const std::string good = RedAndBlue().File();
    ASSERT_NO_THROW(Play(good));
    const std::string header = good.substr(0, 18);
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"not a metafile", "GIF89a and then some more bytes"},
        {"cut inside a record", good.substr(0, 18 + 6 + 2)},
        {"cut inside the header", good.substr(0, 10)},
        {"record size 0", header + U32(0) + U16(0x041B) + good.substr(18)},
        {"record size past the end", header + U32(0x7FFFFFFF) + U16(0x041B) + U16(0)},
        {"placeable with 0 units per inch", RedAndBlue().Placeable(0, 0, 100, 100, 0)},
        {"placeable with an empty box", RedAndBlue().Placeable(0, 0, 0, 100, 1440)},
    };
    for (const auto& [name, file] : cases)
        ExpectRefused(name, file, 81, 81);
}

TEST(MetafileMalformed, EmfFaultsAreRefused)
{
    EmfWriter drawing;
    drawing.NullPen().Brush(1, kRedRef).Select(1).Rectangle(0, 0, 10, 10);
    const std::string good = drawing.File(20, 20, 2);
    ASSERT_NO_THROW(Play(good));
    auto with = [](const std::string& record) { return EmfWriter().Raw(record).File(20, 20); };
    std::string badSignature = good;
    badSignature[40] = 'X';
    std::string longHeader = good;
    longHeader.replace(4, 4, U32(100000));
    const std::pair<const char*, std::string> cases[] = {
        {"cut inside a record", good.substr(0, 88 + 12 + 10)},
        {"header cut short", good.substr(0, 60)},
        {"header longer than the file", longHeader},
        {"bad signature", badSignature},
        {"record size 0", with(U32(43) + U32(0) + std::string(16, '\0'))},
        {"record size below its type and size", with(U32(43) + U32(4) + std::string(16, '\0'))},
        {"record size past the end", with(U32(43) + U32(0xFFFFFFF0) + std::string(16, '\0'))},
    };
    for (const auto& [name, file] : cases)
        ExpectRefused(name, file, 81, 81);
}

// A record whose own fields are not consistent is skipped, and what comes after it is drawn: a
// red square over the top left quarter of a 20 x 20 picture.
void ExpectDrawnAfter(const std::string& name, const std::string& file)
{
    QImage image;
    ASSERT_NO_THROW(image = Play(file, 20, 20)) << name;
    ExpectColour(image, 5, 5, kRed);
    ExpectColour(image, 15, 15, kWhite);
}

TEST(MetafileMalformed, ADamagedRecordIsSkippedAndTheRestDrawn)
{
    // WMF: the damaged record, then a red brush into the next free slot (`slot`) and the square.
    using AddWmf = void (*)(WmfWriter&);
    auto wmf = [](AddWmf addDamaged, int slot = 1) {
        WmfWriter w;
        w.Window(0, 0, 20, 20).NullPen().Select(0);
        addDamaged(w);
        return w.Brush(kRedRef).Select(slot).Rectangle(0, 0, 10, 10).File();
    };
    WmfWriter full; // a table of two slots, the second brush finding none free
    full.Window(0, 0, 20, 20).NullPen().Select(0).Brush(kRedRef).Brush(kBlueRef).Select(1).Rectangle(0, 0, 10, 10);
    const std::pair<const char*, std::string> wmfCases[] = {
        {"polygon count beyond its record", wmf([](WmfWriter& w) { w.Record(0x0324, {30000, 1, 2}); })},
        {"polypolygon counts beyond", wmf([](WmfWriter& w) { w.Record(0x0538, {2, 65535, 65535}); })},
        {"text longer than its record", wmf([](WmfWriter& w) { w.Record(0x0521, {200, 0}); })},
        {"object index out of range", wmf([](WmfWriter& w) { w.Select(9); })},
        {"more objects than the table", full.File(2)},
        {"DIB colour table beyond its record",
         wmf([](WmfWriter& w) { w.Record(0x0F43, {0x20, 0xCC, 0, 2, 2, 0, 0, 4, 4, 0, 0}, QuadrantDib().replace(32, 4, U32(1000000))); })},
        {"DIB pixels cut short",
         wmf([](WmfWriter& w) { w.Record(0x0F43, {0x20, 0xCC, 0, 2, 2, 0, 0, 4, 4, 0, 0}, QuadrantDib().substr(0, 48)); })},
        // a pattern brush that cannot be read still takes its slot, so the red brush takes 2
        {"pattern brush DIB cut short", wmf([](WmfWriter& w) { w.Record(0x0142, {5, 0}, QuadrantDib().substr(0, 30)); }, 2)},
    };
    for (const auto& [name, file] : wmfCases)
        ExpectDrawnAfter(name, file);

    // EMF: the damaged record, then a red brush at handle 1 and the square.
    auto emf = [](EmfWriter& damaged) {
        return damaged.NullPen().Brush(1, kRedRef).Select(1).Rectangle(0, 0, 10, 10).File(20, 20, 4);
    };
    auto raw = [&](const std::string& record) {
        EmfWriter w;
        return emf(w.Raw(record));
    };
    auto record = [&](std::uint32_t type, std::initializer_list<std::int64_t> fields) {
        EmfWriter w;
        return emf(w.Record(type, fields));
    };
    const std::pair<const char*, std::string> emfCases[] = {
        {"rectangle cut short", raw(U32(43) + U32(16) + std::string(8, '\0'))},
        {"polygon count absurd", record(3, {0, 0, 0, 0, 0xFFFFFFFF, 0})},
        {"polypolygon counts beyond", record(8, {0, 0, 0, 0, 2, 4, 0x7FFFFFFF, 0x7FFFFFFF})},
        {"polypolygon with absurd polygons", record(8, {0, 0, 0, 0, 0xFFFFFFFF, 0, 0})},
        {"create beyond the handles", record(39, {4, 0, 0, 0})},
        {"create at the reserved handle", record(39, {0, 0, 0, 0})},
        {"select beyond the handles", record(37, {300})},
        {"text string outside its record", record(84, {0, 0, 0, 0, 1, 0, 0, 0, 0, 50, 4000, 0, 0, 0, 0, 0, 0})},
        {"DIB offsets outside the record", record(81, {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, 0x7FFFFFF0, 16, 0, 0x00CC0020, 10, 10})},
    };
    for (const auto& [name, file] : emfCases)
        ExpectDrawnAfter(name, file);

    // A file of nothing but damaged records costs no more than any other.
    EmfWriter many;
    for (int i = 0; i < 1'000'000; ++i)
        many.Raw(U32(43) + U32(12) + U32(0));
    QElapsedTimer timer;
    timer.start();
    try {
        Play(many.File(20, 20), 20, 20);
    } catch (const EInvalidGraphic&) {
    }
    EXPECT_LT(timer.elapsed(), 3000);
}

// Files kept in tests/data/metafile: in malformed/, each refused, and in bad-record/, each
// drawing a red square after its damaged record; one file for each fault, named after it.
TEST(MetafileMalformed, KeptFixtures)
{
    const char* data = std::getenv("PAGORA_TEST_DATA");
    ASSERT_NE(data, nullptr);
    const std::filesystem::path folder = std::filesystem::path(data) / "metafile";
    int refused = 0, drawn = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "malformed")) {
        ExpectRefused(entry.path().filename().string(), testing_files::ReadBytes(entry.path().string()));
        ++refused;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder / "bad-record")) {
        ExpectDrawnAfter(entry.path().filename().string(), testing_files::ReadBytes(entry.path().string()));
        ++drawn;
    }
    EXPECT_GE(refused, 8);
    EXPECT_GE(drawn, 8);
}

TEST(MetafileLimits, HugeExtentsAndCostlyFilesStopCleanly)
{
    // A frame of kilometres: too large to give its own size, but it plays into a box.
    EmfWriter huge;
    huge.NullPen().Select(0x80000004).Rectangle(0, 0, 2000000000, 2000000000);
    std::string hugeFile = huge.File(10, 10);
    hugeFile.replace(32, 8, U32(2000000000) + U32(2000000000));
    ExpectRefused("huge frame without a box", hugeFile);
    EXPECT_NO_THROW(Play(hugeFile, 81, 81));

    // Shapes and text scaled far beyond the picture are left out, not rasterised.
    EmfWriter far;
    far.WorldTransform(1e30f, 0, 0, 1e30f, 0, 0).Ellipse(-10, -10, 10, 10);
    far.WorldTransform(1e6f, 0, 0, 1e6f, 0, 0).Ellipse(-30000, -30000, 30000, 30000).Rectangle(0, 0, 5, 5);
    far.Font(1, QStringLiteral("IPAGothic"), -2000000000).Select(1).TextOutW(0, 0, QStringLiteral("big"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_NO_THROW(Play(far.File(50, 50, 2), 500, 500));
    WmfWriter tall;
    tall.Window(0, 0, 1, 1).Viewport(0, 0, 32767, 32767).Ellipse(-32768, -32768, 32767, 32767);
    EXPECT_NO_THROW(Play(tall.File(), 200, 200));
    // A bitmap stretched from a source of no width: a transform that is not a number, nothing drawn.
    EmfWriter none;
    none.Raw(StretchBltRecord(77, QRect(0, 0, 40, 40), kSrcCopyRop, QRect(0, 0, 0, 2), QuadrantDib().substr(0, 40), QuadrantBits()));
    EXPECT_EQ(Inked(Play(none.File(40, 40), 40, 40), QRect(0, 0, 40, 40)), 0);
    // A mask blit without a source, its source's size scaled by 1e30: only where the mask lies.
    EmfWriter sourceless;
    const std::string mask = DiagonalMask();
    sourceless.Record(98, {0, 0, 0, 0, 0, 0, 40, 40, 0x00000042, 0, 0, 0x7149F2CA, 0, 0, 0x7149F2CA, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                    0, 0, 128, 48, 176, 8},
               mask); // BLACKNESS where the mask is 1
    const QImage masked = Play(sourceless.File(40, 40), 40, 40);
    EXPECT_LE(Inked(masked, QRect(0, 0, 40, 40)), 4);
    // A dotted line of a million dots is drawn solid.
    WmfWriter dotted;
    dotted.Window(0, -1, 2, 2).Viewport(0, 0, 100, 100).Record(0x02FA, {2, 0, 0, 0, 0}).Select(0);
    dotted.Record(0x0214, {0, -32768}).Record(0x0213, {0, 32767});
    const QImage line = Play(dotted.File(), 100, 100);
    EXPECT_GT(Inked(line, QRect(0, 49, 100, 3)), 80);
    EXPECT_LT(timer.elapsed(), 3000);

    // Full-picture fills over and over, a box of a thousand pixels square: over the drawing budget.
    EmfWriter fills;
    for (int i = 0; i < 5000; ++i)
        fills.Rectangle(0, 0, 10, 10);
    ExpectRefused("thousands of full fills", fills.File(10, 10), 1000, 1000);
    // Too many records, each doing nothing.
    EmfWriter many;
    for (int i = 0; i < 1'000'100; ++i)
        many.Record(18, {1});
    ExpectRefused("a million records", many.File(10, 10));
    // States saved without end.
    WmfWriter saves;
    for (int i = 0; i < 5000; ++i)
        saves.Record(0x001E, {});
    ExpectRefused("endless saved states", saves.Window(0, 0, 10, 10).File());
}

// A dashed pen is measured along its path before it is drawn; curves mapped far beyond the
// picture, by a huge world transform or by a viewport scaled up again and again, once sent that
// measuring into endless recursion. They are left out now, and the rest of the picture drawn.
TEST(MetafileLimits, DashedCurvesScaledBeyondThePictureAreLeftOut)
{
    EmfWriter emf;
    emf.NullPen().Brush(1, kRedRef).Select(1).Rectangle(0, 0, 10, 10);
    emf.Record(38, {2, 1, 1, 0, kBlueRef}).Select(2); // EMR_CREATEPEN: PS_DASH, 1 wide
    emf.WorldTransform(1e30f, 0, 0, 1e30f, 0, 0).Ellipse(0, 0, 40, 40);
    WmfWriter wmf;
    wmf.Window(0, 0, 40, 40).NullPen().Select(0).Brush(kRedRef).Select(1).Rectangle(0, 0, 10, 10);
    wmf.Record(0x02FA, {1, 1, 0, 0, 0xFF}).Select(2); // META_CREATEPENINDIRECT: PS_DASH, 1 wide
    for (int i = 0; i < 8; ++i)
        wmf.Record(0x0412, {1, 32767, 1, 32767}); // META_SCALEVIEWPORTEXT
    wmf.Ellipse(0, 0, 40, 40);
    const std::pair<const char*, std::string> cases[] = {{"EMF", emf.File(40, 40, 3)}, {"WMF", wmf.File()}};
    for (const auto& [name, file] : cases) {
        QElapsedTimer timer;
        timer.start();
        const QImage image = Play(file, 40, 40);
        EXPECT_LT(timer.elapsed(), 3000) << name;
        ExpectColour(image, 5, 5, kRed);
        EXPECT_EQ(Inked(image, QRect(12, 0, 28, 40)), 0) << name;
    }
}

// ---------------------------------------------------------------------------------------------
// The picture loader

class MetafilePictureTest : public ::testing::Test {
protected:
    AnsiString Store(const std::string& name, const std::string& bytes)
    {
        WriteBytes(scratch / name, bytes);
        return tk::FromUtf8(scratch / name);
    }
    const QImage& Image() const { return picture.impl().image; }

    ScratchFolder scratch;
    TPicture picture;
    int changes = 0;
};

TEST_F(MetafilePictureTest, LoadsAtTheBoxSizeInAnyLetterCaseAndAgainForANewBox)
{
    picture.OnChange = [this] { ++changes; };
    picture.SetTargetSize(81, 81);
    picture.LoadFromFile(Store("clip.WMF", RedAndBlue().Placeable(0, 0, 1440, 720, 1440)));
    ASSERT_EQ(Image().size(), QSize(81, 81));
    ExpectColour(Image(), 20, 40, kRed);
    EmfWriter emf;
    emf.NullPen().Brush(1, kBlueRef).Select(1).Rectangle(0, 0, 48, 48);
    picture.LoadFromFile(Store("clip.Emf", emf.File(48, 48, 2)));
    ExpectColour(Image(), 40, 40, kBlue);
    EXPECT_EQ(changes, 2);

    // Drawn again for a box it no longer covers, when it is painted.
    picture.SetTargetSize(200, 120);
    EXPECT_EQ(tk::ImageToPaint(picture).size(), QSize(200, 120));
    EXPECT_EQ(changes, 2);

    // A damaged metafile leaves the picture as it was; so does a good one under another name.
    const qint64 before = Image().cacheKey();
    const std::string cut = RedAndBlue().File().substr(0, 30);
    for (const char* name : {"cut.wmf", "cut.emf"})
        EXPECT_THROW(picture.LoadFromFile(Store(name, cut)), EInvalidGraphic) << name;
    EXPECT_THROW(picture.LoadFromFile(Store("clip.png", emf.File(48, 48, 2))), EInvalidGraphic);
    EXPECT_EQ(Image().cacheKey(), before);
    EXPECT_EQ(changes, 2);
}

} // namespace
