// The device context of GDI over QPainter: the drawing calls of metafile records, each shape
// mapped from logical units through the world transform (EMF) and the page transform (mapping
// mode, window and viewport) to device units, and from there by the placement to the picture's
// pixels: the picture's frame in device units fills the picture. Every shape is mapped to
// picture pixels before it is drawn, so pens, limits and costs are all judged in the pixels
// that are painted.
#include "metafilecanvas.h"

#include "decoding.h"
#include "qtbridge.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace tk::metafile {

namespace {

// Limits. A small file can ask for a great deal of work; these bound what one picture may cost.
constexpr int kMaxSide = 16384;
constexpr std::size_t kMaxSavedStates = 4096;
// Picture pixels covered by all shapes together (each counted by its box within the picture,
// times what a pixel of it costs to draw), plus one for each point and record drawn: about a
// second of drawing.
constexpr double kMaxDrawingWork = 1e9;
// What a pixel costs, against a pixel of a plain fill: measured on Qt's raster engine.
constexpr double kPatternCost = 3, kTextCost = 2, kBitmapCost = 4, kGradientCost = 5;
// Shapes reaching further than this from the picture, in its pixels, are left out: no picture
// needs them, and the rasterizer's fixed-point coordinates would overflow.
constexpr double kMaxCoordinate = 1 << 22;
// Text taller than this is left out: every glyph would be rendered at that size.
constexpr double kMaxGlyphPixels = 4096;
// A dashed line with more dashes than this is drawn solid.
constexpr double kMaxDashes = 100000;
// The height of the font a device context starts with, in device pixels.
constexpr double kDefaultFontPixels = 16;

// What a ternary raster operation does, by its index: the index is the operation's truth table
// over the pattern (0xF0), the source (0xCC) and the destination (0xAA). Those with the source
// are drawn through a composition mode, others as a copy; those without it fill with the brush,
// black or white, or invert what is there; D leaves it.
struct RasterOp {
    enum Uses { Source, Fill, Nothing } uses = Nothing;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    enum Filler { WithBrush, Black, White } filler = WithBrush;
};

RasterOp RasterOpOf(std::uint8_t index)
{
    using M = QPainter::CompositionMode;
    auto source = [](M mode) { return RasterOp{RasterOp::Source, mode}; };
    auto fill = [](RasterOp::Filler filler, M mode = QPainter::CompositionMode_SourceOver) {
        return RasterOp{RasterOp::Fill, mode, filler};
    };
    switch (index) {
    case 0xEE: return source(QPainter::RasterOp_SourceOrDestination);        // SRCPAINT
    case 0x88: return source(QPainter::RasterOp_SourceAndDestination);       // SRCAND
    case 0x66: return source(QPainter::RasterOp_SourceXorDestination);       // SRCINVERT
    case 0x44: return source(QPainter::RasterOp_SourceAndNotDestination);    // SRCERASE
    case 0x33: return source(QPainter::RasterOp_NotSource);                  // NOTSRCCOPY
    case 0x11: return source(QPainter::RasterOp_NotSourceAndNotDestination); // NOTSRCERASE
    case 0xBB: return source(QPainter::RasterOp_NotSourceOrDestination);     // MERGEPAINT
    case 0x00: return fill(RasterOp::Black);                                 // BLACKNESS
    case 0xFF: return fill(RasterOp::White);                                 // WHITENESS
    case 0xF0: return fill(RasterOp::WithBrush);                             // PATCOPY
    case 0x5A: return fill(RasterOp::WithBrush, QPainter::RasterOp_SourceXorDestination); // PATINVERT
    case 0x55: return fill(RasterOp::Black, QPainter::RasterOp_NotDestination);           // DSTINVERT
    case kKeepDestination: return {};
    default:
        // The source matters when flipping its bit changes the result.
        if (((index >> 2) & 0x33) != (index & 0x33))
            return source(QPainter::CompositionMode_SourceOver);
        return {};
    }
}

std::uint8_t RopIndex(std::uint32_t rop) { return static_cast<std::uint8_t>(rop >> 16); }

// A mask's 1 bits within `area` (its pixels) as a region, one rectangle for each run of a row.
QRegion MaskRegion(const QImage& mask, const QRect& area)
{
    const QRect inside = area & mask.rect();
    std::vector<QRect> runs;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = inside.left(); x <= inside.right();) {
            if (qRed(line[x]) < 128) {
                ++x;
                continue;
            }
            const int start = x;
            while (x <= inside.right() && qRed(line[x]) >= 128)
                ++x;
            runs.emplace_back(start, y, x - start, 1);
        }
    }
    QRegion region;
    // Rows in order and runs within a row apart: the banded form QRegion::setRects takes as it is.
    region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
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

// Whether every side of `r` lies within reach of the picture: finite, and no further than the
// rasterizer's coordinates hold.
bool InReach(const QRectF& r)
{
    for (double v : {r.left(), r.top(), r.right(), r.bottom()})
        if (!(std::abs(v) <= kMaxCoordinate))
            return false;
    return true;
}

// Whether every point of a path, control points included, is within reach. A curve lies
// within its control points, so nothing of it reaches further. Each point is looked at, since
// QPainterPath's own bounds pass over coordinates that are not numbers.
bool InReach(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (!(std::abs(e.x) <= kMaxCoordinate && std::abs(e.y) <= kMaxCoordinate))
            return false;
    }
    return true;
}

// An upper bound of a path's length: no curve is longer than the polygon of its control points.
// QPainterPath::length() would flatten the curves, which for a curve of huge coordinates never
// ends.
double ControlLength(const QPainterPath& path)
{
    double length = 0;
    for (int i = 1; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (!e.isMoveTo()) {
            const QPainterPath::Element& before = path.elementAt(i - 1);
            length += std::hypot(e.x - before.x, e.y - before.y);
        }
    }
    return length;
}

bool AllFinite(const QPolygonF& polygon)
{
    return std::all_of(polygon.begin(), polygon.end(), [](QPointF p) { return std::isfinite(p.x()) && std::isfinite(p.y()); });
}

// The part of a polygon inside `box` (Sutherland and Hodgman, one side of the box at a time);
// nothing for a polygon with a point that is not a number.
// Edges that come to run along the box's sides add no area under either fill rule, so the
// result fills as the polygon did within the box, whatever the size of its coordinates.
QPolygonF ClipPolygon(const QPolygonF& polygon, const QRectF& box)
{
    if (!AllFinite(polygon))
        return {};
    QPolygonF out = polygon;
    if (!out.isEmpty() && out.first() != out.last())
        out << out.first();
    // Each side: the coordinate it bounds (x or y), its value, and whether inside is below it.
    struct Side {
        bool onX;
        double limit;
        bool below;
    };
    const Side sides[] = {{true, box.left(), false}, {true, box.right(), true}, {false, box.top(), false}, {false, box.bottom(), true}};
    for (const Side& side : sides) {
        if (out.size() < 2)
            return {};
        const double limit = side.limit;
        auto value = [&side](QPointF p) { return side.onX ? p.x() : p.y(); };
        auto inside = [&](QPointF p) { return side.below ? value(p) <= limit : value(p) >= limit; };
        QPolygonF next;
        for (qsizetype i = 0; i + 1 < out.size(); ++i) {
            const QPointF a = out[i], b = out[i + 1];
            if (inside(a))
                next << a;
            if (inside(a) != inside(b)) {
                const double t = (limit - value(a)) / (value(b) - value(a));
                next << a + (b - a) * t;
            }
        }
        if (!next.isEmpty())
            next << next.first();
        out = std::move(next);
    }
    return out;
}

// The symbol fonts whose characters are small pictures of their own, not the Symbol font's.
bool IsPictureFont(const AnsiString& faceName)
{
    std::string lower;
    for (char c : faceName)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower.starts_with("wingdings") || lower.starts_with("webdings") || lower == "marlett";
}

// The smallest rectangle holding both.
QRectF Union(const QRectF& a, const QRectF& b)
{
    return QRectF(QPointF(std::min(a.left(), b.left()), std::min(a.top(), b.top())),
                  QPointF(std::max(a.right(), b.right()), std::max(a.bottom(), b.bottom())));
}

// The ellipse in `box` cut by the lines from its centre through `start` and `end` (GDI's arcs
// run counter-clockwise on the device unless the direction says otherwise). Qt's arc angles
// are parametric, which is also what the cutting lines give once scaled to the unit circle.
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

} // namespace

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

Brush PatternBrush(const QImage& pattern, bool monochrome)
{
    Brush brush;
    if (pattern.isNull()) {
        brush.color = Qt::gray; // a pattern of a kind not drawn here: its average, near enough
    } else {
        brush.kind = Brush::Pattern;
        brush.monochrome = monochrome;
        brush.pattern = monochrome ? pattern.convertToFormat(QImage::Format_Mono, {qRgb(0, 0, 0), qRgb(255, 255, 255)})
                                   : pattern;
    }
    return brush;
}

Palette* SelectedPalette(const DcState& dc, ObjectTable& objects)
{
    if (dc.palette && *dc.palette < objects.size() && objects[*dc.palette])
        return std::get_if<Palette>(&*objects[*dc.palette]);
    return nullptr;
}

DibOptions BitmapOptions(const DcState& dc, ObjectTable& objects, std::uint32_t usage)
{
    DibOptions options;
    options.colors = usage == 1 ? DibColors::PaletteIndices : usage == 2 ? DibColors::NoTable : DibColors::Rgb;
    if (const Palette* palette = SelectedPalette(dc, objects))
        options.palette = palette->colors;
    options.zero = dc.textColor.rgb();
    options.one = dc.backgroundColor.rgb();
    options.alpha = DibAlpha::Ignored;
    return options;
}

QTransform RectMapping(const QRectF& from, const QRectF& to)
{
    const double sx = to.width() / from.width(), sy = to.height() / from.height();
    return QTransform(sx, 0, 0, sy, to.left() - from.left() * sx, to.top() - from.top() * sy);
}

QTransform ParallelogramMapping(const QRectF& from, QPointF topLeft, QPointF topRight, QPointF bottomLeft)
{
    const QPointF across = (topRight - topLeft) / from.width(), down = (bottomLeft - topLeft) / from.height();
    const QPointF origin = topLeft - across * from.left() - down * from.top();
    return QTransform(across.x(), across.y(), down.x(), down.y(), origin.x(), origin.y());
}

LogFont ReadLogFont(const Bytes& r, std::size_t at, bool wide)
{
    const std::size_t field = wide ? 4 : 2, bytes = at + 5 * field, face = bytes + 8;
    auto number = [&](int i) { return wide ? r.I32(at + field * i) : r.I16(at + field * i); };
    LogFont font;
    font.height = number(0);
    font.escapement = number(2);
    font.weight = number(4);
    font.italic = r.U8(bytes) != 0;
    font.underline = r.U8(bytes + 1) != 0;
    font.strikeOut = r.U8(bytes + 2) != 0;
    font.charset = r.U8(bytes + 3);
    if (wide) {
        QString name;
        for (std::size_t i = 0; i < 32 && r.Has(face + 2 * i, 2) && r.U16(face + 2 * i) != 0; ++i)
            name += QChar(r.U16(face + 2 * i));
        font.faceName = FromQt(name);
    } else {
        for (std::size_t i = 0; i < 32 && r.Has(face + i, 1) && r.U8(face + i) != 0; ++i)
            font.faceName += static_cast<char>(r.U8(face + i));
    }
    return font;
}

Font MakeFont(const LogFont& logFont)
{
    TFont font;
    font.SetName(logFont.faceName);
    TFontStyles style = 0;
    if (logFont.italic)
        style |= fsItalic;
    if (logFont.underline)
        style |= fsUnderline;
    if (logFont.strikeOut)
        style |= fsStrikeOut;
    font.SetStyle(style);
    Font result;
    result.face = ToQFont(font);
    if (logFont.weight > 0)
        result.face.setWeight(static_cast<QFont::Weight>(std::clamp(logFont.weight, 1, 1000)));
    result.height = logFont.height;
    result.escapement = logFont.escapement;
    result.charset = logFont.charset;
    if (logFont.charset == kSymbolCharset) {
        if (IsPictureFont(logFont.faceName))
            result.charset.reset();
        else
            result.face.setFamily(QStringLiteral("DejaVu Sans"));
    }
    return result;
}

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

QTransform Placement(const QRectF& frame, QSize size)
{
    const double sx = size.width() / frame.width(), sy = size.height() / frame.height();
    return QTransform(sx, 0, 0, sy, -frame.left() * sx, -frame.top() * sy);
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

Canvas::Canvas(QImage* image, const QTransform& placement, QPointF devicePixelsPerMm)
    : image_(image), placement_(placement), pixelsPerMm_(devicePixelsPerMm)
{
    if (image_) {
        painter_.emplace(image_);
        painter_->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    }
}

QTransform Canvas::PageTransform() const
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

void Canvas::Save()
{
    if (saved_.size() >= kMaxSavedStates)
        throw BeyondLimits();
    saved_.push_back(dc);
}

void Canvas::Restore(std::int64_t which)
{
    const auto count = static_cast<std::int64_t>(saved_.size());
    const std::int64_t index = which < 0 ? count + which : which - 1;
    if (which == 0 || index < 0 || index >= count)
        return;
    dc = std::move(saved_[static_cast<std::size_t>(index)]);
    saved_.resize(static_cast<std::size_t>(index));
    clipChanged_ = true;
}

void Canvas::MoveTo(QPointF p)
{
    dc.position = p;
    figureOpen_ = false;
}

void Canvas::Figures(const QPainterPath& logical, QPointF end)
{
    if (inPath_) {
        const QPainterPath picture = ToPicture().map(logical);
        // An open figure goes on from the current position; otherwise one starts there.
        if (figureOpen_)
            path_.connectPath(picture);
        else
            path_.addPath(picture);
        figureOpen_ = !logical.elementAt(logical.elementCount() - 1).isMoveTo();
    } else {
        PaintPath(logical, nullptr, true);
    }
    dc.position = end;
}

QPainterPath Canvas::JoinedArc(const QPainterPath& arc) const
{
    // QPainterPath::connectPath drops a path's lone first point, so the line is drawn here.
    QPainterPath figure(dc.position);
    figure.lineTo(arc.elementAt(0));
    figure.connectPath(arc);
    return figure;
}

void Canvas::ContinueFigure(const std::vector<QPointF>& points, bool bezier)
{
    const std::size_t step = bezier ? 3 : 1, used = points.size() / step * step;
    if (used == 0)
        return;
    QPainterPath figure(dc.position);
    for (std::size_t i = 0; i < used; i += step) {
        if (bezier)
            figure.cubicTo(points[i], points[i + 1], points[i + 2]);
        else
            figure.lineTo(points[i]);
    }
    Figures(figure, points[used - 1]);
}

void Canvas::ArcTo(const QRectF& box, QPointF start, QPointF end)
{
    const QPainterPath arc = ArcPath(box, start, end, ArcShape::Arc, ClockwiseOnPicture());
    if (arc.isEmpty())
        return;
    Figures(JoinedArc(arc), arc.currentPosition());
}

void Canvas::AngleArc(QPointF centre, double radius, double startAngle, double sweepAngle)
{
    if (!(std::isfinite(startAngle) && std::isfinite(sweepAngle)))
        throw DamagedData();
    // Angles run counter-clockwise in logical units, y downwards, as Qt's do. Qt sweeps at most
    // one turn at a time.
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath arc;
    arc.arcMoveTo(box, startAngle);
    double from = startAngle, left = std::clamp(sweepAngle, -720.0, 720.0);
    do {
        const double step = std::clamp(left, -360.0, 360.0);
        arc.arcTo(box, from, step);
        from += step;
        left -= step;
    } while (left != 0);
    if (arc.isEmpty()) // a circle of no size (Qt draws none): what is left is the line to its centre
        return ContinueFigure({centre}, false);
    const double end = (startAngle + sweepAngle) * std::numbers::pi / 180;
    Figures(JoinedArc(arc), centre + QPointF(std::cos(end), -std::sin(end)) * radius);
}

void Canvas::PolyDraw(const std::vector<QPointF>& points, const std::vector<std::uint8_t>& types)
{
    constexpr std::uint8_t kClose = 1, kLineTo = 2, kBezierTo = 4, kMoveTo = 6;
    if (points.empty())
        return;
    QPainterPath figures(dc.position);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const int kind = types[i] & kMoveTo;
        if (kind == kMoveTo) {
            figures.moveTo(points[i]);
        } else if (kind == kLineTo) {
            figures.lineTo(points[i]);
        } else if (kind == kBezierTo && i + 2 < points.size() && (types[i + 1] & kMoveTo) == kBezierTo &&
                   (types[i + 2] & kMoveTo) == kBezierTo) {
            figures.cubicTo(points[i], points[i + 1], points[i + 2]);
            i += 2;
        } else {
            throw DamagedData();
        }
        if (types[i] & kClose) {
            figures.closeSubpath();
            figures.moveTo(points[i]); // what follows starts at the point that closed the figure
        }
    }
    Figures(figures, points.back());
}

QRectF Canvas::Figure::Bounds() const
{
    if (kind == Path)
        return path->controlPointRect();
    if (kind == Polygon || kind == Polyline) {
        if (points->empty())
            return {};
        double left = points->front().x(), right = left, top = points->front().y(), bottom = top;
        for (QPointF p : *points) {
            left = std::min(left, p.x()), right = std::max(right, p.x());
            top = std::min(top, p.y()), bottom = std::max(bottom, p.y());
        }
        return QRectF(QPointF(left, top), QPointF(right, bottom));
    }
    return box;
}

double Canvas::Figure::OutlineLength() const
{
    switch (kind) {
    case Path: return ControlLength(*path);
    case Polygon:
    case Polyline: {
        double length = 0;
        for (std::size_t i = 1; i < points->size(); ++i)
            length += std::hypot((*points)[i].x() - (*points)[i - 1].x(), (*points)[i].y() - (*points)[i - 1].y());
        if (kind == Polygon && points->size() > 1)
            length += std::hypot(points->back().x() - points->front().x(), points->back().y() - points->front().y());
        return length;
    }
    default: return 2 * (std::abs(box.width()) + std::abs(box.height()));
    }
}

std::size_t Canvas::Figure::Elements() const
{
    switch (kind) {
    case Path: return static_cast<std::size_t>(path->elementCount());
    case Polygon:
    case Polyline: return points->size();
    default: return 16;
    }
}

QPainterPath Canvas::Figure::ToPath() const
{
    QPainterPath out;
    switch (kind) {
    case Rect: out.addRect(box); break;
    case Ellipse: out.addEllipse(box); break;
    case RoundRect: out.addRoundedRect(box, radii.width(), radii.height()); break;
    case Polygon:
    case Polyline: out = PolygonPath(*points, kind == Polygon); break;
    case Path: out = *path; break;
    }
    return out;
}

void Canvas::Draw(const Figure& figure, bool closed)
{
    if (inPath_) {
        QPainterPath picture = ToPicture().map(figure.ToPath());
        picture.setFillRule(dc.fillRule);
        path_.addPath(picture);
        figureOpen_ = false;
        return;
    }
    Paint(figure, ToPicture(), closed ? &dc.brush : nullptr, true);
}

void Canvas::Shape(const QPainterPath& logical, bool closed)
{
    Draw({Figure::Path, {}, {}, nullptr, &logical}, closed);
}

void Canvas::Polygon(const std::vector<QPointF>& points, bool closed)
{
    Draw({closed ? Figure::Polygon : Figure::Polyline, {}, {}, &points, nullptr}, closed);
}

void Canvas::Rectangle(const QRectF& box)
{
    Draw({Figure::Rect, FrameBox(box), {}}, true);
}

void Canvas::Ellipse(const QRectF& box)
{
    Draw({Figure::Ellipse, FrameBox(box), {}}, true);
}

void Canvas::RoundRect(const QRectF& box, QSizeF corner)
{
    const QRectF inside = FrameBox(box);
    const QSizeF radii(std::min(std::abs(corner.width()) / 2, inside.width() / 2),
                       std::min(std::abs(corner.height()) / 2, inside.height() / 2));
    Draw({Figure::RoundRect, inside, radii}, true);
}

void Canvas::Arc(const QRectF& box, QPointF start, QPointF end, ArcShape shape)
{
    Shape(ArcPath(box, start, end, shape, ClockwiseOnPicture()), shape != ArcShape::Arc);
}

void Canvas::BeginPath()
{
    path_ = QPainterPath();
    inPath_ = true;
    figureOpen_ = false;
}

void Canvas::AbortPath()
{
    path_ = QPainterPath();
    inPath_ = false;
}

void Canvas::CloseFigure()
{
    if (inPath_) {
        path_.closeSubpath();
        figureOpen_ = false;
    }
}

void Canvas::DrawPath(bool fill, bool stroke)
{
    QPainterPath path = std::exchange(path_, QPainterPath());
    inPath_ = false;
    path.setFillRule(dc.fillRule);
    // In picture pixels already, from points that may lie anywhere: each is looked at.
    if (InReach(path))
        Paint({Figure::Path, {}, {}, nullptr, &path}, QTransform(), fill ? &dc.brush : nullptr, stroke);
}

void Canvas::ClipToPath(int mode)
{
    QPainterPath path = std::exchange(path_, QPainterPath());
    inPath_ = false;
    path.setFillRule(dc.fillRule);
    CombineClip(RegionOf(path.toFillPolygon(), dc.fillRule), mode);
}

void Canvas::IntersectClip(const QRectF& logical)
{
    if (!painter_)
        return;
    const QRegion r = RegionOf(ToPicture().map(QPolygonF(logical.normalized())), Qt::OddEvenFill);
    dc.clip = dc.clip ? *dc.clip & r : r;
    clipChanged_ = true;
}

void Canvas::ExcludeClip(const QRectF& logical)
{
    if (!painter_)
        return;
    dc.clip = Whole() - RegionOf(ToPicture().map(QPolygonF(logical.normalized())), Qt::OddEvenFill);
    clipChanged_ = true;
}

void Canvas::CombineDeviceRects(const std::vector<QRectF>& rects, int mode)
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

QPainterPath Canvas::RegionPath(const std::vector<QRectF>& rects)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const QRectF& r : rects)
        path.addRect(r.normalized());
    return path;
}

void Canvas::FillRegion(const std::vector<QRectF>& rects, const Brush& brush)
{
    if (!inPath_)
        PaintPath(RegionPath(rects), &brush, false);
}

void Canvas::FrameRegion(const std::vector<QRectF>& rects, const Brush& brush, QSizeF border)
{
    // The border is what the region loses when it is moved by the border's width and height
    // each way and only what stays covered is kept. That is worked out on whole logical units,
    // where the region's rectangles are; far-off ones are left out.
    constexpr double kFar = 1 << 29; // twice this still fits QRegion's coordinates
    const int w = static_cast<int>(std::clamp(std::abs(border.width()), 0.0, kFar));
    const int h = static_cast<int>(std::clamp(std::abs(border.height()), 0.0, kFar));
    std::vector<QRect> whole;
    for (const QRectF& r : rects) {
        const QRectF n = r.normalized();
        if (std::abs(n.left()) <= kFar && std::abs(n.top()) <= kFar && std::abs(n.right()) <= kFar && std::abs(n.bottom()) <= kFar)
            whole.push_back(QRect(QPoint(static_cast<int>(n.left()), static_cast<int>(n.top())),
                                  QPoint(static_cast<int>(n.right()) - 1, static_cast<int>(n.bottom()) - 1)));
    }
    Charge(static_cast<double>(whole.size()) * 8);
    const QRegion region = UniteRects(whole, 0, whole.size());
    const QRegion inside = region & region.translated(w, 0) & region.translated(-w, 0) & region.translated(0, h) &
                           region.translated(0, -h);
    std::vector<QRectF> frame;
    for (const QRect& r : region - inside)
        frame.emplace_back(QPointF(r.left(), r.top()), QPointF(r.right() + 1, r.bottom() + 1));
    FillRegion(frame, brush);
}

void Canvas::InvertRegion(const std::vector<QRectF>& rects)
{
    if (inPath_ || !painter_)
        return PaintPath(RegionPath(rects), nullptr, false);
    Brush black;
    black.color = Qt::black;
    painter_->setCompositionMode(QPainter::RasterOp_NotDestination);
    PaintPath(RegionPath(rects), &black, false);
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void Canvas::GradientRectangle(const GradientPoint& a, const GradientPoint& b, bool vertical)
{
    if (inPath_)
        return;
    const QTransform t = ToPicture();
    const QPointF across = vertical ? QPointF(a.point.x(), b.point.y()) : QPointF(b.point.x(), a.point.y());
    QLinearGradient gradient(t.map(a.point), t.map(across));
    gradient.setColorAt(0, a.color);
    gradient.setColorAt(1, b.color);
    FillArea(t.map(QPolygonF(QRectF(a.point, b.point).normalized())), QBrush(gradient));
}

void Canvas::GradientTriangle(const GradientPoint& a, const GradientPoint& b, const GradientPoint& c)
{
    if (inPath_)
        return;
    const QTransform t = ToPicture();
    const QPointF p[3] = {t.map(a.point), t.map(b.point), t.map(c.point)};
    const QColor colors[3] = {a.color, b.color, c.color};
    const QRectF bounds = QPolygonF({p[0], p[1], p[2]}).boundingRect();
    const double area = (p[1].x() - p[0].x()) * (p[2].y() - p[0].y()) - (p[2].x() - p[0].x()) * (p[1].y() - p[0].y());
    if (!IsFinite(bounds) || !(std::abs(area) > 0) || !painter_) {
        Admit(bounds, 3, kGradientCost);
        return;
    }
    // Qt has no gradient between three colours: the pixels inside the triangle, as far as the
    // picture shows them, are worked out here, each from the weights of the three corners.
    const QRect box = (bounds & QRectF(image_->rect())).toAlignedRect() & image_->rect();
    if (box.isEmpty() || !Admit(QRectF(box), 3, kGradientCost))
        return;
    QImage shade(box.size(), QImage::Format_ARGB32_Premultiplied);
    if (shade.isNull())
        throw BeyondLimits();
    // Each corner's weight at a pixel's centre: the share of the triangle's area that the
    // triangle of the pixel and the other two corners takes, a plane in x and y.
    double weight0[3], stepX[3], stepY[3];
    const QPointF first(box.left() + 0.5, box.top() + 0.5);
    for (int k = 0; k < 3; ++k) {
        const QPointF& from = p[(k + 1) % 3];
        const QPointF& to = p[(k + 2) % 3];
        stepX[k] = -(to.y() - from.y()) / area;
        stepY[k] = (to.x() - from.x()) / area;
        weight0[k] = ((to.x() - from.x()) * (first.y() - from.y()) - (first.x() - from.x()) * (to.y() - from.y())) / area;
    }
    // A channel is a plane too: its value at the first centre and its steps across and down.
    double channel0[3] = {}, channelX[3] = {}, channelY[3] = {};
    for (int k = 0; k < 3; ++k) {
        const int values[3] = {colors[k].red(), colors[k].green(), colors[k].blue()};
        for (int c = 0; c < 3; ++c) {
            channel0[c] += weight0[k] * values[c];
            channelX[c] += stepX[k] * values[c];
            channelY[c] += stepY[k] * values[c];
        }
    }
    shade.fill(Qt::transparent);
    for (int y = 0; y < box.height(); ++y) {
        // The row's run inside the triangle: where no corner's weight is below 0.
        double from = 0, to = box.width() - 1;
        for (int k = 0; k < 3; ++k) {
            const double w = weight0[k] + y * stepY[k];
            if (stepX[k] == 0) {
                if (w < 0)
                    from = to + 1;
            } else if (stepX[k] > 0) {
                from = std::max(from, std::ceil(-w / stepX[k]));
            } else {
                to = std::min(to, std::floor(-w / stepX[k]));
            }
        }
        if (!(from <= to))
            continue;
        auto* line = reinterpret_cast<QRgb*>(shade.scanLine(y));
        double value[3];
        for (int c = 0; c < 3; ++c)
            value[c] = channel0[c] + y * channelY[c] + from * channelX[c] + 0.5;
        for (int x = static_cast<int>(from); x <= static_cast<int>(to); ++x) {
            auto at = [&](int c) { return static_cast<int>(std::clamp(value[c], 0.0, 255.0)); };
            line[x] = qRgb(at(0), at(1), at(2));
            for (int c = 0; c < 3; ++c)
                value[c] += channelX[c];
        }
    }
    ApplyClip();
    UseTransform(QTransform());
    painter_->drawImage(box.topLeft(), shade);
}

void Canvas::Text(QPointF reference, const QString& text, const std::vector<double>& advances, unsigned options,
          const std::optional<QRectF>& box)
{
    if (inPath_)
        return; // text outlines are not made into paths here
    const QTransform t = ToPicture();
    if (box && (options & kTextOpaque))
        FillArea(t.map(QPolygonF(box->normalized())), QBrush(dc.backgroundColor));
    if (text.isEmpty() || !dc.font.charset)
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
            clip.addPolygon(ClipPolygon(t.map(QPolygonF(box->normalized())), QRectF(image_->rect()).adjusted(-1, -1, 1, 1)));
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

QSize Canvas::BitmapBox(const QTransform& toPicture, QSize size)
{
    const double across = std::hypot(toPicture.m11(), toPicture.m12()), down = std::hypot(toPicture.m21(), toPicture.m22());
    const double width = std::ceil(size.width() * across), height = std::ceil(size.height() * down);
    if (!(std::isfinite(width) && std::isfinite(height)))
        return QSize(1, 1); // a bitmap drawn nowhere, decoded as small as it can be
    if (!(width < size.width() || height < size.height()))
        return {};
    return QSize(static_cast<int>(std::clamp(width, 1.0, static_cast<double>(size.width()))),
                 static_cast<int>(std::clamp(height, 1.0, static_cast<double>(size.height()))));
}

void Canvas::Blit(const QTransform& toPicture, const DecodedDib& bitmap, const QRectF& source, const BlitOptions& options)
{
    // Without a bitmap (a MaskBlt whose operations use the brush alone) the mask says where.
    const bool none = bitmap.image.isNull();
    if (inPath_ || (none && !options.mask) || (!none && bitmap.fullSize.isEmpty()))
        return;
    const QRectF whole = none ? QRectF(-options.maskOrigin, QSizeF(options.mask->size()))
                              : QRectF(QPointF(0, 0), QSizeF(bitmap.fullSize));
    const QRectF part = source.normalized() & whole; // as small as the bitmap or the mask
    if (part.isEmpty() || !Admit(toPicture.mapRect(part), 1, kBitmapCost))
        return;
    const double sx = none ? 1 : bitmap.image.width() / static_cast<double>(bitmap.fullSize.width());
    const double sy = none ? 1 : bitmap.image.height() / static_cast<double>(bitmap.fullSize.height());
    QRectF imagePart(part.left() * sx, part.top() * sy, part.width() * sx, part.height() * sy);
    QImage image = bitmap.image;
    if (options.transparent) {
        // Only the pixels of the part are looked at: what reaches the picture.
        const QRect area = imagePart.toAlignedRect() & image.rect();
        image = image.copy(area).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if ((line[x] & 0xFFFFFF) == (*options.transparent & 0xFFFFFF))
                    line[x] = 0;
        }
        imagePart.translate(-area.topLeft());
    }
    ApplyClip();
    UseTransform(toPicture);
    painter_->setRenderHint(QPainter::SmoothPixmapTransform, dc.smoothStretch && RopIndex(options.rop) == 0xCC);
    if (!options.mask) {
        RasterBlit(RopIndex(options.rop), part, image, imagePart, options.opacity);
    } else {
        // Each operation where the mask says: its 1 bits and its 0 bits as clips over the source.
        // Where the mask lies over the part it is near it, so the shift between them is small.
        const QRectF covered = part & QRectF(-options.maskOrigin, QSizeF(options.mask->size()));
        QRegion ones;
        if (!covered.isEmpty()) {
            Charge(covered.width() * covered.height());
            const QPoint shift = options.maskOrigin.toPoint();
            ones = MaskRegion(*options.mask, covered.toAlignedRect().translated(shift)).translated(-shift);
        }
        const QRegion all(part.toAlignedRect());
        for (const auto& [index, region] : {std::pair(RopIndex(options.rop), ones), std::pair(options.maskedRop, all - ones)}) {
            painter_->save();
            // Intersecting with no clip at all would leave nothing.
            painter_->setClipRegion(region, painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
            RasterBlit(index, part, image, imagePart, options.opacity);
            painter_->restore();
        }
    }
    painter_->setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void Canvas::RasterBlit(std::uint8_t index, const QRectF& part, const QImage& image, const QRectF& imagePart, double opacity)
{
    const RasterOp op = RasterOpOf(index);
    if (op.uses == RasterOp::Nothing)
        return;
    painter_->setCompositionMode(op.mode);
    if (op.uses == RasterOp::Source) {
        painter_->setOpacity(opacity);
        painter_->drawImage(part, image, imagePart);
        painter_->setOpacity(1);
    } else {
        QBrush brush = op.filler == RasterOp::Black ? QBrush(Qt::black)
                       : op.filler == RasterOp::White ? QBrush(Qt::white)
                                                      : PictureBrush();
        if (dc.brush.kind == Brush::Pattern && painterTransform_.isInvertible())
            brush.setTransform(painterTransform_.inverted());
        painter_->fillRect(part, brush);
    }
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void Canvas::PatternBlit(const QRectF& destination, std::uint32_t rop)
{
    if (inPath_)
        return;
    const RasterOp op = RasterOpOf(RopIndex(rop));
    if (op.uses != RasterOp::Fill)
        return;
    const QBrush brush = op.filler == RasterOp::Black ? QBrush(Qt::black)
                         : op.filler == RasterOp::White ? QBrush(Qt::white)
                                                        : PictureBrush();
    if (painter_)
        painter_->setCompositionMode(op.mode);
    FillArea(ToPicture().map(QPolygonF(destination.normalized())), brush);
    if (painter_)
        painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

QRectF Canvas::FrameBox(const QRectF& box) const
{
    QRectF r = box.normalized();
    if (dc.pen.insideFrame && dc.pen.visible) {
        const double half = std::min({dc.pen.width / 2, r.width() / 2, r.height() / 2});
        r.adjust(half, half, -half, -half);
    }
    return r;
}

QBrush Canvas::PictureBrush(const Brush& brush) const
{
    switch (brush.kind) {
    case Brush::Null: return QBrush();
    case Brush::Hatched: return QBrush(brush.color, brush.hatch);
    case Brush::Pattern:
        if (brush.monochrome) {
            QImage pattern = brush.pattern;
            pattern.setColor(0, dc.textColor.rgb());
            pattern.setColor(1, dc.backgroundColor.rgb());
            return QBrush(pattern);
        }
        return QBrush(brush.pattern);
    default: return QBrush(brush.color);
    }
}

double Canvas::PenPixels(const QTransform& t) const
{
    const double scale = std::sqrt(std::abs(t.determinant()));
    const double widest = image_ ? 2.0 * std::max(image_->width(), image_->height()) + 2 : kMaxCoordinate;
    return std::clamp(dc.pen.width * scale, 1.0, widest);
}

QPen Canvas::PicturePen(const QTransform& t, double width, double length)
{
    const Pen& p = dc.pen;
    const bool solid = p.style == Qt::SolidLine && p.dashes.empty();
    if (solid && width == madePenWidth_ && p == madePen_)
        return madeQPen_;
    const double scale = std::sqrt(std::abs(t.determinant()));
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
        if (!(unit > 0) || length / unit > kMaxDashes)
            pen.setStyle(Qt::SolidLine);
    }
    pen.setCosmetic(true); // its width (and its dashes) in picture pixels, whatever the transform
    if (solid) {
        madePen_ = p;
        madePenWidth_ = width;
        madeQPen_ = pen;
    }
    return pen;
}

void Canvas::PaintPath(const QPainterPath& logical, const Brush* fill, bool stroke)
{
    Paint({Figure::Path, {}, {}, nullptr, &logical}, ToPicture(), fill, stroke);
}

void Canvas::Paint(const Figure& figure, const QTransform& t, const Brush* fill, bool stroke)
{
    const bool filling = fill && fill->kind != Brush::Null;
    const bool stroking = stroke && dc.pen.visible;
    if (!filling && !stroking)
        return;
    // Held to the bound by its control points before Qt measures or draws any of it: the shape
    // lies within them, and an affine transform keeps it within their mapped bounds.
    const QTransform picture = ToPicture();
    const double width = stroking ? PenPixels(picture) : 0, margin = width / 2 + 1;
    const QRectF bounds = t.mapRect(figure.Bounds()).adjusted(-margin, -margin, margin, margin);
    const bool patterned = filling && fill->kind != Brush::Solid;
    if (!Admit(bounds, figure.Elements(), patterned ? kPatternCost : 1))
        return;
    ApplyClip();
    UseTransform(t);
    if (stroking) {
        // The outline's length in picture pixels is at most its length in the figure's units
        // times the transform's largest stretch, which its four entries bound. Only dashes need it.
        const double stretch = std::sqrt(t.m11() * t.m11() + t.m12() * t.m12() + t.m21() * t.m21() + t.m22() * t.m22());
        const bool dashed = dc.pen.style != Qt::SolidLine || !dc.pen.dashes.empty();
        painter_->setPen(PicturePen(picture, width, dashed ? figure.OutlineLength() * stretch : 0));
    } else {
        painter_->setPen(Qt::NoPen);
    }
    if (filling && fill->kind == Brush::Hatched && dc.opaqueBackground) {
        // The hatch's background first, then the hatch and the outline over it.
        const QPen pen = painter_->pen();
        painter_->setPen(Qt::NoPen);
        painter_->setBrush(dc.backgroundColor);
        DrawFigure(figure);
        painter_->setPen(pen);
    }
    QBrush brush = filling ? PictureBrush(*fill) : QBrush();
    if (fill && fill->kind == Brush::Pattern && t.isInvertible())
        brush.setTransform(t.inverted()); // GDI's patterns lie on the picture's pixels, unscaled
    painter_->setBrush(brush);
    DrawFigure(figure);
}

void Canvas::DrawFigure(const Figure& figure)
{
    switch (figure.kind) {
    case Figure::Rect: painter_->drawRect(figure.box); break;
    case Figure::Ellipse: painter_->drawEllipse(figure.box); break;
    case Figure::RoundRect: painter_->drawRoundedRect(figure.box, figure.radii.width(), figure.radii.height()); break;
    case Figure::Polygon:
        painter_->drawPolygon(figure.points->data(), static_cast<int>(figure.points->size()), dc.fillRule);
        break;
    case Figure::Polyline: painter_->drawPolyline(figure.points->data(), static_cast<int>(figure.points->size())); break;
    case Figure::Path: {
        if (figure.path->fillRule() == dc.fillRule || figure.path->fillRule() == Qt::WindingFill) {
            painter_->drawPath(*figure.path);
        } else {
            QPainterPath path = *figure.path;
            path.setFillRule(dc.fillRule);
            painter_->drawPath(path);
        }
        break;
    }
    }
}

void Canvas::UseTransform(const QTransform& t)
{
    if (t != painterTransform_) {
        painter_->setTransform(t);
        painterTransform_ = t;
    }
}

void Canvas::FillArea(const QPolygonF& area, const QBrush& brush)
{
    const double cost = brush.style() == Qt::SolidPattern ? 1 : kPatternCost;
    if (brush.style() == Qt::NoBrush)
        return;
    // The area is cut to the picture, so that an area far larger than it still fills it.
    const QPolygonF inside = painter_ ? ClipPolygon(area, QRectF(image_->rect()).adjusted(-1, -1, 1, 1)) : area;
    if (inside.isEmpty() || !AllFinite(inside))
        return;
    if (!Admit(inside.boundingRect().adjusted(-1, -1, 1, 1), static_cast<std::size_t>(inside.size()), cost))
        return;
    ApplyClip();
    UseTransform(QTransform());
    QPainterPath path;
    path.addPolygon(inside);
    painter_->fillPath(path, brush);
}

bool Canvas::Admit(const QRectF& bounds, std::size_t elements, double cost)
{
    if (!InReach(bounds))
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

void Canvas::Charge(double units)
{
    work_ += units;
    if (work_ > kMaxDrawingWork)
        throw BeyondLimits();
}

void Canvas::RecordSkipped()
{
    // What unwinding from the record's error costs, about 5 microseconds (a pixel of fill costs a
    // nanosecond), so that a file of nothing but damaged records takes no longer than any other.
    Charge(5000);
}

QRegion Canvas::UniteRects(const std::vector<QRect>& rects, std::size_t from, std::size_t to)
{
    if (to <= from)
        return QRegion();
    if (to - from == 1)
        return QRegion(rects[from]);
    const std::size_t middle = from + (to - from) / 2;
    return UniteRects(rects, from, middle) | UniteRects(rects, middle, to);
}

QRegion Canvas::RegionOf(const QPolygonF& polygon, Qt::FillRule rule)
{
    if (!painter_ || !IsFinite(polygon.boundingRect()))
        return QRegion();
    const QRectF picture = QRectF(image_->rect()).adjusted(-1, -1, 1, 1);
    if (IsAxisRectangle(polygon)) {
        const QRectF r = polygon.boundingRect() & picture;
        return r.isEmpty() ? QRegion() : QRegion(r.toRect());
    }
    Charge(static_cast<double>(polygon.size()));
    return QRegion(ClipPolygon(polygon, picture).toPolygon(), rule);
}

void Canvas::CombineClip(const QRegion& region, int mode)
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

void Canvas::ApplyClip()
{
    if (!clipChanged_)
        return;
    clipChanged_ = false;
    UseTransform(QTransform()); // the clip's region is in picture pixels
    if (dc.clip)
        painter_->setClipRegion(*dc.clip);
    else
        painter_->setClipping(false);
}

} // namespace tk::metafile
