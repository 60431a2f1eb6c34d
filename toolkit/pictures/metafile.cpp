// Windows metafiles played back over QPainter: WMF (with or without the placeable header) and
// EMF, with the records that drawings and clip art are made of.
//
// A metafile is a list of GDI calls. Each is replayed on a Canvas that keeps GDI's device
// context (mapping, objects, colours, clip) and draws into the picture. Coordinates go from
// logical units through the world transform (EMF) and the page transform (mapping mode, window
// and viewport) to device units, and from there by the placement to the picture's pixels: the
// picture's frame in device units fills the picture. Every shape is mapped to picture pixels
// before it is drawn, so pens, limits and costs are all judged in the pixels that are painted.
#include "metafile.h"

#include "decoding.h"
#include "qtbridge.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tk {

namespace {

// ---------------------------------------------------------------------------------------------
// Limits. A small file can ask for a great deal of work; these bound what one picture may cost.

constexpr qsizetype kMaxFileBytes = 64 * 1024 * 1024;
constexpr std::uint64_t kMaxRecords = 1'000'000;
constexpr int kMaxSide = 16384;
constexpr std::size_t kMaxSavedStates = 4096;
// Picture pixels covered by all shapes together (each counted by its box within the picture,
// times what a pixel of it costs to draw), plus one for each point and record drawn: about a
// second of drawing.
constexpr double kMaxDrawingWork = 1e9;
// What a pixel costs, against a pixel of a plain fill: measured on Qt's raster engine.
constexpr double kPatternCost = 3, kTextCost = 2, kBitmapCost = 4;
// Shapes reaching further than this from the picture, in its pixels, are left out: no picture
// needs them, and the rasterizer's fixed-point coordinates would overflow.
constexpr double kMaxCoordinate = 1 << 22;
// Text taller than this is left out: every glyph would be rendered at that size.
constexpr double kMaxGlyphPixels = 4096;
// A dashed line with more dashes than this is drawn solid.
constexpr double kMaxDashes = 100000;
// A WMF without the placeable header says nothing of its size; its window is taken as pixels,
// brought down to this on its longer side.
constexpr double kMaxUnsizedSide = 1024;
// The height of the font a device context starts with, in device pixels.
constexpr double kDefaultFontPixels = 16;
constexpr double kScreenPixelsPerMm = 96 / 25.4;

// ---------------------------------------------------------------------------------------------
// Bytes

// A window on the file's bytes, read as little-endian fields. Every read is checked against the
// window, so a field beyond the end of its record or of the file is a damaged picture.
class Bytes {
public:
    Bytes() = default;
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Size() const { return size_; }
    const unsigned char* Data() const { return data_; }
    bool Has(std::size_t at, std::size_t length) const { return at <= size_ && length <= size_ - at; }
    void Need(std::size_t at, std::size_t length) const
    {
        if (!Has(at, length))
            throw DamagedPicture();
    }
    // `count` items of `itemSize` bytes from `at`; compared by division, so nothing overflows.
    void NeedItems(std::size_t at, std::uint64_t count, std::size_t itemSize) const
    {
        if (at > size_ || count > (size_ - at) / itemSize)
            throw DamagedPicture();
    }
    Bytes Sub(std::size_t at, std::size_t length) const
    {
        Need(at, length);
        return Bytes(data_ + at, length);
    }
    Bytes From(std::size_t at) const { return Sub(at, size_ - std::min(at, size_)); }

    std::uint8_t U8(std::size_t at) const
    {
        Need(at, 1);
        return data_[at];
    }
    std::uint16_t U16(std::size_t at) const
    {
        Need(at, 2);
        return static_cast<std::uint16_t>(data_[at] | data_[at + 1] << 8);
    }
    std::uint32_t U32(std::size_t at) const
    {
        Need(at, 4);
        return std::uint32_t{data_[at]} | std::uint32_t{data_[at + 1]} << 8 | std::uint32_t{data_[at + 2]} << 16 |
               std::uint32_t{data_[at + 3]} << 24;
    }
    std::int16_t I16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    float F32(std::size_t at) const
    {
        const std::uint32_t bits = U32(at);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

// COLORREF: 0x00BBGGRR. A palette index (top byte 1) is read by its low bytes like a colour.
QColor ColorOf(std::uint32_t ref)
{
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF), static_cast<int>((ref >> 16) & 0xFF));
}

// Text held in code page 932 with, when the record gives them, the advance of each byte; a
// double-byte character advances by the sum of its two. The advances come out one for each
// UTF-16 unit of the text (0 for the second unit of a pair).
struct TextRun {
    QString text;
    std::vector<double> advances;
};

TextRun AnsiRun(const std::string& bytes, const std::vector<double>& byteAdvances)
{
    TextRun run;
    if (byteAdvances.size() < bytes.size()) {
        run.text = QString::fromStdString(ToUtf8(bytes));
        return run;
    }
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = IsLeadByte(bytes[i]) && i + 1 < bytes.size() ? 2 : 1;
        const QString piece = QString::fromStdString(ToUtf8(bytes.substr(i, length)));
        double advance = 0;
        for (std::size_t k = 0; k < length; ++k)
            advance += byteAdvances[i + k];
        if (piece.isEmpty() && !run.advances.empty())
            run.advances.back() += advance; // a byte code page 932 has no character for
        for (qsizetype unit = 0; unit < piece.size(); ++unit)
            run.advances.push_back(unit == 0 ? advance : 0);
        run.text += piece;
        i += length;
    }
    return run;
}

// ---------------------------------------------------------------------------------------------
// Bitmaps

struct Bitmap {
    QImage image; // null when the bitmap is of a kind not drawn here
    bool bottomUp = false;
};

// BITMAPINFO: a BITMAPCOREHEADER (12 bytes: size, width and height 16 bits unsigned, planes,
// bits per pixel) or a BITMAPINFOHEADER (40 bytes and its longer successors: size, width and
// height 32 bits signed, a negative height meaning rows top-down, planes, bits per pixel (14),
// compression (16), image size, resolution, colours used (32), colours important). After a
// 40-byte header, BI_BITFIELDS (3) puts three colour masks, BI_ALPHABITFIELDS (6) four; then
// the colour table: RGBQUADs, RGBTRIPLEs after a core header, or 16-bit palette indices under
// DIB_PAL_COLORS. Answers the size of all that, checked against `info`.
std::size_t DibInfoSize(const Bytes& info, bool paletteIndices)
{
    const std::uint32_t headerSize = info.U32(0);
    std::uint64_t entries = 0, entrySize = 0, masks = 0;
    auto tableEntries = [](unsigned bitsPerPixel) -> std::uint64_t {
        return bitsPerPixel >= 1 && bitsPerPixel <= 8 ? std::uint64_t{1} << bitsPerPixel : 0;
    };
    if (headerSize == 12) {
        entries = tableEntries(info.U16(10));
        entrySize = paletteIndices ? 2 : 3;
    } else if (headerSize >= 40) {
        const std::uint32_t compression = info.U32(16), used = info.U32(32);
        entries = used != 0 ? used : tableEntries(info.U16(14));
        entrySize = paletteIndices ? 2 : 4;
        if (headerSize == 40)
            masks = compression == 3 ? 12 : compression == 6 ? 16 : 0;
    } else {
        throw DamagedPicture();
    }
    const std::uint64_t size = headerSize + masks + entries * entrySize; // below 2^35
    if (size > info.Size())
        throw DamagedPicture();
    return static_cast<std::size_t>(size);
}

// A DIB from its BITMAPINFO and its pixels, through Qt's BMP reader: the two are put behind a
// BITMAPFILEHEADER and checked, like any BMP file the loader reads, for all their pixels.
Bitmap DecodeDib(const Bytes& info, const Bytes& pixels, bool paletteIndices)
{
    const std::size_t infoSize = DibInfoSize(info, paletteIndices);
    const bool core = info.U32(0) == 12;
    const std::int64_t width = core ? info.U16(4) : info.I32(4);
    const std::int64_t height = core ? info.U16(6) : info.I32(8);
    const unsigned bitsPerPixel = core ? info.U16(10) : info.U16(14);
    const std::uint32_t compression = core ? 0 : info.U32(16);
    Bitmap bitmap;
    bitmap.bottomUp = height > 0;
    // Pixels held as JPEG or PNG (printer drivers' forms), and colours given as indices into a
    // palette the metafile does not carry, are not drawn.
    if (compression == 4 || compression == 5 || (paletteIndices && bitsPerPixel <= 8))
        return bitmap;
    const std::int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0)
        throw DamagedPicture();
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows) > kMaxPictureBytes / 4)
        throw PictureTooLarge();

    auto u32 = [](std::uint64_t v) {
        const char bytes[] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                              static_cast<char>(v >> 24)};
        return QByteArray(bytes, 4);
    };
    QByteArray file = "BM" + u32(14 + infoSize + pixels.Size()) + u32(0) + u32(14 + infoSize);
    file.append(reinterpret_cast<const char*>(info.Data()), static_cast<qsizetype>(infoSize));
    file.append(reinterpret_cast<const char*>(pixels.Data()), static_cast<qsizetype>(pixels.Size()));
    if (!BitmapHoldsItsPixels(file))
        throw DamagedPicture();
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    bitmap.image = reader.read();
    if (bitmap.image.isNull())
        throw DamagedPicture();
    return bitmap;
}

// A DIB packed in one piece (WMF records): BITMAPINFO, then the pixels to the end.
Bitmap DecodePackedDib(const Bytes& dib, bool paletteIndices)
{
    const std::size_t infoSize = DibInfoSize(dib, paletteIndices);
    return DecodeDib(dib.Sub(0, infoSize), dib.From(infoSize), paletteIndices);
}

// Bitmap16, a device-dependent bitmap: type, width, height, bytes per row (16 bits each),
// planes, bits per pixel (8 bits each), then the rows top-down, each padded to 16 bits.
// Monochrome ones take the text colour for 0 bits and the background colour for 1 bits, as GDI
// does when it copies them onto colour; 24 and 32 bits a pixel are blue, green, red (, unused).
// Other depths depend on the palette of the screen that wrote them and are not drawn.
QImage DecodeBitmap16(const Bytes& b, QColor zero, QColor one)
{
    const int width = b.I16(2), height = b.I16(4), planes = b.U8(8), bitsPerPixel = b.U8(9);
    if (width <= 0 || height <= 0 || planes != 1)
        throw DamagedPicture();
    if (bitsPerPixel != 1 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return {};
    const std::size_t stride = static_cast<std::size_t>((width * bitsPerPixel + 15) / 16 * 2);
    b.NeedItems(10, static_cast<std::uint64_t>(height), stride);
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPictureBytes / 4)
        throw PictureTooLarge();
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        throw PictureTooLarge();
    for (int y = 0; y < height; ++y) {
        const std::size_t row = 10 + static_cast<std::size_t>(y) * stride;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (bitsPerPixel == 1) {
                line[x] = (b.U8(row + static_cast<std::size_t>(x / 8)) >> (7 - x % 8)) & 1 ? one.rgb() : zero.rgb();
            } else {
                const std::size_t at = row + static_cast<std::size_t>(x * bitsPerPixel / 8);
                line[x] = qRgb(b.U8(at + 2), b.U8(at + 1), b.U8(at));
            }
        }
    }
    return image;
}

// ---------------------------------------------------------------------------------------------
// GDI objects and the device context

struct Pen {
    bool visible = true;
    QColor color = Qt::black;
    double width = 0; // logical units; anything below a pixel draws one pixel wide
    Qt::PenStyle style = Qt::SolidLine;
    std::vector<double> dashes; // a user style, in logical units
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    bool insideFrame = false;
};

struct Brush {
    enum Kind { Solid, Null, Hatched, Pattern } kind = Solid;
    QColor color = Qt::white;
    Qt::BrushStyle hatch = Qt::SolidPattern;
    QImage pattern;
};

struct Font {
    QFont face;
    double height = 0;  // logical units: negative the character height, positive the cell height, 0 the default
    double escapement = 0; // tenths of a degree, counter-clockwise
};

// Palettes and regions take their slot in the object table but draw nothing here.
struct OtherObject {};

using GdiObject = std::variant<Pen, Brush, Font, OtherObject>;

// Pen styles: PS_SOLID 0, PS_DASH 1, PS_DOT 2, PS_DASHDOT 3, PS_DASHDOTDOT 4, PS_NULL 5,
// PS_INSIDEFRAME 6, PS_USERSTYLE 7; end caps in bits 8-11 (round 0, square 1, flat 2); joins in
// bits 12-15 (round 0, bevel 1, mitre 2).
Pen MakePen(std::uint32_t style, double width, QColor color)
{
    Pen pen;
    pen.color = color;
    pen.width = std::abs(width);
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};
    const std::uint32_t kind = style & 0x0F;
    if (kind < 5)
        pen.style = styles[kind];
    pen.visible = kind != 5;
    pen.insideFrame = kind == 6;
    pen.cap = (style & 0x0F00) == 0x0100 ? Qt::SquareCap : (style & 0x0F00) == 0x0200 ? Qt::FlatCap : Qt::RoundCap;
    pen.join = (style & 0xF000) == 0x1000 ? Qt::BevelJoin : (style & 0xF000) == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin;
    return pen;
}

// Brush styles: BS_SOLID 0, BS_NULL 1, BS_HATCHED 2 (hatches: horizontal, vertical, "\\\\",
// "////", cross, diagonal cross), patterns 3 and 5 and 6 with their bitmap.
Brush MakeBrush(std::uint32_t style, QColor color, std::uint32_t hatch)
{
    Brush brush;
    brush.color = color;
    static const Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                             Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
    if (style == 1) {
        brush.kind = Brush::Null;
    } else if (style == 2 && hatch < 6) {
        brush.kind = Brush::Hatched;
        brush.hatch = hatches[hatch];
    }
    return brush;
}

Brush PatternBrush(const QImage& pattern)
{
    Brush brush;
    if (pattern.isNull()) {
        brush.color = Qt::gray; // a pattern of a kind not drawn here: its average, near enough
    } else {
        brush.kind = Brush::Pattern;
        brush.pattern = pattern;
    }
    return brush;
}

// A font as the toolkit's fonts are: Japanese Windows faces stand in for by the IPA fonts.
Font MakeFont(const AnsiString& faceName, double height, double escapement, int weight, bool italic, bool underline,
              bool strikeOut)
{
    TFont font;
    font.SetName(faceName);
    TFontStyles style = 0;
    if (italic)
        style |= fsItalic;
    if (underline)
        style |= fsUnderline;
    if (strikeOut)
        style |= fsStrikeOut;
    font.SetStyle(style);
    Font result;
    result.face = ToQFont(font);
    if (weight > 0)
        result.face.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    result.height = height;
    result.escapement = escapement;
    return result;
}

Font DefaultFont() { return MakeFont({}, 0, 0, 0, false, false, false); }

enum MapMode { MapText = 1, MapLoMetric, MapHiMetric, MapLoEnglish, MapHiEnglish, MapTwips, MapIsotropic, MapAnisotropic };

// SETTEXTALIGN flags.
constexpr unsigned kAlignUpdatePosition = 1, kAlignRight = 2, kAlignCenter = 6, kAlignBottom = 8, kAlignBaseline = 24;
// ExtTextOut options.
constexpr unsigned kTextOpaque = 0x2, kTextClipped = 0x4, kTextGlyphIndices = 0x10, kTextNoRect = 0x100,
                   kTextPairedAdvances = 0x2000;
// Region combinations (RGN_AND .. RGN_COPY).
enum RegionMode { RegionAnd = 1, RegionOr, RegionXor, RegionDiff, RegionCopy };

// Ternary raster operations the records use.
constexpr std::uint32_t kBlackness = 0x00000042, kWhiteness = 0x00FF0062, kPatCopy = 0x00F00021,
                        kPatInvert = 0x005A0049, kDstInvert = 0x00550009, kSrcCopy = 0x00CC0020;

QPainter::CompositionMode SourceMode(std::uint32_t rop)
{
    switch (rop) {
    case 0x00EE0086: return QPainter::RasterOp_SourceOrDestination;    // SRCPAINT
    case 0x008800C6: return QPainter::RasterOp_SourceAndDestination;   // SRCAND
    case 0x00660046: return QPainter::RasterOp_SourceXorDestination;   // SRCINVERT
    case 0x00440328: return QPainter::RasterOp_SourceAndNotDestination; // SRCERASE
    case 0x00330008: return QPainter::RasterOp_NotSource;              // NOTSRCCOPY
    case 0x001100A6: return QPainter::RasterOp_NotSourceAndNotDestination; // NOTSRCERASE
    case 0x00BB0226: return QPainter::RasterOp_NotSourceOrDestination; // MERGEPAINT
    default: return QPainter::CompositionMode_SourceOver;              // SRCCOPY; others drawn as a copy
    }
}

struct DcState {
    int mapMode = MapText;
    QPointF windowOrg{0, 0}, viewportOrg{0, 0};
    QSizeF windowExt{1, 1}, viewportExt{1, 1};
    QTransform world;
    Pen pen;
    Brush brush;
    Font font = DefaultFont();
    QColor textColor = Qt::black, backgroundColor = Qt::white;
    bool opaqueBackground = true;
    unsigned textAlign = 0;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    bool clockwiseArcs = false;
    bool smoothStretch = false; // HALFTONE; GDI's other modes copy the nearest pixel
    QPointF position;
    std::optional<QRegion> clip; // in picture pixels; none: the whole picture

    void Select(const GdiObject& object)
    {
        if (const auto* p = std::get_if<Pen>(&object))
            pen = *p;
        else if (const auto* b = std::get_if<Brush>(&object))
            brush = *b;
        else if (const auto* f = std::get_if<Font>(&object))
            font = *f;
    }
};

// An extent record's value: GDI refuses an extent with a zero side and keeps the one it had.
void SetExtent(QSizeF& extent, double width, double height)
{
    if (width != 0 && height != 0)
        extent = QSizeF(width, height);
}

void ScaleExtent(QSizeF& extent, double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0)
        SetExtent(extent, extent.width() * xNum / xDenom, extent.height() * yNum / yDenom);
}

// Takes the rectangle `frame` (device units, sides possibly negative for a flipped frame) to
// a picture of the given size.
QTransform Placement(const QRectF& frame, QSize size)
{
    const double sx = size.width() / frame.width(), sy = size.height() / frame.height();
    return QTransform(sx, 0, 0, sy, -frame.left() * sx, -frame.top() * sy);
}

// A closed polygon of four axis-parallel sides, as a rectangle maps to without a turn.
bool IsAxisRectangle(const QPolygonF& p)
{
    if (p.size() != 5 || p[0] != p[4])
        return false;
    return (p[0].x() == p[1].x() && p[1].y() == p[2].y() && p[2].x() == p[3].x() && p[3].y() == p[0].y()) ||
           (p[0].y() == p[1].y() && p[1].x() == p[2].x() && p[2].y() == p[3].y() && p[3].x() == p[0].x());
}

bool IsFinite(const QRectF& r)
{
    return std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.right()) && std::isfinite(r.bottom());
}

// The smallest rectangle holding both.
QRectF Union(const QRectF& a, const QRectF& b)
{
    return QRectF(QPointF(std::min(a.left(), b.left()), std::min(a.top(), b.top())),
                  QPointF(std::max(a.right(), b.right()), std::max(a.bottom(), b.bottom())));
}

QPainterPath PolygonPath(const std::vector<QPointF>& points, bool closed)
{
    QPainterPath path;
    if (points.empty())
        return path;
    path.moveTo(points[0]);
    for (std::size_t i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
    if (closed)
        path.closeSubpath();
    return path;
}

// The ellipse in `box` cut by the lines from its centre through `start` and `end` (GDI's arcs
// run counter-clockwise on the device unless the direction says otherwise). Qt's arc angles
// are parametric, which is also what the cutting lines give once scaled to the unit circle.
enum class ArcShape { Arc, Chord, Pie };

QPainterPath ArcPath(QRectF box, QPointF start, QPointF end, ArcShape shape, bool clockwise)
{
    box = box.normalized();
    QPainterPath path;
    const QPointF centre = box.center();
    const double rx = box.width() / 2, ry = box.height() / 2;
    if (!(rx > 0 && ry > 0))
        return path;
    auto angle = [&](QPointF p) {
        return std::atan2(-(p.y() - centre.y()) / ry, (p.x() - centre.x()) / rx) * 180 / std::numbers::pi;
    };
    const double from = angle(start);
    double sweep = angle(end) - from;
    if (clockwise)
        while (sweep >= 0)
            sweep -= 360;
    else
        while (sweep <= 0)
            sweep += 360;
    if (shape == ArcShape::Pie)
        path.moveTo(centre);
    else
        path.arcMoveTo(box, from);
    path.arcTo(box, from, sweep);
    if (shape != ArcShape::Arc)
        path.closeSubpath();
    return path;
}

// ---------------------------------------------------------------------------------------------
// Canvas: GDI's drawing calls, shared by both formats

class Canvas {
public:
    // Draws into `image`, `placement` taking device units to its pixels; without an image, only
    // measures what would be drawn (in device units). Millimetre-based mapping modes use the
    // device's resolution.
    Canvas(QImage* image, const QTransform& placement, QPointF devicePixelsPerMm)
        : image_(image), placement_(placement), pixelsPerMm_(devicePixelsPerMm)
    {
        if (image_) {
            painter_.emplace(image_);
            painter_->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        }
    }

    DcState dc;

    std::optional<QRectF> Measured() const { return measured_; }

    // Logical units to device units: the mapping mode with window and viewport.
    QTransform PageTransform() const
    {
        double sx = 1, sy = 1;
        switch (dc.mapMode) {
        case MapLoMetric: sx = pixelsPerMm_.x() / 10, sy = -pixelsPerMm_.y() / 10; break;
        case MapHiMetric: sx = pixelsPerMm_.x() / 100, sy = -pixelsPerMm_.y() / 100; break;
        case MapLoEnglish: sx = pixelsPerMm_.x() * 25.4 / 100, sy = -pixelsPerMm_.y() * 25.4 / 100; break;
        case MapHiEnglish: sx = pixelsPerMm_.x() * 25.4 / 1000, sy = -pixelsPerMm_.y() * 25.4 / 1000; break;
        case MapTwips: sx = pixelsPerMm_.x() * 25.4 / 1440, sy = -pixelsPerMm_.y() * 25.4 / 1440; break;
        case MapIsotropic:
        case MapAnisotropic:
            sx = dc.viewportExt.width() / dc.windowExt.width();
            sy = dc.viewportExt.height() / dc.windowExt.height();
            if (dc.mapMode == MapIsotropic) {
                const double s = std::min(std::abs(sx), std::abs(sy));
                sx = std::copysign(s, sx);
                sy = std::copysign(s, sy);
            }
            break;
        default: break;
        }
        return QTransform(sx, 0, 0, sy, dc.viewportOrg.x() - dc.windowOrg.x() * sx,
                          dc.viewportOrg.y() - dc.windowOrg.y() * sy);
    }

    QTransform ToPicture() const { return dc.world * PageTransform() * placement_; }

    void Save()
    {
        if (saved_.size() >= kMaxSavedStates)
            throw PictureTooLarge();
        saved_.push_back(dc);
    }

    // Negative: that many states back; positive: the state of that number, counted from 1.
    // GDI ignores a state that was never saved, and so does this.
    void Restore(std::int64_t which)
    {
        const auto count = static_cast<std::int64_t>(saved_.size());
        const std::int64_t index = which < 0 ? count + which : which - 1;
        if (which == 0 || index < 0 || index >= count)
            return;
        dc = std::move(saved_[static_cast<std::size_t>(index)]);
        saved_.resize(static_cast<std::size_t>(index));
        clipChanged_ = true;
    }

    // --- figures that start at the current position

    void MoveTo(QPointF p)
    {
        dc.position = p;
        figureOpen_ = false;
    }

    // Lines, or Bézier curves (three points each), from the current position on.
    void ContinueFigure(const std::vector<QPointF>& points, bool bezier)
    {
        const std::size_t step = bezier ? 3 : 1, used = points.size() / step * step;
        if (used == 0)
            return;
        const QTransform t = ToPicture();
        auto append = [&](QPainterPath& path) {
            for (std::size_t i = 0; i < used; i += step) {
                if (bezier)
                    path.cubicTo(t.map(points[i]), t.map(points[i + 1]), t.map(points[i + 2]));
                else
                    path.lineTo(t.map(points[i]));
            }
        };
        if (inPath_) {
            if (!figureOpen_)
                path_.moveTo(t.map(dc.position));
            figureOpen_ = true;
            append(path_);
        } else {
            QPainterPath figure(t.map(dc.position));
            append(figure);
            Paint(figure, false, true);
        }
        dc.position = points[used - 1];
    }

    // An arc that is joined to the current position by a line and becomes the current position.
    void ArcTo(const QRectF& box, QPointF start, QPointF end)
    {
        const QPainterPath arc = ArcPath(box, start, end, ArcShape::Arc, ClockwiseOnPicture());
        if (arc.isEmpty())
            return;
        ContinueFigure({arc.pointAtPercent(0)}, false);
        const QPainterPath picture = ToPicture().map(arc);
        if (inPath_)
            path_.connectPath(picture);
        else
            Paint(picture, false, true);
        dc.position = arc.currentPosition();
    }

    // --- shapes that stand on their own (logical units)

    void Shape(QPainterPath logical, bool closed)
    {
        const QTransform t = ToPicture();
        QPainterPath picture = t.map(logical);
        picture.setFillRule(dc.fillRule);
        if (inPath_) {
            path_.addPath(picture);
            figureOpen_ = false;
            return;
        }
        Paint(picture, closed, true);
    }

    void Rectangle(const QRectF& box)
    {
        QPainterPath path;
        path.addRect(FrameBox(box));
        Shape(path, true);
    }

    void Ellipse(const QRectF& box)
    {
        QPainterPath path;
        path.addEllipse(FrameBox(box));
        Shape(path, true);
    }

    // `corner`: the width and height of the ellipse that rounds the corners.
    void RoundRect(const QRectF& box, QSizeF corner)
    {
        const QRectF inside = FrameBox(box);
        QPainterPath path;
        path.addRoundedRect(inside, std::min(std::abs(corner.width()) / 2, inside.width() / 2),
                            std::min(std::abs(corner.height()) / 2, inside.height() / 2));
        Shape(path, true);
    }

    void Arc(const QRectF& box, QPointF start, QPointF end, ArcShape shape)
    {
        Shape(ArcPath(box, start, end, shape, ClockwiseOnPicture()), shape != ArcShape::Arc);
    }

    // --- the path bracket (EMF)

    void BeginPath()
    {
        path_ = QPainterPath();
        inPath_ = true;
        figureOpen_ = false;
    }
    void EndPath() { inPath_ = false; }
    void AbortPath()
    {
        path_ = QPainterPath();
        inPath_ = false;
    }
    void CloseFigure()
    {
        if (inPath_) {
            path_.closeSubpath();
            figureOpen_ = false;
        }
    }
    void DrawPath(bool fill, bool stroke)
    {
        QPainterPath path = std::exchange(path_, QPainterPath());
        inPath_ = false;
        path.setFillRule(dc.fillRule);
        Paint(path, fill, stroke);
    }
    void ClipToPath(int mode)
    {
        QPainterPath path = std::exchange(path_, QPainterPath());
        inPath_ = false;
        path.setFillRule(dc.fillRule);
        CombineClip(RegionOf(path.toFillPolygon(), dc.fillRule), mode);
    }

    // --- clipping

    void IntersectClip(const QRectF& logical)
    {
        if (!painter_)
            return;
        const QRegion r = RegionOf(ToPicture().map(QPolygonF(logical.normalized())), Qt::OddEvenFill);
        dc.clip = dc.clip ? *dc.clip & r : r;
        clipChanged_ = true;
    }
    void ExcludeClip(const QRectF& logical)
    {
        if (!painter_)
            return;
        dc.clip = Whole() - RegionOf(ToPicture().map(QPolygonF(logical.normalized())), Qt::OddEvenFill);
        clipChanged_ = true;
    }
    // Rectangles in device units (EMF regions); none with RegionCopy: no clip at all.
    void CombineDeviceRects(const std::vector<QRectF>& rects, int mode)
    {
        if (rects.empty() && mode == RegionCopy) {
            dc.clip.reset();
            clipChanged_ = true;
            return;
        }
        if (!painter_)
            return;
        Charge(static_cast<double>(rects.size()));
        std::vector<QRect> inside;
        const QRectF picture = QRectF(image_->rect()).adjusted(-1, -1, 1, 1);
        for (const QRectF& r : rects) {
            const QRectF mapped = placement_.mapRect(r.normalized()) & picture;
            if (IsFinite(mapped) && !mapped.isEmpty())
                inside.push_back(mapped.toRect());
        }
        CombineClip(UniteRects(inside, 0, inside.size()), mode);
    }

    // --- text

    // A run of text at a reference point (logical units) in the current font and text colour,
    // placed by the text alignment; `advances` (logical units, one a UTF-16 unit), when given,
    // place each character. `box` is the record's clipping or opaquing rectangle.
    void Text(QPointF reference, const QString& text, const std::vector<double>& advances, unsigned options,
              const std::optional<QRectF>& box)
    {
        if (inPath_)
            return; // text outlines are not made into paths here
        const QTransform t = ToPicture();
        if (box && (options & kTextOpaque)) {
            QPainterPath area;
            area.addPolygon(t.map(QPolygonF(box->normalized())));
            FillArea(area, QBrush(dc.backgroundColor));
        }
        if (text.isEmpty())
            return;
        if (dc.textAlign & kAlignUpdatePosition)
            reference = dc.position;

        // The text is drawn upright in its own frame: at the reference point, turned by the
        // escapement (and by a world transform's turn), stretched across as the picture is.
        const double xScale = std::hypot(t.m11(), t.m12()), yScale = std::hypot(t.m21(), t.m22());
        if (!(xScale > 0 && yScale > 0 && std::isfinite(xScale * yScale)))
            return;
        QFont face = dc.font.face;
        double pixels = dc.font.height == 0 ? kDefaultFontPixels * std::hypot(placement_.m21(), placement_.m22())
                                            : std::abs(dc.font.height) * yScale;
        if (dc.font.height > 0 && pixels <= kMaxGlyphPixels) {
            // a cell height: the character height is the font's share of it
            face.setPixelSize(100);
            const double cell = QFontMetricsF(face).height();
            if (cell > 0)
                pixels *= 100 / cell;
        }
        if (!(pixels >= 0.5 && pixels <= kMaxGlyphPixels))
            return;
        face.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
        const QFontMetricsF metrics(face);
        double width = 0;
        if (advances.empty())
            width = metrics.horizontalAdvance(text);
        else
            for (double advance : advances)
                width += advance * yScale;
        const double left = (dc.textAlign & kAlignCenter) == kAlignCenter ? -width / 2
                            : (dc.textAlign & kAlignCenter) == kAlignRight ? -width
                                                                           : 0;
        const double baseline = (dc.textAlign & kAlignBaseline) == kAlignBaseline ? 0
                                : (dc.textAlign & kAlignBaseline) == kAlignBottom ? -metrics.descent()
                                                                                  : metrics.ascent();
        double turn = std::atan2(t.m12(), t.m11()) * 180 / std::numbers::pi;
        if (turn > 90)
            turn -= 180;
        else if (turn <= -90)
            turn += 180;
        const QPointF origin = t.map(reference);
        QTransform local;
        local.translate(origin.x(), origin.y());
        local.rotate(turn - dc.font.escapement / 10);
        local.scale(xScale / yScale, 1);
        const QRectF area(left, baseline - metrics.ascent(), width, metrics.ascent() + metrics.descent());

        if (Admit(local.mapRect(area).adjusted(-1, -1, 1, 1), static_cast<std::size_t>(text.size()), kTextCost)) {
            ApplyClip();
            painter_->save();
            painter_->resetTransform();
            if (box && (options & kTextClipped)) {
                QPainterPath clip;
                clip.addPolygon(t.map(QPolygonF(box->normalized())));
                painter_->setClipPath(clip, Qt::IntersectClip);
            }
            painter_->setTransform(local);
            if (dc.opaqueBackground)
                painter_->fillRect(area, dc.backgroundColor);
            painter_->setFont(face);
            painter_->setPen(dc.textColor);
            if (advances.empty()) {
                painter_->drawText(QPointF(left, baseline), text);
            } else {
                double x = left;
                for (qsizetype i = 0; i < text.size();) {
                    const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
                    painter_->drawText(QPointF(x, baseline), text.mid(i, length));
                    for (qsizetype k = i; k < i + length && static_cast<std::size_t>(k) < advances.size(); ++k)
                        x += advances[static_cast<std::size_t>(k)] * yScale;
                    i += length;
                }
            }
            painter_->restore();
        }
        if (dc.textAlign & kAlignUpdatePosition)
            dc.position.rx() += width / yScale;
    }

    // --- bitmaps

    // Part of a bitmap (`source` in its pixels, rows top-down) into a rectangle in logical
    // units, combined with what is there by the raster operation; negative sizes mirror. A
    // source reaching outside the bitmap is cut to it.
    void Blit(const QRectF& destination, const QImage& bitmap, const QRectF& source, std::uint32_t rop)
    {
        if (inPath_ || bitmap.isNull())
            return;
        const QRectF wanted = source.normalized();
        auto clampTo = [](double v, int most) { return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(most))); };
        const int x0 = clampTo(std::floor(wanted.left()), bitmap.width()), x1 = clampTo(std::ceil(wanted.right()), bitmap.width());
        const int y0 = clampTo(std::floor(wanted.top()), bitmap.height()), y1 = clampTo(std::ceil(wanted.bottom()), bitmap.height());
        if (x1 <= x0 || y1 <= y0)
            return;
        const QRectF target = destination.normalized();
        const QTransform t = ToPicture();
        if (!Admit(t.mapRect(target), 1, kBitmapCost))
            return;
        QImage part = bitmap.copy(x0, y0, x1 - x0, y1 - y0);
        const bool flipX = (destination.width() < 0) != (source.width() < 0);
        const bool flipY = (destination.height() < 0) != (source.height() < 0);
        if (flipX || flipY)
            part = part.mirrored(flipX, flipY);
        ApplyClip();
        painter_->setTransform(t);
        painter_->setRenderHint(QPainter::SmoothPixmapTransform, dc.smoothStretch && rop == kSrcCopy);
        painter_->setCompositionMode(SourceMode(rop));
        painter_->drawImage(target, part);
        painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter_->resetTransform();
    }

    // A raster operation without a source bitmap: the brush, black, white, or the inverse of
    // what is there.
    void PatternBlit(const QRectF& destination, std::uint32_t rop)
    {
        if (inPath_)
            return;
        QBrush brush;
        QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
        switch (rop) {
        case kBlackness: brush = QBrush(Qt::black); break;
        case kWhiteness: brush = QBrush(Qt::white); break;
        case kPatCopy: brush = PictureBrush(); break;
        case kPatInvert: brush = PictureBrush(), mode = QPainter::RasterOp_SourceXorDestination; break;
        case kDstInvert: brush = QBrush(Qt::black), mode = QPainter::RasterOp_NotDestination; break;
        default: return;
        }
        QPainterPath area;
        area.addPolygon(ToPicture().map(QPolygonF(destination.normalized())));
        if (painter_)
            painter_->setCompositionMode(mode);
        FillArea(area, brush);
        if (painter_)
            painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    }

private:
    // A rectangle, ellipse or rounded rectangle's box; an inside-frame pen stays within it.
    QRectF FrameBox(const QRectF& box) const
    {
        QRectF r = box.normalized();
        if (dc.pen.insideFrame && dc.pen.visible) {
            const double half = std::min({dc.pen.width / 2, r.width() / 2, r.height() / 2});
            r.adjust(half, half, -half, -half);
        }
        return r;
    }

    bool ClockwiseOnPicture() const { return dc.clockwiseArcs != (ToPicture().determinant() < 0); }

    QBrush PictureBrush() const
    {
        switch (dc.brush.kind) {
        case Brush::Null: return QBrush();
        case Brush::Hatched: return QBrush(dc.brush.color, dc.brush.hatch);
        case Brush::Pattern: return QBrush(dc.brush.pattern);
        default: return QBrush(dc.brush.color);
        }
    }

    // The current pen in picture pixels for a path of the picture.
    QPen PicturePen(const QTransform& t, const QPainterPath& path) const
    {
        const Pen& p = dc.pen;
        const double scale = std::sqrt(std::abs(t.determinant()));
        const double widest = image_ ? 2.0 * std::max(image_->width(), image_->height()) + 2 : kMaxCoordinate;
        const double width = std::clamp(p.width * scale, 1.0, widest);
        QPen pen(p.color);
        pen.setWidthF(width);
        pen.setCapStyle(p.cap);
        pen.setJoinStyle(p.join);
        double dashSum = 0;
        for (double d : p.dashes)
            dashSum += d;
        if (!p.dashes.empty() && dashSum > 0) {
            QList<qreal> pattern;
            for (double d : p.dashes)
                pattern.append(d * scale / width);
            if (pattern.size() % 2)
                pattern.append(QList<qreal>(pattern));
            pen.setDashPattern(pattern);
        } else {
            pen.setStyle(p.style);
        }
        if (pen.style() != Qt::SolidLine) {
            double unit = 0;
            for (qreal d : pen.dashPattern())
                unit += d * width;
            if (!(unit > 0) || path.length() / unit > kMaxDashes)
                pen.setStyle(Qt::SolidLine);
        }
        return pen;
    }

    // Fills and outlines a path of the picture with the current brush and pen.
    void Paint(const QPainterPath& path, bool fill, bool stroke)
    {
        const bool filling = fill && dc.brush.kind != Brush::Null;
        const bool stroking = stroke && dc.pen.visible;
        if (!filling && !stroking)
            return;
        const QPen pen = stroking ? PicturePen(ToPicture(), path) : QPen(Qt::NoPen);
        const double margin = (stroking ? pen.widthF() : 0) / 2 + 1;
        const bool patterned = filling && dc.brush.kind != Brush::Solid;
        if (!Admit(path.boundingRect().adjusted(-margin, -margin, margin, margin),
                   static_cast<std::size_t>(path.elementCount()), patterned ? kPatternCost : 1))
            return;
        ApplyClip();
        painter_->resetTransform();
        if (filling) {
            if (dc.brush.kind == Brush::Hatched && dc.opaqueBackground)
                painter_->fillPath(path, dc.backgroundColor);
            painter_->fillPath(path, PictureBrush());
        }
        if (stroking)
            painter_->strokePath(path, pen);
    }

    void FillArea(const QPainterPath& area, const QBrush& brush)
    {
        const double cost = brush.style() == Qt::SolidPattern ? 1 : kPatternCost;
        if (brush.style() == Qt::NoBrush || !Admit(area.boundingRect().adjusted(-1, -1, 1, 1), 4, cost))
            return;
        ApplyClip();
        painter_->resetTransform();
        painter_->fillPath(area, brush);
    }

    // Whether something with these bounds (picture pixels) is drawn. Out of reach or not a
    // number: it is left out. Otherwise its share of the picture counts against the drawing
    // budget, and a picture over budget is refused. When measuring, nothing is drawn.
    bool Admit(const QRectF& bounds, std::size_t elements, double cost = 1)
    {
        for (double v : {bounds.left(), bounds.top(), bounds.right(), bounds.bottom()})
            if (!(std::abs(v) <= kMaxCoordinate))
                return false;
        bool drawn = false;
        if (!painter_) {
            measured_ = measured_ ? Union(*measured_, bounds) : bounds;
        } else {
            const QRectF visible = bounds & QRectF(image_->rect());
            drawn = visible.width() > 0 && visible.height() > 0;
            if (drawn)
                work_ += visible.width() * visible.height() * cost;
        }
        Charge(static_cast<double>(elements) + 1);
        return drawn;
    }

    void Charge(double units)
    {
        work_ += units;
        if (work_ > kMaxDrawingWork)
            throw PictureTooLarge();
    }

    // The union of many rectangles, by halves: one at a time would cost the square of their
    // number.
    static QRegion UniteRects(const std::vector<QRect>& rects, std::size_t from, std::size_t to)
    {
        if (to <= from)
            return QRegion();
        if (to - from == 1)
            return QRegion(rects[from]);
        const std::size_t middle = from + (to - from) / 2;
        return UniteRects(rects, from, middle) | UniteRects(rects, middle, to);
    }

    QRegion Whole() const { return dc.clip ? *dc.clip : QRegion(image_->rect()); }

    // A polygon of the picture as a region, cut to the picture first so that far-off corners
    // cost nothing.
    QRegion RegionOf(const QPolygonF& polygon, Qt::FillRule rule)
    {
        if (!painter_ || !IsFinite(polygon.boundingRect()))
            return QRegion();
        const QRectF picture = QRectF(image_->rect()).adjusted(-1, -1, 1, 1);
        if (IsAxisRectangle(polygon)) {
            const QRectF r = polygon.boundingRect() & picture;
            return r.isEmpty() ? QRegion() : QRegion(r.toRect());
        }
        Charge(static_cast<double>(polygon.size()));
        const QPolygonF inside = polygon.intersected(QPolygonF(picture));
        return QRegion(inside.toPolygon(), rule);
    }

    void CombineClip(const QRegion& region, int mode)
    {
        if (!painter_)
            return;
        switch (mode) {
        case RegionAnd: dc.clip = Whole() & region; break;
        case RegionOr: dc.clip = Whole() | region; break;
        case RegionXor: dc.clip = Whole() ^ region; break;
        case RegionDiff: dc.clip = Whole() - region; break;
        case RegionCopy: dc.clip = region; break;
        default: return;
        }
        clipChanged_ = true;
    }

    void ApplyClip()
    {
        if (!clipChanged_)
            return;
        clipChanged_ = false;
        painter_->resetTransform();
        if (dc.clip)
            painter_->setClipRegion(*dc.clip);
        else
            painter_->setClipping(false);
    }

    QImage* image_;
    std::optional<QPainter> painter_;
    QTransform placement_;
    QPointF pixelsPerMm_;
    std::vector<DcState> saved_;
    QPainterPath path_; // the path bracket's figures, in picture pixels
    bool inPath_ = false;
    bool figureOpen_ = false;
    bool clipChanged_ = false;
    double work_ = 0;
    std::optional<QRectF> measured_;
};

// What both formats' records start with: their kind and their size in bytes.
struct RecordHead {
    std::uint32_t kind;
    std::uint64_t bytes;
};

// Walks the records from `at` to the end record (of kind `endKind`) or to the end of the data.
// `head(at)` reads a record's kind and size; a record smaller than its own head or reaching
// past the data is damage, and so many records that no picture needs them are too large.
template <class Head, class Visit>
void ForEachRecord(const Bytes& file, std::size_t at, std::uint64_t headBytes, std::uint32_t endKind, Head&& head,
                   Visit&& visit)
{
    std::uint64_t count = 0;
    while (at < file.Size()) {
        const RecordHead record = head(at);
        if (record.bytes < headBytes || record.bytes > file.Size() - at)
            throw DamagedPicture();
        if (record.kind == endKind)
            return;
        if (++count > kMaxRecords)
            throw PictureTooLarge();
        visit(record.kind, at, static_cast<std::size_t>(record.bytes));
        at += static_cast<std::size_t>(record.bytes);
    }
}

// The pixel size of the picture: its box, or its own size when it has none.
QSize PictureSize(QSizeF natural, int targetWidth, int targetHeight)
{
    double w = targetWidth, h = targetHeight;
    if (targetWidth <= 0 || targetHeight <= 0) {
        w = std::max(1.0, std::round(std::abs(natural.width())));
        h = std::max(1.0, std::round(std::abs(natural.height())));
    }
    if (!(w <= kMaxSide && h <= kMaxSide) || w * h * 4 > static_cast<double>(kMaxPictureBytes))
        throw PictureTooLarge();
    return QSize(static_cast<int>(w), static_cast<int>(h));
}

QImage WhitePicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        throw PictureTooLarge();
    image.fill(Qt::white);
    return image;
}

// ---------------------------------------------------------------------------------------------
// WMF

// Placeable header (22 bytes, when the file starts with the key 0x9AC6CDD7): key, handle (16
// bits), bounding box left, top, right, bottom (16 bits signed, logical units), logical units
// per inch (16 bits), reserved (32), checksum (16).
// META_HEADER (18 bytes): type (1 in memory, 2 on disk), header size in 16-bit words (9),
// version (0x0100, 0x0300), file size in words (32 bits, often wrong, not used), number of
// objects (16 bits), largest record in words (32), 0 (16).
struct WmfHeader {
    bool placeable = false;
    QRectF boundingBox; // as written: sides may be negative
    int unitsPerInch = 0;
    std::size_t firstRecord = 0;
    std::size_t objectCount = 0;
};

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;

WmfHeader ReadWmfHeader(const Bytes& file)
{
    WmfHeader header;
    std::size_t at = 0;
    if (file.Has(0, 4) && file.U32(0) == kPlaceableKey) {
        header.placeable = true;
        header.boundingBox = QRectF(QPointF(file.I16(6), file.I16(8)), QPointF(file.I16(10), file.I16(12)));
        header.unitsPerInch = file.U16(14);
        if (header.unitsPerInch == 0 || header.boundingBox.width() == 0 || header.boundingBox.height() == 0)
            throw DamagedPicture();
        at = 22;
    }
    const std::uint16_t type = file.U16(at), headerWords = file.U16(at + 2), version = file.U16(at + 4);
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300))
        throw DamagedPicture();
    header.objectCount = file.U16(at + 10);
    header.firstRecord = at + 18;
    return header;
}

// Each record: size in 16-bit words (32 bits, its 6 bytes of size and function included),
// function (16 bits), parameters. The records end with META_EOF (function 0); a file that
// ends on a record's end without it plays what it has.
template <class Visit>
void ForEachWmfRecord(const Bytes& file, std::size_t at, Visit&& visit)
{
    ForEachRecord(
        file, at, 6, 0, [&](std::size_t r) { return RecordHead{file.U16(r + 4), std::uint64_t{file.U32(r)} * 2}; },
        [&](std::uint32_t function, std::size_t r, std::size_t bytes) {
            visit(static_cast<std::uint16_t>(function), file.Sub(r + 6, bytes - 6), std::uint64_t{bytes} / 2);
        });
}

// WMF parameters are 16-bit words, most often in the reverse order of the call: y before x,
// bottom before top.
QPointF WmfPoint(const Bytes& p, std::size_t at) { return QPointF(p.I16(at + 2), p.I16(at)); }

QRectF WmfBox(const Bytes& p, std::size_t at)
{
    return QRectF(QPointF(p.I16(at + 6), p.I16(at + 4)), QPointF(p.I16(at + 2), p.I16(at)));
}

// An array of points, x before y.
std::vector<QPointF> WmfPoints(const Bytes& p, std::size_t at, std::uint64_t count)
{
    p.NeedItems(at, count, 4);
    std::vector<QPointF> points;
    points.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < count; ++i)
        points.emplace_back(p.I16(at + 4 * i), p.I16(at + 4 * i + 2));
    return points;
}

class WmfPlayer {
public:
    WmfPlayer(const Bytes& file, const WmfHeader& header, Canvas& canvas)
        : file_(file), header_(header), canvas_(canvas), objects_(header.objectCount)
    {
        for (std::size_t i = 0; i < objects_.size(); ++i)
            free_.insert(free_.end(), i);
    }

    void Play()
    {
        ForEachWmfRecord(file_, header_.firstRecord,
                         [this](std::uint16_t function, const Bytes& p, std::uint64_t words) { Record(function, p, words); });
    }

private:
    // New objects take the lowest free slot of the table the header sized.
    void Create(GdiObject object)
    {
        if (free_.empty())
            throw DamagedPicture();
        objects_[*free_.begin()] = std::move(object);
        free_.erase(free_.begin());
    }

    std::size_t Index(const Bytes& p) const
    {
        const std::size_t index = p.U16(0);
        if (index >= objects_.size())
            throw DamagedPicture();
        return index;
    }

    // META_CREATEFONTINDIRECT: height, width, escapement, orientation, weight (16 bits signed),
    // italic, underline, strike-out, character set, output precision, clip precision, quality,
    // pitch and family (8 bits), face name (up to 32 bytes, ended by 0).
    Font ReadFont(const Bytes& p) const
    {
        std::string face;
        for (std::size_t i = 18; i < 50 && p.Has(i, 1) && p.U8(i) != 0; ++i)
            face += static_cast<char>(p.U8(i));
        return MakeFont(face, p.I16(0), p.I16(4), p.I16(8), p.U8(10) != 0, p.U8(11) != 0, p.U8(12) != 0);
    }

    // META_TEXTOUT: string length, the string (padded to 16 bits), y, x.
    // META_EXTTEXTOUT: y, x, string length, options, a rectangle (left, top, right, bottom)
    // with ETO_OPAQUE or ETO_CLIPPED, the string (padded), and, when the record goes on, one
    // 16-bit advance for each byte of the string.
    void TextOut(const Bytes& p, bool extended)
    {
        const std::int16_t length = p.I16(extended ? 4 : 0);
        if (length < 0)
            throw DamagedPicture();
        const auto bytes = static_cast<std::size_t>(length), padded = bytes + (bytes & 1);
        unsigned options = 0;
        std::optional<QRectF> box;
        std::size_t stringAt = 2;
        QPointF reference;
        if (extended) {
            reference = WmfPoint(p, 0);
            options = p.U16(6);
            stringAt = 8;
            if (options & (kTextOpaque | kTextClipped)) {
                box = QRectF(QPointF(p.I16(8), p.I16(10)), QPointF(p.I16(12), p.I16(14)));
                stringAt = 16;
            }
        } else {
            reference = WmfPoint(p, 2 + padded);
        }
        p.Need(stringAt, bytes);
        const std::string text(reinterpret_cast<const char*>(p.Data() + stringAt), bytes);
        std::vector<double> byteAdvances;
        const std::size_t advancesAt = stringAt + padded;
        if (extended && p.Has(advancesAt, 2 * bytes) && bytes > 0)
            for (std::size_t i = 0; i < bytes; ++i)
                byteAdvances.push_back(p.I16(advancesAt + 2 * i));
        const TextRun run = AnsiRun(text, byteAdvances);
        canvas_.Text(reference, run.text, run.advances, options, box);
    }

    // The bitmap records, with a DIB (or a Bitmap16 for META_STRETCHBLT and META_BITBLT) after
    // their fields, or without one (the record is then only its fields, the function's high
    // byte counting them) for an operation on the brush alone:
    // META_STRETCHDIB: raster operation (32 bits), colour usage, source height, width, y, x,
    //   destination height, width, y, x, DIB.
    // META_DIBSTRETCHBLT, META_STRETCHBLT: raster operation (32 bits), source height, width, y,
    //   x, destination height, width, y, x, bitmap. Without one, a reserved word comes before
    //   the destination.
    // META_DIBBITBLT, META_BITBLT: raster operation (32 bits), source y, x, height, width,
    //   destination y, x, bitmap. Without one, a reserved word comes before the height.
    // A bottom-up DIB counts the source's y from its bottom row in META_STRETCHDIB (as
    // StretchDIBits does), from its top in the others (as a bitmap in a memory device does).
    void Blit(std::uint16_t function, const Bytes& p, std::uint64_t words)
    {
        const std::uint32_t rop = p.U32(0);
        const bool withBitmap = words != (function >> 8) + 3u;
        const bool stretchDib = function == 0x0F43, stretch = function == 0x0B41 || function == 0x0B23 || stretchDib;
        const std::size_t first = stretchDib ? 6 : 4; // after the colour usage of META_STRETCHDIB
        QRectF source, destination;
        std::size_t bitmapAt;
        if (stretch) {
            source = QRectF(p.I16(first + 6), p.I16(first + 4), p.I16(first + 2), p.I16(first));
            const std::size_t d = first + 8 + (withBitmap ? 0 : 2);
            destination = QRectF(p.I16(d + 6), p.I16(d + 4), p.I16(d + 2), p.I16(d));
            bitmapAt = d + 8;
        } else {
            const std::size_t d = withBitmap ? 8 : 10;
            destination = QRectF(p.I16(d + 6), p.I16(d + 4), p.I16(d + 2), p.I16(d));
            source = QRectF(p.I16(6), p.I16(4), destination.width(), destination.height());
            bitmapAt = d + 8;
        }
        if (!withBitmap) {
            canvas_.PatternBlit(destination, rop);
            return;
        }
        QImage image;
        if (function == 0x0B23 || function == 0x0922) {
            image = DecodeBitmap16(p.From(bitmapAt), canvas_.dc.textColor, canvas_.dc.backgroundColor);
        } else {
            const Bitmap dib = DecodePackedDib(p.From(bitmapAt), stretchDib && p.U16(4) == 1);
            image = dib.image;
            if (stretchDib && dib.bottomUp)
                source.moveTop(image.height() - source.top() - source.height());
        }
        canvas_.Blit(destination, image, source, rop);
    }

    void Record(std::uint16_t function, const Bytes& p, std::uint64_t words)
    {
        DcState& dc = canvas_.dc;
        switch (function) {
        case 0x020B: dc.windowOrg = WmfPoint(p, 0); break;                        // META_SETWINDOWORG: y, x
        case 0x020C: SetExtent(dc.windowExt, p.I16(2), p.I16(0)); break;         // META_SETWINDOWEXT: height, width
        case 0x020D: dc.viewportOrg = WmfPoint(p, 0); break;                      // META_SETVIEWPORTORG
        case 0x020E: SetExtent(dc.viewportExt, p.I16(2), p.I16(0)); break;       // META_SETVIEWPORTEXT
        case 0x020F: dc.windowOrg += WmfPoint(p, 0); break;                       // META_OFFSETWINDOWORG: y, x
        case 0x0211: dc.viewportOrg += WmfPoint(p, 0); break;                     // META_OFFSETVIEWPORTORG
        case 0x0410: // META_SCALEWINDOWEXT: y denominator, y numerator, x denominator, x numerator
            ScaleExtent(dc.windowExt, p.I16(6), p.I16(4), p.I16(2), p.I16(0));
            break;
        case 0x0412: ScaleExtent(dc.viewportExt, p.I16(6), p.I16(4), p.I16(2), p.I16(0)); break; // META_SCALEVIEWPORTEXT
        case 0x0103: dc.mapMode = p.U16(0); break;                                // META_SETMAPMODE
        case 0x001E: canvas_.Save(); break;                                       // META_SAVEDC
        case 0x0127: canvas_.Restore(p.I16(0)); break;                            // META_RESTOREDC: which
        case 0x02FA: // META_CREATEPENINDIRECT: style, width (x, y: y unused), COLORREF
            Create(MakePen(p.U16(0), p.I16(2), ColorOf(p.U32(6))));
            break;
        case 0x02FC: // META_CREATEBRUSHINDIRECT: style, COLORREF, hatch
            Create(MakeBrush(p.U16(0), ColorOf(p.U32(2)), p.U16(6)));
            break;
        case 0x02FB: Create(ReadFont(p)); break;                                  // META_CREATEFONTINDIRECT
        case 0x0142: // META_DIBCREATEPATTERNBRUSH: style, colour usage, DIB
            Create(PatternBrush(DecodePackedDib(p.From(4), p.U16(0) != 3 && p.U16(2) == 1).image));
            break;
        case 0x01F9: Create(PatternBrush({})); break;                             // META_CREATEPATTERNBRUSH
        case 0x00F7:                                                              // META_CREATEPALETTE
        case 0x06FF: Create(OtherObject{}); break;                                // META_CREATEREGION
        case 0x012D: // META_SELECTOBJECT: index; an empty slot selects nothing, as in GDI
            if (const auto& object = objects_[Index(p)])
                dc.Select(*object);
            break;
        case 0x01F0: { // META_DELETEOBJECT: index
            const std::size_t index = Index(p);
            if (objects_[index]) {
                objects_[index].reset();
                free_.insert(index);
            }
            break;
        }
        case 0x0102: dc.opaqueBackground = p.U16(0) == 2; break;                  // META_SETBKMODE: 1 transparent, 2 opaque
        case 0x0201: dc.backgroundColor = ColorOf(p.U32(0)); break;              // META_SETBKCOLOR
        case 0x0209: dc.textColor = ColorOf(p.U32(0)); break;                    // META_SETTEXTCOLOR
        case 0x012E: dc.textAlign = p.U16(0); break;                              // META_SETTEXTALIGN
        case 0x0106: dc.fillRule = p.U16(0) == 2 ? Qt::WindingFill : Qt::OddEvenFill; break; // META_SETPOLYFILLMODE
        case 0x0107: dc.smoothStretch = p.U16(0) == 4; break;                    // META_SETSTRETCHBLTMODE
        case 0x0214: canvas_.MoveTo(WmfPoint(p, 0)); break;                      // META_MOVETO: y, x
        case 0x0213: canvas_.ContinueFigure({WmfPoint(p, 0)}, false); break;     // META_LINETO: y, x
        case 0x041B: canvas_.Rectangle(WmfBox(p, 0)); break; // META_RECTANGLE: bottom, right, top, left
        case 0x0418: canvas_.Ellipse(WmfBox(p, 0)); break;   // META_ELLIPSE: bottom, right, top, left
        case 0x061C: // META_ROUNDRECT: corner height, corner width, bottom, right, top, left
            canvas_.RoundRect(WmfBox(p, 4), QSizeF(p.I16(2), p.I16(0)));
            break;
        case 0x0817: // META_ARC: end y, end x, start y, start x, bottom, right, top, left
        case 0x081A: // META_PIE
        case 0x0830: // META_CHORD
            canvas_.Arc(WmfBox(p, 8), WmfPoint(p, 4), WmfPoint(p, 0),
                        function == 0x0817 ? ArcShape::Arc : function == 0x081A ? ArcShape::Pie : ArcShape::Chord);
            break;
        case 0x0324: // META_POLYGON: count, points
        case 0x0325: // META_POLYLINE
            canvas_.Shape(PolygonPath(WmfPoints(p, 2, p.U16(0)), function == 0x0324), function == 0x0324);
            break;
        case 0x0538: { // META_POLYPOLYGON: number of polygons, the count of each, all their points
            const std::size_t polygons = p.U16(0);
            p.NeedItems(2, polygons, 2);
            std::size_t at = 2 + 2 * polygons;
            QPainterPath path;
            for (std::size_t i = 0; i < polygons; ++i) {
                const std::uint16_t count = p.U16(2 + 2 * i);
                path.addPath(PolygonPath(WmfPoints(p, at, count), true));
                at += 4 * std::size_t{count};
            }
            canvas_.Shape(path, true);
            break;
        }
        case 0x0521: TextOut(p, false); break; // META_TEXTOUT
        case 0x0A32: TextOut(p, true); break;  // META_EXTTEXTOUT
        case 0x0416: canvas_.IntersectClip(WmfBox(p, 0)); break; // META_INTERSECTCLIPRECT: bottom, right, top, left
        case 0x0415: canvas_.ExcludeClip(WmfBox(p, 0)); break;   // META_EXCLUDECLIPRECT
        case 0x061D: // META_PATBLT: raster operation (32 bits), height, width, y, x
            canvas_.PatternBlit(QRectF(p.I16(10), p.I16(8), p.I16(6), p.I16(4)), p.U32(0));
            break;
        case 0x0F43: // META_STRETCHDIB
        case 0x0B41: // META_DIBSTRETCHBLT
        case 0x0940: // META_DIBBITBLT
        case 0x0B23: // META_STRETCHBLT
        case 0x0922: // META_BITBLT
            Blit(function, p, words);
            break;
        default: break; // META_ESCAPE and the rest: nothing to draw
        }
    }

    const Bytes& file_;
    const WmfHeader& header_;
    Canvas& canvas_;
    std::vector<std::optional<GdiObject>> objects_;
    std::set<std::size_t> free_;
};

// The first window and viewport a WMF sets, which say where its picture lies.
struct WmfFrameRecords {
    QPointF windowOrg, viewportOrg;
    std::optional<QSizeF> windowExt, viewportExt;
};

WmfFrameRecords FindFrameRecords(const Bytes& file, const WmfHeader& header)
{
    WmfFrameRecords found;
    bool windowOrgSet = false, viewportOrgSet = false;
    ForEachWmfRecord(file, header.firstRecord, [&](std::uint16_t function, const Bytes& p, std::uint64_t) {
        auto firstExtent = [&](std::optional<QSizeF>& extent) {
            if (!extent && p.I16(0) != 0 && p.I16(2) != 0)
                extent = QSizeF(p.I16(2), p.I16(0));
        };
        if (function == 0x020B && !std::exchange(windowOrgSet, true))
            found.windowOrg = WmfPoint(p, 0);
        else if (function == 0x020D && !std::exchange(viewportOrgSet, true))
            found.viewportOrg = WmfPoint(p, 0);
        else if (function == 0x020C)
            firstExtent(found.windowExt);
        else if (function == 0x020E)
            firstExtent(found.viewportExt);
    });
    return found;
}

// Where a WMF's picture lies. Playback starts as a player sets up a device for a metafile:
// anisotropic, the window on the picture's logical frame (the placeable header's bounding box,
// or else the window the file first sets), the viewport on its device frame (the viewport the
// file first sets, or else the same rectangle); the file's own window and viewport records then
// take over. The device frame fills the picture. A file that sets no window and has no
// placeable header does not say where its picture lies: it is measured, and what it draws is
// its frame.
QImage PlayWmf(const Bytes& file, int targetWidth, int targetHeight)
{
    const WmfHeader header = ReadWmfHeader(file);
    const WmfFrameRecords records = FindFrameRecords(file, header);
    const QPointF pixelsPerMm(kScreenPixelsPerMm, kScreenPixelsPerMm);
    const bool sized = header.placeable || records.windowExt;
    const QRectF window = header.placeable ? header.boundingBox
                          : records.windowExt ? QRectF(records.windowOrg, *records.windowExt)
                                              : QRectF(0, 0, 1, 1);
    const QRectF viewport = records.viewportExt ? QRectF(records.viewportOrg, *records.viewportExt) : window;
    auto startPlayback = [&](Canvas& canvas) {
        canvas.dc.mapMode = MapAnisotropic;
        canvas.dc.windowOrg = window.topLeft();
        canvas.dc.windowExt = window.size();
        canvas.dc.viewportOrg = viewport.topLeft();
        canvas.dc.viewportExt = viewport.size();
        WmfPlayer(file, header, canvas).Play();
    };
    QRectF frame = viewport;
    if (!sized) {
        Canvas measuring(nullptr, QTransform(), pixelsPerMm);
        startPlayback(measuring);
        const QRectF drawn = measuring.Measured().value_or(QRectF(0, 0, 1, 1));
        frame = QRectF(drawn.topLeft(), QSizeF(std::max(drawn.width(), 1.0), std::max(drawn.height(), 1.0)));
    }

    QSizeF natural;
    if (header.placeable) {
        natural = window.size() * 96.0 / header.unitsPerInch;
    } else {
        natural = QSizeF(std::abs(frame.width()), std::abs(frame.height()));
        const double longer = std::max(natural.width(), natural.height());
        if (longer > kMaxUnsizedSide)
            natural *= kMaxUnsizedSide / longer;
    }
    QImage image = WhitePicture(PictureSize(natural, targetWidth, targetHeight));
    {
        Canvas canvas(&image, Placement(frame, image.size()), pixelsPerMm);
        startPlayback(canvas);
    }
    return image;
}

// ---------------------------------------------------------------------------------------------
// EMF

// EMR_HEADER: type 1, size, bounds (RECTL, device pixels, inclusive), frame (RECTL, 0.01 mm,
// inclusive), signature " EMF" (40), version, file size, number of records, number of object
// handles (16 bits at 56; handle 0 is reserved), reserved, description length and offset,
// palette entries, the reference device's size in pixels (SIZEL at 72) and in millimetres
// (SIZEL at 80); 88 bytes, more in later versions.
struct EmfHeader {
    QRectF bounds, frame;
    QSizeF devicePixels, deviceMillimetres;
    std::size_t firstRecord = 0;
    std::size_t handles = 0;
};

constexpr std::uint32_t kEmfSignature = 0x464D4520;

bool IsEmf(const Bytes& file) { return file.Has(0, 44) && file.U32(0) == 1 && file.U32(40) == kEmfSignature; }

QRectF RectL(const Bytes& r, std::size_t at)
{
    return QRectF(QPointF(r.I32(at), r.I32(at + 4)), QPointF(r.I32(at + 8), r.I32(at + 12)));
}

QPointF PointL(const Bytes& r, std::size_t at) { return QPointF(r.I32(at), r.I32(at + 4)); }

EmfHeader ReadEmfHeader(const Bytes& file)
{
    EmfHeader header;
    const std::uint32_t size = file.U32(4);
    if (size < 88 || size > file.Size())
        throw DamagedPicture();
    header.bounds = RectL(file, 8);
    header.frame = RectL(file, 24);
    header.handles = file.U16(56);
    header.devicePixels = QSizeF(file.I32(72), file.I32(76));
    header.deviceMillimetres = QSizeF(file.I32(80), file.I32(84));
    header.firstRecord = size;
    return header;
}

// Each record: type (32 bits), size in bytes (32 bits, the 8 bytes of type and size included),
// parameters. The records end with EMR_EOF (14).
template <class Visit>
void ForEachEmfRecord(const Bytes& file, std::size_t at, Visit&& visit)
{
    ForEachRecord(
        file, at, 8, 14, [&](std::size_t r) { return RecordHead{file.U32(r), file.U32(r + 4)}; },
        [&](std::uint32_t type, std::size_t r, std::size_t bytes) { visit(type, file.Sub(r, bytes)); });
}

// An array of points: POINTL (32-bit x, y) or, in the 16-bit records, POINTS.
std::vector<QPointF> EmfPoints(const Bytes& r, std::size_t at, std::uint64_t count, bool shortPoints)
{
    const std::size_t size = shortPoints ? 4 : 8;
    r.NeedItems(at, count, size);
    std::vector<QPointF> points;
    points.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t p = at + i * size;
        points.emplace_back(shortPoints ? r.I16(p) : r.I32(p), shortPoints ? r.I16(p + 2) : r.I32(p + 4));
    }
    return points;
}

// XFORM: six 32-bit floats, M11, M12, M21, M22, Dx, Dy, the row-vector form QTransform has.
std::optional<QTransform> ReadXform(const Bytes& r, std::size_t at)
{
    const double m[] = {r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16), r.F32(at + 20)};
    for (double v : m)
        if (!std::isfinite(v))
            return std::nullopt;
    return QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
}

// A DIB of an EMF record: the offsets and sizes of its BITMAPINFO and of its pixels, from the
// start of the record, in four 32-bit fields from `at`.
Bitmap RecordDib(const Bytes& r, std::size_t at, bool paletteIndices)
{
    return DecodeDib(r.Sub(r.U32(at), r.U32(at + 4)), r.Sub(r.U32(at + 8), r.U32(at + 12)), paletteIndices);
}

// The stock objects (index with the top bit set): brushes white, light grey, grey, dark grey,
// black, null; pens white, black, null; fonts (9 is unused); palette; DC brush and pen.
std::optional<GdiObject> StockObject(std::uint32_t index)
{
    static const int greys[] = {255, 192, 128, 64, 0};
    if (index < 5)
        return MakeBrush(0, QColor(greys[index], greys[index], greys[index]), 0);
    switch (index) {
    case 5: return MakeBrush(1, Qt::white, 0);
    case 6: return MakePen(0, 0, Qt::white);
    case 7: return MakePen(0, 0, Qt::black);
    case 8: return MakePen(5, 0, Qt::black);
    case 18: return MakeBrush(0, Qt::white, 0);
    case 19: return MakePen(0, 0, Qt::black);
    default: return index >= 10 && index <= 17 && index != 15 ? std::optional<GdiObject>(DefaultFont()) : std::nullopt;
    }
}

class EmfPlayer {
public:
    EmfPlayer(const Bytes& file, const EmfHeader& header, Canvas& canvas)
        : file_(file), header_(header), canvas_(canvas), objects_(header.handles)
    {
    }

    void Play()
    {
        ForEachEmfRecord(file_, header_.firstRecord, [this](std::uint32_t type, const Bytes& r) { Record(type, r); });
    }

private:
    // Object handles are given by the records; 0 is reserved, and the header says how many.
    std::size_t Index(std::uint32_t index) const
    {
        if (index == 0 || index >= objects_.size())
            throw DamagedPicture();
        return index;
    }

    void Select(std::uint32_t index)
    {
        if (index & 0x80000000u) {
            if (const auto stock = StockObject(index & 0x7FFFFFFFu))
                canvas_.dc.Select(*stock);
        } else if (const auto& object = objects_[Index(index)]) {
            canvas_.dc.Select(*object);
        }
    }

    // EMR_EXTCREATEFONTINDIRECTW: handle, then LOGFONTW: height, width, escapement,
    // orientation, weight (32 bits signed), italic, underline, strike-out, character set, output
    // precision, clip precision, quality, pitch and family (8 bits), face name (32 UTF-16 units,
    // ended by 0); later fields are not needed.
    Font ReadFont(const Bytes& r) const
    {
        QString face;
        for (std::size_t i = 0; i < 32 && r.Has(40 + 2 * i, 2) && r.U16(40 + 2 * i) != 0; ++i)
            face += QChar(r.U16(40 + 2 * i));
        return MakeFont(FromQt(face), r.I32(12), r.I32(20), r.I32(28), r.U8(32) != 0, r.U8(33) != 0, r.U8(34) != 0);
    }

    // EMR_EXTCREATEPEN: handle, offset and size of a pattern's BITMAPINFO and pixels (not used),
    // then LOGPEN_EX: style (28), width (32), brush style (36), COLORREF (40), hatch (44),
    // number of style entries (48), the entries (32 bits each, lengths of dashes and gaps).
    Pen ReadExtPen(const Bytes& r) const
    {
        Pen pen = MakePen(r.U32(28), r.U32(32), ColorOf(r.U32(40)));
        if (r.U32(36) == 1)
            pen.visible = false; // a pen with the null brush
        const std::uint32_t entries = r.U32(48);
        r.NeedItems(52, entries, 4);
        if ((r.U32(28) & 0x0F) == 7)
            for (std::size_t i = 0; i < entries && i < 16; ++i)
                pen.dashes.push_back(r.U32(52 + 4 * i));
        return pen;
    }

    // EMR_EXTTEXTOUTW (84), EMR_EXTTEXTOUTA (83): bounds (ignored), graphics mode and two scales
    // (ignored), then EMRTEXT: reference point (36), number of characters (44), offset of the
    // string from the start of the record (48), options (52), the clipping or opaquing rectangle
    // (56; left out with ETO_NO_RECT), offset of the advances (72, or 56 without the rectangle):
    // one 32-bit advance a character, two (x, y) with ETO_PDY. Text given as glyph numbers of a
    // font we do not have is left out.
    void TextOut(const Bytes& r, bool wide)
    {
        const QPointF reference = PointL(r, 36);
        const std::uint32_t chars = r.U32(44), stringAt = r.U32(48), options = r.U32(52);
        std::optional<QRectF> box;
        std::size_t advancesField = 56;
        if (!(options & kTextNoRect)) {
            box = RectL(r, 56);
            advancesField = 72;
        }
        const std::uint32_t advancesAt = r.U32(advancesField);
        r.NeedItems(stringAt, chars, wide ? 2 : 1);
        std::vector<double> advances;
        const std::size_t step = options & kTextPairedAdvances ? 8 : 4;
        if (advancesAt != 0 && chars > 0) {
            r.NeedItems(advancesAt, chars, step);
            for (std::size_t i = 0; i < chars; ++i)
                advances.push_back(r.I32(advancesAt + step * i));
        }
        TextRun run;
        if (wide) {
            for (std::size_t i = 0; i < chars; ++i)
                run.text += QChar(r.U16(stringAt + 2 * i));
            run.advances = std::move(advances);
        } else {
            run = AnsiRun(std::string(reinterpret_cast<const char*>(r.Data() + stringAt), chars), advances);
        }
        if (options & kTextGlyphIndices)
            run = TextRun();
        canvas_.Text(reference, run.text, run.advances, options, box);
    }

    // EMR_BITBLT (76), EMR_STRETCHBLT (77): bounds, destination x, y, width, height (24..36),
    // raster operation (40), source x, y (44, 48), the source's world transform (XFORM at 52),
    // its background colour (76), colour usage (80), the DIB's offsets and sizes (84..96);
    // EMR_STRETCHBLT then the source width and height (100, 104). Without a bitmap (a
    // BITMAPINFO of size 0) the operation uses the brush alone. The source of EMR_BITBLT is as
    // large as the destination in the source's units.
    void BitBlt(const Bytes& r, bool stretch)
    {
        const QRectF destination(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        const std::uint32_t rop = r.U32(40);
        if (r.U32(88) == 0) {
            canvas_.PatternBlit(destination, rop);
            return;
        }
        const Bitmap dib = RecordDib(r, 84, r.U32(80) == 1);
        QSizeF sourceSize = destination.size();
        if (stretch) {
            sourceSize = QSizeF(r.I32(100), r.I32(104));
        } else if (const auto xform = ReadXform(r, 52); xform && xform->m11() != 0 && xform->m22() != 0) {
            sourceSize = QSizeF(sourceSize.width() * xform->m11(), sourceSize.height() * xform->m22());
        }
        canvas_.Blit(destination, dib.image, QRectF(QPointF(r.I32(44), r.I32(48)), sourceSize), rop);
    }

    // EMR_STRETCHDIBITS (81): bounds, destination x, y (24, 28), source x, y, width, height
    // (32..44), the DIB's offsets and sizes (48..60), colour usage (64), raster operation (68),
    // destination width and height (72, 76). The source's y counts from the bottom row of a
    // bottom-up DIB.
    void StretchDibits(const Bytes& r)
    {
        const Bitmap dib = RecordDib(r, 48, r.U32(64) == 1);
        QRectF source(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
        if (dib.bottomUp)
            source.moveTop(dib.image.height() - source.top() - source.height());
        canvas_.Blit(QRectF(r.I32(24), r.I32(28), r.I32(72), r.I32(76)), dib.image, source, r.U32(68));
    }

    // EMR_POLYPOLYLINE (7), EMR_POLYPOLYGON (8) and their 16-bit forms: bounds, number of
    // polygons (24), number of points (28), the count of each polygon (32), the points.
    void PolyPoly(const Bytes& r, bool closed, bool shortPoints)
    {
        const std::uint32_t polygons = r.U32(24);
        r.NeedItems(32, polygons, 4);
        std::size_t at = 32 + 4 * std::size_t{polygons};
        QPainterPath path;
        for (std::size_t i = 0; i < polygons; ++i) {
            const std::uint32_t count = r.U32(32 + 4 * i);
            path.addPath(PolygonPath(EmfPoints(r, at, count, shortPoints), closed));
            at += std::size_t{count} * (shortPoints ? 4 : 8); // within the record: just checked
        }
        canvas_.Shape(path, closed);
    }

    // EMR_EXTSELECTCLIPRGN: size of the region data (8), mode (12), then RGNDATA: a 32-byte
    // header (its size, type 1, number of rectangles at 8, size, bounds) and the rectangles
    // (RECTL, device units). No data with RGN_COPY: back to no clip.
    void SelectClipRegion(const Bytes& r)
    {
        const std::uint32_t dataSize = r.U32(8), mode = r.U32(12);
        std::vector<QRectF> rects;
        if (dataSize != 0) {
            const Bytes data = r.Sub(16, dataSize);
            const std::uint32_t count = data.U32(8);
            data.NeedItems(32, count, 16);
            for (std::size_t i = 0; i < count; ++i)
                rects.push_back(RectL(data, 32 + 16 * i));
        }
        canvas_.CombineDeviceRects(rects, static_cast<int>(mode));
    }

    void Record(std::uint32_t type, const Bytes& r)
    {
        DcState& dc = canvas_.dc;
        switch (type) {
        // EMR_POLYBEZIER (2), EMR_POLYGON (3), EMR_POLYLINE (4), EMR_POLYBEZIERTO (5),
        // EMR_POLYLINETO (6) and their 16-bit forms (85..89): bounds, number of points (24), points.
        case 2: case 85: case 3: case 86: case 4: case 87: {
            const bool shortPoints = type >= 85;
            const std::vector<QPointF> points = EmfPoints(r, 28, r.U32(24), shortPoints);
            const bool closed = type == 3 || type == 86;
            if (type == 2 || type == 85) {
                QPainterPath path;
                if (!points.empty()) {
                    path.moveTo(points[0]);
                    for (std::size_t i = 1; i + 2 < points.size(); i += 3)
                        path.cubicTo(points[i], points[i + 1], points[i + 2]);
                }
                canvas_.Shape(path, false);
            } else {
                canvas_.Shape(PolygonPath(points, closed), closed);
            }
            break;
        }
        case 5: case 88: case 6: case 89:
            canvas_.ContinueFigure(EmfPoints(r, 28, r.U32(24), type >= 85), type == 5 || type == 88);
            break;
        case 7: case 90: PolyPoly(r, false, type == 90); break;
        case 8: case 91: PolyPoly(r, true, type == 91); break;
        case 9: SetExtent(dc.windowExt, r.I32(8), r.I32(12)); break;    // EMR_SETWINDOWEXTEX: SIZEL
        case 10: dc.windowOrg = PointL(r, 8); break;                      // EMR_SETWINDOWORGEX: POINTL
        case 11: SetExtent(dc.viewportExt, r.I32(8), r.I32(12)); break;  // EMR_SETVIEWPORTEXTEX
        case 12: dc.viewportOrg = PointL(r, 8); break;                    // EMR_SETVIEWPORTORGEX
        case 17: dc.mapMode = static_cast<int>(r.U32(8)); break;          // EMR_SETMAPMODE
        case 18: dc.opaqueBackground = r.U32(8) == 2; break;              // EMR_SETBKMODE
        case 19: dc.fillRule = r.U32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill; break; // EMR_SETPOLYFILLMODE
        case 21: dc.smoothStretch = r.U32(8) == 4; break;                 // EMR_SETSTRETCHBLTMODE
        case 22: dc.textAlign = r.U32(8); break;                          // EMR_SETTEXTALIGN
        case 24: dc.textColor = ColorOf(r.U32(8)); break;                 // EMR_SETTEXTCOLOR
        case 25: dc.backgroundColor = ColorOf(r.U32(8)); break;           // EMR_SETBKCOLOR
        case 27: canvas_.MoveTo(PointL(r, 8)); break;                     // EMR_MOVETOEX
        case 29: canvas_.ExcludeClip(RectL(r, 8)); break;                 // EMR_EXCLUDECLIPRECT
        case 30: canvas_.IntersectClip(RectL(r, 8)); break;               // EMR_INTERSECTCLIPRECT
        case 31: // EMR_SCALEVIEWPORTEXTEX: x numerator, x denominator, y numerator, y denominator
            ScaleExtent(dc.viewportExt, r.I32(8), r.I32(12), r.I32(16), r.I32(20));
            break;
        case 32: ScaleExtent(dc.windowExt, r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break; // EMR_SCALEWINDOWEXTEX
        case 33: canvas_.Save(); break;                                   // EMR_SAVEDC
        case 34: canvas_.Restore(r.I32(8)); break;                        // EMR_RESTOREDC
        case 35: // EMR_SETWORLDTRANSFORM: XFORM
            if (const auto xform = ReadXform(r, 8))
                dc.world = *xform;
            break;
        case 36: // EMR_MODIFYWORLDTRANSFORM: XFORM, mode (1 identity, 2 before, 3 after, 4 set)
            if (const auto xform = ReadXform(r, 8)) {
                switch (r.U32(32)) {
                case 1: dc.world = QTransform(); break;
                case 2: dc.world = *xform * dc.world; break;
                case 3: dc.world = dc.world * *xform; break;
                case 4: dc.world = *xform; break;
                default: break;
                }
            }
            break;
        case 37: Select(r.U32(8)); break; // EMR_SELECTOBJECT: handle
        case 40: {                        // EMR_DELETEOBJECT: handle; stock objects stay
            const std::uint32_t index = r.U32(8);
            if (!(index & 0x80000000u))
                objects_[Index(index)].reset();
            break;
        }
        case 38: // EMR_CREATEPEN: handle, LOGPEN: style, width (POINTL: x used), COLORREF
            objects_[Index(r.U32(8))] = MakePen(r.U32(12), r.I32(16), ColorOf(r.U32(24)));
            break;
        case 95: objects_[Index(r.U32(8))] = ReadExtPen(r); break; // EMR_EXTCREATEPEN
        case 39: // EMR_CREATEBRUSHINDIRECT: handle, LOGBRUSH32: style, COLORREF, hatch
            objects_[Index(r.U32(8))] = MakeBrush(r.U32(12), ColorOf(r.U32(16)), r.U32(20));
            break;
        case 93: // EMR_CREATEMONOBRUSH, EMR_CREATEDIBPATTERNBRUSHPT: handle, colour usage, the
        case 94: // DIB's offsets and sizes (16..28)
            objects_[Index(r.U32(8))] = PatternBrush(RecordDib(r, 16, r.U32(12) == 1).image);
            break;
        case 82: objects_[Index(r.U32(8))] = ReadFont(r); break; // EMR_EXTCREATEFONTINDIRECTW
        case 49: objects_[Index(r.U32(8))] = OtherObject{}; break; // EMR_CREATEPALETTE: handle, LOGPALETTE
        case 42: canvas_.Ellipse(RectL(r, 8)); break;                                  // EMR_ELLIPSE: box
        case 43: canvas_.Rectangle(RectL(r, 8)); break;                                // EMR_RECTANGLE: box
        case 44: canvas_.RoundRect(RectL(r, 8), QSizeF(r.I32(24), r.I32(28))); break; // EMR_ROUNDRECT: box, corner
        case 45: case 46: case 47: // EMR_ARC, EMR_CHORD, EMR_PIE: box, start (POINTL), end
            canvas_.Arc(RectL(r, 8), PointL(r, 24), PointL(r, 32),
                        type == 45 ? ArcShape::Arc : type == 46 ? ArcShape::Chord : ArcShape::Pie);
            break;
        case 55: canvas_.ArcTo(RectL(r, 8), PointL(r, 24), PointL(r, 32)); break; // EMR_ARCTO
        case 54: canvas_.ContinueFigure({PointL(r, 8)}, false); break;            // EMR_LINETO
        case 57: dc.clockwiseArcs = r.U32(8) == 2; break;                          // EMR_SETARCDIRECTION
        case 59: canvas_.BeginPath(); break;                                       // EMR_BEGINPATH
        case 60: canvas_.EndPath(); break;                                         // EMR_ENDPATH
        case 61: canvas_.CloseFigure(); break;                                     // EMR_CLOSEFIGURE
        case 62: canvas_.DrawPath(true, false); break;                             // EMR_FILLPATH
        case 63: canvas_.DrawPath(true, true); break;                              // EMR_STROKEANDFILLPATH
        case 64: canvas_.DrawPath(false, true); break;                             // EMR_STROKEPATH
        case 67: canvas_.ClipToPath(static_cast<int>(r.U32(8))); break;            // EMR_SELECTCLIPPATH: mode
        case 68: canvas_.AbortPath(); break;                                       // EMR_ABORTPATH
        case 75: SelectClipRegion(r); break;                                       // EMR_EXTSELECTCLIPRGN
        case 76: BitBlt(r, false); break;
        case 77: BitBlt(r, true); break;
        case 81: StretchDibits(r); break;
        case 83: TextOut(r, false); break;
        case 84: TextOut(r, true); break;
        default: break; // comments, palettes, modes without effect here, and the unknown
        }
    }

    const Bytes& file_;
    const EmfHeader& header_;
    Canvas& canvas_;
    std::vector<std::optional<GdiObject>> objects_;
};

// The frame in device units: the header's frame (0.01 mm) at the reference device's pixels per
// millimetre, or, when those are missing, the bounds.
QRectF EmfDeviceFrame(const EmfHeader& header)
{
    const QRectF& f = header.frame;
    const QSizeF& px = header.devicePixels;
    const QSizeF& mm = header.deviceMillimetres;
    if (f.width() > 0 && f.height() > 0 && px.width() > 0 && px.height() > 0 && mm.width() > 0 && mm.height() > 0) {
        const double sx = px.width() / (mm.width() * 100), sy = px.height() / (mm.height() * 100);
        return QRectF(QPointF(f.left() * sx, f.top() * sy), QPointF(f.right() * sx, f.bottom() * sy));
    }
    if (header.bounds.width() >= 0 && header.bounds.height() >= 0)
        return header.bounds.adjusted(0, 0, 1, 1);
    throw DamagedPicture();
}

QImage PlayEmf(const Bytes& file, int targetWidth, int targetHeight)
{
    const EmfHeader header = ReadEmfHeader(file);
    const QRectF device = EmfDeviceFrame(header);
    QPointF pixelsPerMm(kScreenPixelsPerMm, kScreenPixelsPerMm);
    if (header.devicePixels.width() > 0 && header.devicePixels.height() > 0 && header.deviceMillimetres.width() > 0 &&
        header.deviceMillimetres.height() > 0)
        pixelsPerMm = QPointF(header.devicePixels.width() / header.deviceMillimetres.width(),
                              header.devicePixels.height() / header.deviceMillimetres.height());
    const QSizeF natural = header.frame.width() > 0 && header.frame.height() > 0
                               ? header.frame.size() * 96.0 / 2540
                               : device.size() * (kScreenPixelsPerMm / pixelsPerMm.x());
    QImage image = WhitePicture(PictureSize(natural, targetWidth, targetHeight));
    {
        Canvas canvas(&image, Placement(device, image.size()), pixelsPerMm);
        EmfPlayer(file, header, canvas).Play();
    }
    return image;
}

} // namespace

QImage PlayMetafile(const QByteArray& data, int targetWidth, int targetHeight)
{
    if (data.size() > kMaxFileBytes)
        throw PictureTooLarge();
    const Bytes file(reinterpret_cast<const unsigned char*>(data.constData()), static_cast<std::size_t>(data.size()));
    return IsEmf(file) ? PlayEmf(file, targetWidth, targetHeight) : PlayWmf(file, targetWidth, targetHeight);
}

} // namespace tk
