// Playing a page of three large EMFs of shapes into 81 x 81 boxes, beside drawing the same
// shapes with QPainter directly into pictures of that size: the floor the player stands on.
#include "metafilewriter.h"
#include "pictures/metafile.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

namespace {

using namespace testing_metafiles;

constexpr int kSide = 2000;          // each picture's side, in its own (device) units
constexpr int kShapes = 30000;       // in each picture
constexpr int kBrushes = 8, kPens = 4;
constexpr int kBox = 81;

// Bracket: a closed figure of Bézier curves in a path bracket, filled and outlined as one path
// (EMR_BEGINPATH, EMR_MOVETOEX, EMR_POLYBEZIERTO16, EMR_CLOSEFIGURE, EMR_ENDPATH,
// EMR_STROKEANDFILLPATH), the way drawing programs write their shapes.
enum class Kind { Rectangle, Ellipse, RoundRect, Polygon, Bracket, Polyline, Bezier };

struct Shape {
    Kind kind;
    std::vector<QPoint> points; // two corners, or the polygon's, polyline's or curve's points
    int brush, pen; // pen -1: none
};

struct Drawing {
    std::array<QColor, kBrushes> brushes;
    std::array<std::pair<QColor, int>, kPens> pens; // colour and width
    std::vector<Shape> shapes;
    QByteArray emf;
};

Drawing MakeDrawing(unsigned seed)
{
    std::mt19937 random(seed);
    auto uniform = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };
    Drawing d;
    EmfWriter emf;
    for (int i = 0; i < kBrushes; ++i) {
        d.brushes[i] = QColor(uniform(0, 255), uniform(0, 255), uniform(0, 255));
        emf.Brush(1 + i, static_cast<std::uint32_t>(qRgb(d.brushes[i].blue(), d.brushes[i].green(), d.brushes[i].red()) & 0xFFFFFF));
    }
    for (int i = 0; i < kPens; ++i) {
        d.pens[i] = {QColor(uniform(0, 255), uniform(0, 255), uniform(0, 255)), i * 10};
        const QColor& c = d.pens[i].first;
        emf.Record(38, {1 + kBrushes + i, 0, d.pens[i].second, 0, c.red() | c.green() << 8 | c.blue() << 16}); // EMR_CREATEPEN
    }
    auto points16 = [](const std::vector<QPoint>& points) {
        std::string out;
        for (QPoint p : points)
            out += U16(p.x()) + U16(p.y());
        return out;
    };
    for (int i = 0; i < kShapes; ++i) {
        Shape s{static_cast<Kind>(i % 7), {}, uniform(0, kBrushes - 1), uniform(0, kPens - 1)};
        const QPoint at(uniform(0, kSide - 300), uniform(0, kSide - 300));
        const int count = s.kind == Kind::Bezier || s.kind == Kind::Bracket ? 7 : s.kind >= Kind::Polygon ? uniform(3, 8) : 2;
        for (int k = 0; k < count; ++k)
            s.points.push_back(at + QPoint(uniform(0, 300), uniform(0, 300)));
        if (s.kind < Kind::Polygon)
            s.points[1] = s.points[0] + QPoint(uniform(10, 300), uniform(10, 300));
        // Half the filled shapes have no outline (the null pen), as in most clip art.
        if (s.kind < Kind::Polyline && uniform(0, 1) == 0)
            s.pen = -1;
        emf.Select(1 + s.brush).Select(s.pen < 0 ? 0x80000008 : 1 + kBrushes + s.pen);
        const QPoint a = s.points[0], b = s.points[1];
        const auto n = static_cast<std::int64_t>(s.points.size());
        switch (s.kind) {
        case Kind::Rectangle: emf.Record(43, {a.x(), a.y(), b.x(), b.y()}); break;
        case Kind::Ellipse: emf.Record(42, {a.x(), a.y(), b.x(), b.y()}); break;
        case Kind::RoundRect: emf.Record(44, {a.x(), a.y(), b.x(), b.y(), 40, 40}); break;
        case Kind::Polygon: emf.Record(86, {0, 0, 0, 0, n}, points16(s.points)); break;
        case Kind::Bracket:
            emf.Record(59, {}).Record(27, {a.x(), a.y()});
            emf.Record(88, {0, 0, 0, 0, n - 1}, points16({s.points.begin() + 1, s.points.end()}));
            emf.Record(61, {}).Record(60, {}).Record(63, {0, 0, 0, 0});
            break;
        case Kind::Polyline: emf.Record(87, {0, 0, 0, 0, n}, points16(s.points)); break;
        case Kind::Bezier: emf.Record(85, {0, 0, 0, 0, n}, points16(s.points)); break;
        }
        d.shapes.push_back(std::move(s));
    }
    d.emf = QByteArray::fromStdString(emf.File(kSide, kSide, 1 + kBrushes + kPens));
    return d;
}

const std::vector<Drawing>& Page()
{
    static const std::vector<Drawing> page = {MakeDrawing(1), MakeDrawing(2), MakeDrawing(3)};
    return page;
}

// The same shapes as the EMF records draw them: GDI's pens have round ends and joins and are
// never thinner than a pixel of the picture; polygons fill by the alternate rule.
QImage DrawDirectly(const Drawing& d)
{
    QImage image(kBox, kBox, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const double scale = static_cast<double>(kBox) / kSide;
    painter.setTransform(QTransform::fromScale(scale, scale));
    std::array<QPen, kPens> pens;
    for (int i = 0; i < kPens; ++i) {
        pens[i] = QPen(d.pens[i].first, std::max(d.pens[i].second * scale, 1.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        pens[i].setCosmetic(true); // its width in the picture's pixels
    }
    for (const Shape& s : d.shapes) {
        painter.setBrush(d.brushes[s.brush]);
        if (s.pen < 0)
            painter.setPen(Qt::NoPen);
        else
            painter.setPen(pens[s.pen]);
        const QRectF box(s.points[0], s.points[1]);
        switch (s.kind) {
        case Kind::Rectangle: painter.drawRect(box); break;
        case Kind::Ellipse: painter.drawEllipse(box); break;
        case Kind::RoundRect: painter.drawRoundedRect(box, 20, 20); break;
        case Kind::Polygon: painter.drawPolygon(s.points.data(), static_cast<int>(s.points.size())); break;
        case Kind::Polyline: painter.drawPolyline(s.points.data(), static_cast<int>(s.points.size())); break;
        case Kind::Bracket:
        case Kind::Bezier: {
            QPainterPath path(s.points[0]);
            for (std::size_t k = 1; k + 2 < s.points.size(); k += 3)
                path.cubicTo(s.points[k], s.points[k + 1], s.points[k + 2]);
            if (s.kind == Kind::Bracket) {
                path.closeSubpath();
                path.setFillRule(Qt::OddEvenFill);
                painter.drawPath(path);
            } else {
                painter.strokePath(path, pens[s.pen]);
            }
            break;
        }
        }
    }
    return image;
}

void BM_MetafilePageFloor(benchmark::State& state)
{
    const auto& page = Page();
    for (auto _ : state)
        for (const Drawing& d : page)
            benchmark::DoNotOptimize(DrawDirectly(d).constBits());
}
BENCHMARK(BM_MetafilePageFloor)->Name("Metafile/PageOfShapeEmfs81x81/floor")->Unit(benchmark::kMillisecond);

void BM_MetafilePage(benchmark::State& state)
{
    const auto& page = Page();
    for (auto _ : state)
        for (const Drawing& d : page)
            benchmark::DoNotOptimize(tk::PlayMetafile(d.emf, kBox, kBox).constBits());
}
BENCHMARK(BM_MetafilePage)->Name("Metafile/PageOfShapeEmfs81x81")->Unit(benchmark::kMillisecond);

} // namespace
