// Windows metafiles (WMF), with or without the placeable header, played on the device context.
// The records' layouts are those of Microsoft's Windows Metafile Format document ([MS-WMF]);
// the comment above each record's reading gives its 16-bit parameters in the order they come.
#include "wmfplayer.h"

#include "metafilecanvas.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace tk::metafile {

namespace {

// A WMF without the placeable header says nothing of its size; its window is taken as pixels,
// brought down to this on its longer side.
constexpr double kMaxUnsizedSide = 1024;

// Bitmap16, a device-dependent bitmap: type, width, height, bytes per row (16 bits each),
// planes, bits per pixel (8 bits each), then the rows top-down, each padded to 16 bits.
// Monochrome ones take the text colour for 0 bits and the background colour for 1 bits, as GDI
// does when it copies them onto colour; 24 and 32 bits a pixel are blue, green, red (, unused).
// Other depths depend on the palette of the screen that wrote them and are not drawn.
QImage DecodeBitmap16(const Bytes& b, QColor zero, QColor one)
{
    const int width = b.I16(2), height = b.I16(4), planes = b.U8(8), bitsPerPixel = b.U8(9);
    if (width <= 0 || height <= 0 || planes != 1)
        throw DamagedData();
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
            throw DamagedData();
        at = 22;
    }
    const std::uint16_t type = file.U16(at), headerWords = file.U16(at + 2), version = file.U16(at + 4);
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300))
        throw DamagedData();
    header.objectCount = file.U16(at + 10);
    header.firstRecord = at + 18;
    return header;
}

// Each record: size in 16-bit words (32 bits, its 6 bytes of size and function included),
// function (16 bits), parameters. The records end with META_EOF (function 0); a file that
// ends on a record's end without it plays what it has.
template <class Visit, class Skipped>
void ForEachWmfRecord(const Bytes& file, std::size_t at, Visit&& visit, Skipped&& skipped)
{
    ForEachRecord(
        file, at, 6, 0, [&](std::size_t r) { return RecordHead{file.U16(r + 4), std::uint64_t{file.U32(r)} * 2}; },
        [&](std::uint32_t function, std::size_t r, std::size_t bytes) {
            visit(static_cast<std::uint16_t>(function), file.Sub(r + 6, bytes - 6), std::uint64_t{bytes} / 2);
        },
        skipped);
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
        ForEachWmfRecord(
            file_, header_.firstRecord,
            [this](std::uint16_t function, const Bytes& p, std::uint64_t words) { Record(function, p, words); },
            [this] { canvas_.RecordSkipped(); });
    }

private:
    // New objects take the lowest free slot of the table the header sized, so a record that
    // later selects or deletes one counts on every object before it having taken its slot. An
    // object whose record cannot be read takes its slot all the same, as it did when the file
    // was made, with nothing to select; the record is then skipped.
    template <class Make>
    void Create(Make&& make)
    {
        if (free_.empty())
            throw DamagedData();
        const std::size_t slot = *free_.begin();
        free_.erase(free_.begin());
        objects_[slot] = OtherObject{};
        objects_[slot] = make();
    }

    std::size_t Index(const Bytes& p) const
    {
        const std::size_t index = p.U16(0);
        if (index >= objects_.size())
            throw DamagedData();
        return index;
    }

    // META_TEXTOUT: string length, the string (padded to 16 bits), y, x.
    // META_EXTTEXTOUT: y, x, string length, options, a rectangle (left, top, right, bottom)
    // with ETO_OPAQUE or ETO_CLIPPED, the string (padded), and, when the record goes on, one
    // 16-bit advance for each byte of the string.
    void TextOut(const Bytes& p, bool extended)
    {
        const std::int16_t length = p.I16(extended ? 4 : 0);
        if (length < 0)
            throw DamagedData();
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
        const std::string_view text = p.Chars(stringAt, bytes);
        std::vector<double> byteAdvances;
        const std::size_t advancesAt = stringAt + padded;
        if (extended && p.Has(advancesAt, 2 * bytes) && bytes > 0)
            for (std::size_t i = 0; i < bytes; ++i)
                byteAdvances.push_back(p.I16(advancesAt + 2 * i));
        const TextRun run = AnsiRun(text, byteAdvances, canvas_.dc.font.charset.value_or(kDefaultCharset));
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
        DecodedDib bitmap;
        if (function == 0x0B23 || function == 0x0922) {
            const QImage image = DecodeBitmap16(p.From(bitmapAt), canvas_.dc.textColor, canvas_.dc.backgroundColor);
            bitmap = {image, image.size(), true, false};
        } else {
            const Bytes dib = p.From(bitmapAt);
            bitmap = DecodePackedDib(dib.Span(), DibOptionsFor(stretchDib ? p.U16(4) : 0, DibDimensions(dib),
                                                               RectMapping(source, destination) * canvas_.ToPicture()));
            if (stretchDib && !bitmap.topDown)
                source.moveTop(bitmap.fullSize.height() - source.top() - source.height());
        }
        BlitOptions options;
        options.rop = rop;
        canvas_.Blit(RectMapping(source, destination) * canvas_.ToPicture(), bitmap, source, options);
    }

    // The options a DIB of `size` pixels is decoded with for its usage, reduced to the size its
    // pixels take on the picture under `toPicture` (none: its own).
    DibOptions DibOptionsFor(std::uint16_t usage, QSize size, const std::optional<QTransform>& toPicture)
    {
        DibOptions options = BitmapOptions(canvas_.dc, objects_, usage);
        if (toPicture)
            options.box = Canvas::BitmapBox(*toPicture, size);
        return options;
    }

    // META_DIBCREATEPATTERNBRUSH: style, colour usage, DIB. A monochrome pattern of BS_PATTERN
    // (3), and one without a colour table, takes the colours of the device context it draws in.
    Brush DibPatternBrush(const Bytes& p)
    {
        const Bytes dib = p.From(4);
        const unsigned bitsPerPixel = dib.U32(0) == 12 ? dib.U16(10) : dib.U16(14);
        const std::uint16_t usage = p.U16(0) == 3 ? 0 : p.U16(2);
        const bool monochrome = usage == 2 || (p.U16(0) == 3 && bitsPerPixel == 1);
        return PatternBrush(DecodePackedDib(dib.Span(), BitmapOptions(canvas_.dc, objects_, monochrome ? 2 : usage)).image,
                            monochrome);
    }

    // META_CREATEPALETTE: LOGPALETTE: version, number of entries (16 bits each), the entries.
    // META_SELECTPALETTE: index. META_SETPALENTRIES, META_ANIMATEPALETTE: first entry, number
    // of entries, the entries, for the selected palette. META_RESIZEPALETTE: number of entries.
    void PaletteRecord(std::uint16_t function, const Bytes& p)
    {
        if (function == 0x00F7) {
            Create([&] { return Palette{PaletteEntries(p, 4, p.U16(2))}; });
            return;
        }
        if (function == 0x0234) {
            const std::size_t index = Index(p);
            if (objects_[index] && std::holds_alternative<Palette>(*objects_[index]))
                canvas_.dc.palette = index;
            return;
        }
        Palette* palette = SelectedPalette(canvas_.dc, objects_);
        if (!palette)
            return; // GDI's default palette is not changed
        if (function == 0x0139)
            palette->Resize(p.U16(0));
        else
            palette->Set(p.U16(0), PaletteEntries(p, 4, p.U16(2)));
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
            Create([&] { return MakePen(p.U16(0), p.I16(2), ColorOf(p.U32(6))); });
            break;
        case 0x02FC: // META_CREATEBRUSHINDIRECT: style, COLORREF, hatch
            Create([&] { return MakeBrush(p.U16(0), ColorOf(p.U32(2)), p.U16(6)); });
            break;
        case 0x02FB: Create([&] { return MakeFont(ReadLogFont(p, 0, false)); }); break; // META_CREATEFONTINDIRECT: LOGFONT
        case 0x0142: Create([&] { return DibPatternBrush(p); }); break;            // META_DIBCREATEPATTERNBRUSH
        case 0x01F9: Create([] { return PatternBrush({}); }); break;              // META_CREATEPATTERNBRUSH
        case 0x06FF: Create([] { return OtherObject{}; }); break;                 // META_CREATEREGION
        case 0x00F7: case 0x0234: case 0x0037: case 0x0436: case 0x0139: PaletteRecord(function, p); break;
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
            canvas_.Polygon(WmfPoints(p, 2, p.U16(0)), function == 0x0324);
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
    ObjectTable objects_;
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
    ForEachWmfRecord(
        file, header.firstRecord,
        [&](std::uint16_t function, const Bytes& p, std::uint64_t) {
            auto firstOrigin = [&](QPointF& origin, bool& set) {
                if (!set)
                    origin = WmfPoint(p, 0), set = true;
            };
            auto firstExtent = [&](std::optional<QSizeF>& extent) {
                if (!extent && p.I16(0) != 0 && p.I16(2) != 0)
                    extent = QSizeF(p.I16(2), p.I16(0));
            };
            if (function == 0x020B)
                firstOrigin(found.windowOrg, windowOrgSet);
            else if (function == 0x020D)
                firstOrigin(found.viewportOrg, viewportOrgSet);
            else if (function == 0x020C)
                firstExtent(found.windowExt);
            else if (function == 0x020E)
                firstExtent(found.viewportExt);
        },
        [] {});
    return found;
}

} // namespace

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

} // namespace tk::metafile
