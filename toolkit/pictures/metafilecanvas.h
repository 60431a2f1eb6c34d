// Inside the toolkit only: the device context of GDI that metafile records draw on, shared by
// both formats. Its objects (pens, brushes, fonts) and state (mapping, colours, clip, current
// position) are kept as GDI keeps them; its drawing calls map every shape to the picture's
// pixels and hold it to the picture's limits before anything is drawn.
#pragma once

#include "metafilerecords.h"
#include "dib.h"
#include "sysutils.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTransform>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace tk::metafile {

constexpr double kScreenPixelsPerMm = 96 / 25.4;

struct Pen {
    bool visible = true;
    QColor color = Qt::black;
    double width = 0; // logical units; anything below a pixel draws one pixel wide
    Qt::PenStyle style = Qt::SolidLine;
    std::vector<double> dashes; // a user style, in logical units
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    bool insideFrame = false;

    bool operator==(const Pen&) const = default;
};

struct Brush {
    enum Kind { Solid, Null, Hatched, Pattern } kind = Solid;
    QColor color = Qt::white;
    Qt::BrushStyle hatch = Qt::SolidPattern;
    QImage pattern;
    // A monochrome pattern (Format_Mono) whose 0 and 1 bits take the text and background
    // colours of the device context it is drawn in, as GDI draws monochrome pattern brushes.
    bool monochrome = false;
};

struct Font {
    QFont face;
    double height = 0;  // logical units: negative the character height, positive the cell height, 0 the default
    double escapement = 0; // tenths of a degree, counter-clockwise
    // The LOGFONT character set its ANSI text is read in; none for a font of pictures
    // (Wingdings and the like), whose characters no font here holds: its text is left out.
    std::optional<std::uint8_t> charset = kDefaultCharset;
};

// A logical palette: the colours that palette indices of bitmaps refer to.
struct Palette {
    std::vector<QRgb> colors;

    // SetPaletteEntries: entries from `first` on, as far as the palette reaches.
    void Set(std::size_t first, const std::vector<QRgb>& entries)
    {
        for (std::size_t i = 0; i < entries.size() && first + i < colors.size(); ++i)
            colors[first + i] = entries[i];
    }
    // ResizePalette: new entries are black. No palette needs more than 1024 of them.
    void Resize(std::size_t count) { colors.resize(std::min<std::size_t>(count, 1024), qRgb(0, 0, 0)); }
};

// Regions take their slot in the object table but draw nothing here.
struct OtherObject {};

using GdiObject = std::variant<Pen, Brush, Font, Palette, OtherObject>;
// A player's objects by slot (WMF) or handle (EMF); an empty one holds none.
using ObjectTable = std::vector<std::optional<GdiObject>>;

// Pen styles: PS_SOLID 0, PS_DASH 1, PS_DOT 2, PS_DASHDOT 3, PS_DASHDOTDOT 4, PS_NULL 5,
// PS_INSIDEFRAME 6, PS_USERSTYLE 7; end caps in bits 8-11 (round 0, square 1, flat 2); joins in
// bits 12-15 (round 0, bevel 1, mitre 2).
Pen MakePen(std::uint32_t style, double width, QColor color);

// Brush styles: BS_SOLID 0, BS_NULL 1, BS_HATCHED 2 (hatches: horizontal, vertical, "\\\\",
// "////", cross, diagonal cross), patterns 3 and 5 and 6 with their bitmap.
Brush MakeBrush(std::uint32_t style, QColor color, std::uint32_t hatch);

// A pattern brush of the bitmap given; a null bitmap is one of a kind not drawn here. A
// monochrome one is drawn in the text and background colours.
Brush PatternBrush(const QImage& pattern, bool monochrome = false);

// What both formats' font records (LOGFONT) say of a font.
struct LogFont {
    AnsiString faceName;
    double height = 0, escapement = 0;
    int weight = 0;
    bool italic = false, underline = false, strikeOut = false;
    std::uint8_t charset = kDefaultCharset;
};

// LOGFONT at `at` of a record: height, width, escapement, orientation, weight (16 bits each in
// WMF, 32 in EMF: `wide`), italic, underline, strike-out, character set, output precision, clip
// precision, quality, pitch and family (a byte each), the face name (32 bytes of ANSI in WMF,
// 32 UTF-16 units in EMF, ended by 0).
LogFont ReadLogFont(const Bytes& r, std::size_t at, bool wide);

// A font as the toolkit's fonts are: Japanese Windows faces stand in for by the IPA fonts. The
// Symbol font's characters are drawn in DejaVu Sans, which holds them all.
Font MakeFont(const LogFont& logFont);

inline Font DefaultFont() { return MakeFont({}); }

enum MapMode { MapText = 1, MapLoMetric, MapHiMetric, MapLoEnglish, MapHiEnglish, MapTwips, MapIsotropic, MapAnisotropic };

// SETTEXTALIGN flags.
constexpr unsigned kAlignUpdatePosition = 1, kAlignRight = 2, kAlignCenter = 6, kAlignBottom = 8, kAlignBaseline = 24;
// ExtTextOut options.
constexpr unsigned kTextOpaque = 0x2, kTextClipped = 0x4, kTextGlyphIndices = 0x10, kTextNoRect = 0x100,
                   kTextPairedAdvances = 0x2000;
// Region combinations (RGN_AND .. RGN_COPY).
enum RegionMode { RegionAnd = 1, RegionOr, RegionXor, RegionDiff, RegionCopy };

// Ternary raster operations: each is known by its index, the third byte of its code.
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
// The operation that leaves the destination as it is (D), by its index.
constexpr std::uint8_t kKeepDestination = 0xAA;

// How a bitmap is combined with what is under it.
struct BlitOptions {
    std::uint32_t rop = kSrcCopy; // where a mask has 1 bits, or everywhere without one
    // A mask, rows top-down, white where its bits are 1, and the operation (by its index) where
    // they are 0; the source's pixel (0, 0) lies on the mask's `maskOrigin`.
    const QImage* mask = nullptr;
    QPointF maskOrigin;
    std::uint8_t maskedRop = kKeepDestination;
    double opacity = 1; // AlphaBlend's constant alpha, 0 to 1
    // TransparentBlt's colour: source pixels of it are not drawn.
    std::optional<QRgb> transparent;
};

// The affine map taking a rectangle onto another (their sides may be negative: mirrored).
QTransform RectMapping(const QRectF& from, const QRectF& to);
// The affine map taking a rectangle's top left, top right and bottom left corners to three
// points.
QTransform ParallelogramMapping(const QRectF& from, QPointF topLeft, QPointF topRight, QPointF bottomLeft);

// What a device context holds, as SaveDC keeps and RestoreDC brings it back.
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
    // The selected palette's slot or handle in the player's object table; none: the default.
    std::optional<std::size_t> palette;

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

// The palette a device context has selected from the objects, none for GDI's default one.
Palette* SelectedPalette(const DcState& dc, ObjectTable& objects);

// How a record's DIB is decoded in a device context: in the colours its usage says
// (DIB_RGB_COLORS 0; DIB_PAL_COLORS 1, indices into the selected palette; DIB_PAL_INDICES 2,
// monochrome in the text and background colours), every pixel opaque, at its own size.
DibOptions BitmapOptions(const DcState& dc, ObjectTable& objects, std::uint32_t usage);

// An extent record's value: GDI refuses an extent with a zero side and keeps the one it had.
void SetExtent(QSizeF& extent, double width, double height);
void ScaleExtent(QSizeF& extent, double xNum, double xDenom, double yNum, double yDenom);

// Takes the rectangle `frame` (device units, sides possibly negative for a flipped frame) to
// a picture of the given size.
QTransform Placement(const QRectF& frame, QSize size);

QPainterPath PolygonPath(const std::vector<QPointF>& points, bool closed);

// How an arc is closed: not at all, by its chord, or by the two radii to its ends.
enum class ArcShape { Arc, Chord, Pie };

// The pixel size of the picture: its box, or its own size when it has none. Raises
// PictureTooLarge beyond the picture limits.
QSize PictureSize(QSizeF natural, int targetWidth, int targetHeight);
// A white picture of that size.
QImage WhitePicture(QSize size);

// GDI's drawing calls on a device context, shared by both formats.
class Canvas {
public:
    // Draws into `image`, `placement` taking device units to its pixels; without an image, only
    // measures what would be drawn (in device units). Millimetre-based mapping modes use the
    // device's resolution.
    Canvas(QImage* image, const QTransform& placement, QPointF devicePixelsPerMm);

    DcState dc;

    std::optional<QRectF> Measured() const { return measured_; }

    // Counts a record skipped for damage against the drawing work.
    void RecordSkipped();

    // Logical units to device units: the mapping mode with window and viewport.
    QTransform PageTransform() const;

    QTransform ToPicture() const { return dc.world * PageTransform() * placement_; }

    void Save();

    // Negative: that many states back; positive: the state of that number, counted from 1.
    // GDI ignores a state that was never saved, and so does this.
    void Restore(std::int64_t which);

    // --- figures that start at the current position

    void MoveTo(QPointF p);

    // Lines, or Bézier curves (three points each), from the current position on.
    void ContinueFigure(const std::vector<QPointF>& points, bool bezier);

    // An arc that is joined to the current position by a line and becomes the current position.
    void ArcTo(const QRectF& box, QPointF start, QPointF end);
    // The same for an arc of a circle from an angle, sweeping counter-clockwise for a positive
    // sweep (degrees; more than a turn sweeps round again).
    void AngleArc(QPointF centre, double radius, double startAngle, double sweepAngle);

    // PolyDraw: figures of lines and Bézier curves from the current position, each point with
    // its type (PT_MOVETO, PT_LINETO, PT_BEZIERTO, each possibly with PT_CLOSEFIGURE). Raises
    // DamagedData for types that do not make figures.
    void PolyDraw(const std::vector<QPointF>& points, const std::vector<std::uint8_t>& types);

    // --- shapes that stand on their own (logical units)

    void Shape(const QPainterPath& logical, bool closed);
    // A polygon (closed, filled) or a polyline.
    void Polygon(const std::vector<QPointF>& points, bool closed);

    void Rectangle(const QRectF& box);

    void Ellipse(const QRectF& box);

    // `corner`: the width and height of the ellipse that rounds the corners.
    void RoundRect(const QRectF& box, QSizeF corner);

    void Arc(const QRectF& box, QPointF start, QPointF end, ArcShape shape);

    // --- the path bracket (EMF)

    void BeginPath();
    void EndPath() { inPath_ = false; }
    void AbortPath();
    void CloseFigure();
    void DrawPath(bool fill, bool stroke);
    void ClipToPath(int mode);

    // --- clipping

    void IntersectClip(const QRectF& logical);
    void ExcludeClip(const QRectF& logical);
    // Rectangles in device units (EMF regions); none with RegionCopy: no clip at all.
    void CombineDeviceRects(const std::vector<QRectF>& rects, int mode);

    // --- regions: rectangles in logical units, as FillRgn and its kin take them

    void FillRegion(const std::vector<QRectF>& rects, const Brush& brush);
    // The inside border of the region, `border` wide and high, in the brush.
    void FrameRegion(const std::vector<QRectF>& rects, const Brush& brush, QSizeF border);
    void InvertRegion(const std::vector<QRectF>& rects);

    // --- gradients (GradientFill): colours between points in logical units

    struct GradientPoint {
        QPointF point;
        QColor color;
    };
    // The rectangle with corners `a` and `b`, its colour going from a's to b's across (or down).
    void GradientRectangle(const GradientPoint& a, const GradientPoint& b, bool vertical);
    // The triangle, each pixel's colour weighted by its nearness to the corners.
    void GradientTriangle(const GradientPoint& a, const GradientPoint& b, const GradientPoint& c);

    // --- text

    // A run of text at a reference point (logical units) in the current font and text colour,
    // placed by the text alignment; `advances` (logical units, one a UTF-16 unit), when given,
    // place each character. `box` is the record's clipping or opaquing rectangle.
    void Text(QPointF reference, const QString& text, const std::vector<double>& advances, unsigned options,
              const std::optional<QRectF>& box);

    // --- bitmaps

    // Part of a bitmap (`source`, in the bitmap's own pixels, rows from the top) drawn where
    // `toPicture` takes those pixels on the picture, combined with what is there as the options
    // say. A source reaching outside the bitmap is cut to it, and with it what it is drawn to.
    // The bitmap may have been decoded smaller than its own size.
    void Blit(const QTransform& toPicture, const DecodedDib& bitmap, const QRectF& source, const BlitOptions& options);
    // The box a bitmap of `size` pixels is best decoded to when `toPicture` takes its pixels to
    // the picture: its size there, or none (its own size) where that is not smaller.
    static QSize BitmapBox(const QTransform& toPicture, QSize size);

    // A raster operation without a source bitmap on a rectangle of logical units: the brush,
    // black, white, or the inverse of what is there.
    void PatternBlit(const QRectF& destination, std::uint32_t rop);

    // Logical units to device units (world and page transforms), and device units to the
    // picture's pixels.
    QTransform ToDevice() const { return dc.world * PageTransform(); }
    const QTransform& Placement() const { return placement_; }

private:
    // A shape as QPainter draws it, in the units of the transform it is drawn under. QPainter's
    // own rectangles, ellipses and polygons draw much faster than the same shapes as paths.
    struct Figure {
        enum Kind { Rect, Ellipse, RoundRect, Polygon, Polyline, Path } kind;
        QRectF box;                               // Rect, Ellipse, RoundRect
        QSizeF radii;                             // RoundRect
        const std::vector<QPointF>* points = nullptr; // Polygon, Polyline
        const QPainterPath* path = nullptr;       // Path

        // The bounds of its control points: the shape lies within them.
        QRectF Bounds() const;
        // No shorter than its outline.
        double OutlineLength() const;
        std::size_t Elements() const;
        QPainterPath ToPath() const;
    };

    // A figure of logical units, added to the path bracket or painted.
    void Draw(const Figure& figure, bool closed);

    // A rectangle, ellipse or rounded rectangle's box; an inside-frame pen stays within it.
    QRectF FrameBox(const QRectF& box) const;

    bool ClockwiseOnPicture() const { return dc.clockwiseArcs != (ToPicture().determinant() < 0); }

    QBrush PictureBrush(const Brush& brush) const;
    QBrush PictureBrush() const { return PictureBrush(dc.brush); }

    // Figures in logical units from the current position, appended to the path bracket or
    // outlined with the pen; `end` becomes the current position.
    void Figures(const QPainterPath& logical, QPointF end);
    // An arc (logical units) joined to the current position by a line.
    QPainterPath JoinedArc(const QPainterPath& arc) const;

    // The width of the current pen in picture pixels, under `t`, and the pen itself, its width in
    // picture pixels, for an outline of `length` picture pixels at most.
    double PenPixels(const QTransform& t) const;
    QPen PicturePen(const QTransform& t, double width, double length);

    // Fills a figure drawn under `t` with a brush (none: no fill) and outlines it with the pen.
    // Nothing of it reaches Qt unless all its control points are within reach.
    void Paint(const Figure& figure, const QTransform& t, const Brush* fill, bool stroke);
    // One raster operation (by its index) of a blit under the painter's transform: the bitmap's
    // `part` (its own pixels) from `image`'s `imagePart`, or the brush on that rectangle.
    void RasterBlit(std::uint8_t index, const QRectF& part, const QImage& image, const QRectF& imagePart, double opacity);
    // Draws a figure with the painter's pen and brush.
    void DrawFigure(const Figure& figure);
    // A path of logical units, painted.
    void PaintPath(const QPainterPath& logical, const Brush* fill, bool stroke);
    // Region rectangles (logical units) as one path.
    static QPainterPath RegionPath(const std::vector<QRectF>& rects);
    // Sets the painter's transform, when it is not the one it has.
    void UseTransform(const QTransform& t);

    // Fills an area of the picture (a polygon in its pixels) with a brush.
    void FillArea(const QPolygonF& area, const QBrush& brush);

    // Whether something with these bounds (picture pixels) is drawn. Out of reach or not a
    // number: it is left out. Otherwise its share of the picture counts against the drawing
    // budget, and a picture over budget is refused. When measuring, nothing is drawn.
    bool Admit(const QRectF& bounds, std::size_t elements, double cost = 1);

    void Charge(double units);

    // The union of many rectangles, by halves: one at a time would cost the square of their
    // number.
    static QRegion UniteRects(const std::vector<QRect>& rects, std::size_t from, std::size_t to);

    QRegion Whole() const { return dc.clip ? *dc.clip : QRegion(image_->rect()); }

    // A polygon of the picture as a region, cut to the picture first so that far-off corners
    // cost nothing.
    QRegion RegionOf(const QPolygonF& polygon, Qt::FillRule rule);

    void CombineClip(const QRegion& region, int mode);

    void ApplyClip();

    QImage* image_;
    std::optional<QPainter> painter_;
    QTransform placement_;
    QPointF pixelsPerMm_;
    std::vector<DcState> saved_;
    QTransform painterTransform_; // what the painter has
    // The last solid pen made for the painter, and what it was made from: most records draw
    // with the pen the one before drew with.
    Pen madePen_;
    double madePenWidth_ = -1;
    QPen madeQPen_;
    QPainterPath path_; // the path bracket's figures, in picture pixels
    bool inPath_ = false;
    bool figureOpen_ = false;
    bool clipChanged_ = false;
    double work_ = 0;
    std::optional<QRectF> measured_;
};

} // namespace tk::metafile
