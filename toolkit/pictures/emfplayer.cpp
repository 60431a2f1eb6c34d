// Enhanced metafiles (EMF) played on the device context. The records' layouts are those of
// Microsoft's Enhanced Metafile Format document ([MS-EMF]); the comment above each record's
// reading gives its fields by their offsets from the record's start.
#include "emfplayer.h"

#include "metafilecanvas.h"

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace tk::metafile {

namespace {

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
        throw DamagedData();
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
template <class Visit, class Skipped>
void ForEachEmfRecord(const Bytes& file, std::size_t at, Visit&& visit, Skipped&& skipped)
{
    ForEachRecord(
        file, at, 8, 14, [&](std::size_t r) { return RecordHead{file.U32(r), file.U32(r + 4)}; },
        [&](std::uint32_t type, std::size_t r, std::size_t bytes) { visit(type, file.Sub(r, bytes)); }, skipped);
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
        ForEachEmfRecord(
            file_, header_.firstRecord, [this](std::uint32_t type, const Bytes& r) { Record(type, r); },
            [this] { canvas_.RecordSkipped(); });
    }

private:
    // Object handles are given by the records; 0 is reserved, and the header says how many.
    std::size_t Index(std::uint32_t index) const
    {
        if (index == 0 || index >= objects_.size())
            throw DamagedData();
        return index;
    }

    // The stock objects, each made once, when first asked for.
    const std::optional<GdiObject>& Stock(std::uint32_t index)
    {
        static const std::optional<GdiObject> none;
        if (index >= stock_.size())
            return none;
        if (!stock_[index])
            stock_[index] = StockObject(index);
        return *stock_[index];
    }

    void Select(std::uint32_t index)
    {
        if (index & 0x80000000u) {
            if (const auto& stock = Stock(index & 0x7FFFFFFFu))
                canvas_.dc.Select(*stock);
        } else if (const auto& object = objects_[Index(index)]) {
            canvas_.dc.Select(*object);
        }
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

    // EMRTEXT, at `at` in a text record: reference point, number of characters (8), offset of
    // the string from the start of the record (12), options (16), the clipping or opaquing
    // rectangle (20; left out with ETO_NO_RECT), offset of the advances (36, or 20 without the
    // rectangle): one 32-bit advance a character, two (x, y) with ETO_PDY. Answers its size.
    // Text given as glyph numbers of a font we do not have is left out.
    std::size_t EmrText(const Bytes& r, std::size_t at, bool wide)
    {
        const QPointF reference = PointL(r, at);
        const std::uint32_t chars = r.U32(at + 8), stringAt = r.U32(at + 12), options = r.U32(at + 16);
        std::optional<QRectF> box;
        std::size_t advancesField = at + 20;
        if (!(options & kTextNoRect)) {
            box = RectL(r, at + 20);
            advancesField = at + 36;
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
            run.text = WideText(r, stringAt, chars, false);
            run.advances = std::move(advances);
        } else {
            run = AnsiRun(r.Chars(stringAt, chars), advances, canvas_.dc.font.charset.value_or(kDefaultCharset));
        }
        if (options & kTextGlyphIndices)
            run = TextRun();
        canvas_.Text(reference, run.text, run.advances, options, box);
        return advancesField + 4 - at;
    }

    // UTF-16 text, or with `small` the low bytes of its units alone (ETO_SMALL_CHARS).
    static QString WideText(const Bytes& r, std::size_t at, std::uint32_t chars, bool small)
    {
        r.NeedItems(at, chars, small ? 1 : 2);
        QString text;
        text.reserve(static_cast<qsizetype>(chars));
        for (std::size_t i = 0; i < chars; ++i)
            text += QChar(small ? r.U8(at + i) : r.U16(at + 2 * i));
        return text;
    }

    // EMR_EXTTEXTOUTA (83), EMR_EXTTEXTOUTW (84): bounds, graphics mode and two scales
    // (ignored), EMRTEXT (36).
    // EMR_POLYTEXTOUTA (96), EMR_POLYTEXTOUTW (97): bounds, graphics mode and two scales
    // (ignored), number of strings (36), one EMRTEXT each from 40 on.
    void PolyTextOut(const Bytes& r, bool wide)
    {
        const std::uint32_t strings = r.U32(36);
        r.NeedItems(40, strings, 24); // the least an EMRTEXT takes
        for (std::size_t i = 0, at = 40; i < strings; ++i)
            at += EmrText(r, at, wide);
    }

    // EMR_SMALLTEXTOUT (108): reference point (8), number of characters (16), options (20),
    // graphics mode and two scales (ignored), the clipping or opaquing rectangle (36; left out
    // with ETO_NO_RECT), the characters: 8 bits each with ETO_SMALL_CHARS, 16 otherwise. The
    // font's own advances place them.
    void SmallTextOut(const Bytes& r)
    {
        constexpr std::uint32_t kSmallChars = 0x200;
        const std::uint32_t chars = r.U32(16), options = r.U32(20);
        std::optional<QRectF> box;
        std::size_t stringAt = 36;
        if (!(options & kTextNoRect)) {
            box = RectL(r, 36);
            stringAt = 52;
        }
        QString text = WideText(r, stringAt, chars, options & kSmallChars);
        if (options & kTextGlyphIndices)
            text.clear();
        canvas_.Text(PointL(r, 8), text, {}, options, box);
    }

    // EMR_POLYDRAW (56), EMR_POLYDRAW16 (92): bounds, number of points (24), the points (28),
    // then a type for each point (8 bits).
    void PolyDraw(const Bytes& r, bool shortPoints)
    {
        const std::uint32_t count = r.U32(24);
        const std::vector<QPointF> points = EmfPoints(r, 28, count, shortPoints);
        const std::size_t typesAt = 28 + std::size_t{count} * (shortPoints ? 4 : 8); // within the record: just checked
        const std::string_view types = r.Chars(typesAt, count);
        canvas_.PolyDraw(points, std::vector<std::uint8_t>(types.begin(), types.end()));
    }

    // EMR_GRADIENTFILL (118): bounds, number of vertices (24), number of shapes (28), mode (32:
    // GRADIENT_FILL_RECT_H 0, GRADIENT_FILL_RECT_V 1, GRADIENT_FILL_TRIANGLE 2), the vertices
    // from 36 (TRIVERTEX, 16 bytes: x, y (32 bits), red, green, blue, alpha (16 bits each; alpha
    // not used)), then the shapes: two vertex numbers (32 bits) for each rectangle, three for
    // each triangle.
    void GradientFill(const Bytes& r)
    {
        const std::uint32_t vertices = r.U32(24), shapes = r.U32(28), mode = r.U32(32);
        if (mode > 2)
            throw DamagedData();
        r.NeedItems(36, vertices, 16);
        const std::size_t corners = mode == 2 ? 3 : 2, shapesAt = 36 + 16 * std::size_t{vertices};
        r.NeedItems(shapesAt, shapes, 4 * corners);
        for (std::size_t i = 0; i < std::size_t{shapes} * corners; ++i)
            if (r.U32(shapesAt + 4 * i) >= vertices)
                throw DamagedData();
        auto vertex = [&](std::size_t corner) {
            const std::size_t at = 36 + 16 * std::size_t{r.U32(shapesAt + 4 * corner)};
            return Canvas::GradientPoint{PointL(r, at), QColor(r.U16(at + 8) >> 8, r.U16(at + 10) >> 8, r.U16(at + 12) >> 8)};
        };
        for (std::size_t i = 0; i < shapes; ++i) {
            if (mode == 2)
                canvas_.GradientTriangle(vertex(3 * i), vertex(3 * i + 1), vertex(3 * i + 2));
            else
                canvas_.GradientRectangle(vertex(2 * i), vertex(2 * i + 1), mode == 1);
        }
    }

    // A DIB of a record: its BITMAPINFO and its pixels at the offsets and sizes (from the start
    // of the record) of four 32-bit fields from `at`, in the colours its usage says
    // (DIB_RGB_COLORS 0, DIB_PAL_COLORS 1, DIB_PAL_INDICES 2), decoded to the size its pixels
    // take on the picture under `toPicture`, or to its own size without one.
    DecodedDib RecordDib(const Bytes& r, std::size_t at, std::uint32_t usage, const std::optional<QTransform>& toPicture,
                         DibAlpha alpha = DibAlpha::Ignored)
    {
        const Bytes info = r.Sub(r.U32(at), r.U32(at + 4));
        const Bytes bits = r.Sub(r.U32(at + 8), r.U32(at + 12));
        DibOptions options = BitmapOptions(canvas_.dc, objects_, usage);
        options.alpha = alpha;
        if (toPicture)
            options.box = Canvas::BitmapBox(*toPicture, DibDimensions(info));
        return DecodeDib(info.Span(), bits.Span(), options);
    }

    // A monochrome mask of a record: its bits as they are, white for 1, whatever its colours.
    static DecodedDib MaskDib(const Bytes& r, std::size_t at)
    {
        DibOptions options;
        options.colors = DibColors::NoTable;
        options.alpha = DibAlpha::Ignored;
        return DecodeDib(r.Sub(r.U32(at), r.U32(at + 4)).Span(), r.Sub(r.U32(at + 8), r.U32(at + 12)).Span(), options);
    }

    // The source rectangle of a record's bitmap: at `at`, x and y, and its size; the source of
    // a blit without a stretch is as large as the destination in the source's units (its
    // XFORM at `xformAt` scales it).
    static QRectF SourceRect(const Bytes& r, std::size_t at, QSizeF size, std::optional<std::size_t> xformAt)
    {
        if (xformAt)
            if (const auto xform = ReadXform(r, *xformAt); xform && xform->m11() != 0 && xform->m22() != 0)
                size = QSizeF(size.width() * xform->m11(), size.height() * xform->m22());
        return QRectF(QPointF(r.I32(at), r.I32(at + 4)), size);
    }

    // The blits from a bitmap into a rectangle, in which the source's rows count from the top
    // (a bitmap selected into a device): bounds, destination x, y, width, height (24..36), a
    // field of the operation (40), source x, y (44, 48), the source's world transform (XFORM,
    // 52), its background colour (76), colour usage (80), the DIB's offsets and sizes (84..96);
    // the stretching ones then the source width and height (100, 104).
    // EMR_BITBLT (76), EMR_STRETCHBLT (77): the raster operation at 40. Without a bitmap (a
    //   BITMAPINFO of size 0) the operation uses the brush alone.
    // EMR_ALPHABLEND (114): BLENDFUNCTION at 40: operation, flags, the constant alpha (42),
    //   AC_SRC_ALPHA (1 at 43) for the source's own premultiplied alpha.
    // EMR_TRANSPARENTBLT (116): the transparent colour at 40 (COLORREF).
    // EMR_MASKBLT (98): a quaternary raster operation at 40, the foreground one in its low three
    //   bytes, the background one's index in its top byte; then the mask's x and y (100, 104),
    //   its colour usage (108) and its DIB's offsets and sizes (112..124). No stretch.
    void BitBlt(std::uint32_t type, const Bytes& r)
    {
        const QRectF destination(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        const std::uint32_t field = r.U32(40);
        const bool stretch = type != 76 && type != 98;
        const QRectF source = SourceRect(r, 44, stretch ? QSizeF(r.I32(100), r.I32(104)) : destination.size(),
                                         stretch ? std::nullopt : std::optional<std::size_t>(52));
        const QTransform toPicture = RectMapping(source, destination) * canvas_.ToPicture();
        BlitOptions options;
        DecodedDib mask;
        if (type == 98) {
            options.rop = field & 0xFFFFFF;
            options.maskedRop = static_cast<std::uint8_t>(field >> 24);
            if (r.U32(116) != 0) {
                mask = MaskDib(r, 112);
                options.mask = &mask.image;
                options.maskOrigin = QPointF(r.I32(100), r.I32(104)) - source.topLeft();
            }
        } else if (type == 114) {
            options.opacity = r.U8(42) / 255.0;
        } else if (type == 116) {
            options.transparent = ColorOf(r.U32(40)).rgb();
        } else {
            options.rop = field;
        }
        if (r.U32(88) == 0) { // no source: the operations use the brush alone
            if (options.mask)
                canvas_.Blit(toPicture, DecodedDib(), source, options);
            else if (type == 76 || type == 77 || type == 98)
                canvas_.PatternBlit(destination, options.rop);
            return;
        }
        // A colour to leave out is looked for in the bitmap's own pixels, not in averages of them.
        const std::optional<QTransform> box = type == 116 || options.mask ? std::nullopt : std::optional(toPicture);
        const DecodedDib dib = RecordDib(r, 84, r.U32(80), box,
                                         type == 114 && (r.U8(43) & 1) ? DibAlpha::Premultiplied : DibAlpha::Ignored);
        canvas_.Blit(toPicture, dib, source, options);
    }

    // EMR_STRETCHDIBITS (81): bounds, destination x, y (24, 28), source x, y, width, height
    // (32..44), the DIB's offsets and sizes (48..60), colour usage (64), raster operation (68),
    // destination width and height (72, 76). The source's y counts from the bottom row of a
    // bottom-up DIB.
    void StretchDibits(const Bytes& r)
    {
        const QRectF destination(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
        QRectF source(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
        const DecodedDib dib = RecordDib(r, 48, r.U32(64), RectMapping(source, destination) * canvas_.ToPicture());
        if (!dib.topDown)
            source.moveTop(dib.fullSize.height() - source.top() - source.height());
        BlitOptions options;
        options.rop = r.U32(68);
        canvas_.Blit(RectMapping(source, destination) * canvas_.ToPicture(), dib, source, options);
    }

    // EMR_SETDIBITSTODEVICE (80): bounds, destination x, y (24, 28), source x, y, width, height
    // (32..44), the DIB's offsets and sizes (48..60), colour usage (64), the first scan line
    // (68) and the number of them (72) that the pixels hold. The bitmap is drawn one pixel to
    // a device pixel; its source's y counts from the bottom row of a bottom-up DIB.
    void SetDibitsToDevice(const Bytes& r)
    {
        const std::uint32_t firstScan = r.U32(68), scans = r.U32(72);
        // The header is given the height of the rows the record holds, the band it is decoded as.
        const Bytes info = r.Sub(r.U32(48), r.U32(52));
        std::vector<std::uint8_t> band(info.Span().begin(), info.Span().end());
        const bool core = info.U32(0) == 12;
        const std::int64_t height = core ? info.U16(6) : info.I32(8);
        if (scans == 0 || scans > 0x7FFFFFFF || (core && scans > 0xFFFF))
            throw DamagedData();
        const std::int64_t bandHeight = height < 0 ? -std::int64_t{scans} : std::int64_t{scans};
        for (int i = 0; i < (core ? 2 : 4); ++i)
            band[(core ? 6 : 8) + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(bandHeight) >> (8 * i));
        DibOptions options = BitmapOptions(canvas_.dc, objects_, r.U32(64));
        options.box = Canvas::BitmapBox(canvas_.Placement(), DibDimensions(Bytes(band.data(), band.size())));
        const DecodedDib dib = DecodeDib(band, r.Sub(r.U32(56), r.U32(60)).Span(), options);
        // The source in the band's rows, counted from its top.
        QRectF source(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
        source.moveTop(dib.topDown ? source.top() - firstScan
                                   : static_cast<double>(firstScan) + scans - source.top() - source.height());
        const QPointF at = canvas_.ToDevice().map(PointL(r, 24));
        const QTransform toDevice = QTransform::fromTranslate(at.x() - source.left(), at.y() - source.top());
        canvas_.Blit(toDevice * canvas_.Placement(), dib, source, BlitOptions());
    }

    // EMR_PLGBLT (79): bounds, the destination's top left, top right and bottom left corners
    // (three POINTL, 24..44), source x, y, width, height (48..60), the source's XFORM (64), its
    // background colour (88), colour usage (92), the DIB's offsets and sizes (96..108), then
    // the mask's x and y (112, 116), its usage (120) and its DIB's offsets and sizes
    // (124..136). The source is copied where the mask has 1 bits, or everywhere without one.
    void PlgBlt(const Bytes& r)
    {
        const QRectF source(r.I32(48), r.I32(52), r.I32(56), r.I32(60));
        const QTransform toPicture = ParallelogramMapping(source, PointL(r, 24), PointL(r, 32), PointL(r, 40)) * canvas_.ToPicture();
        BlitOptions options;
        DecodedDib mask;
        if (r.U32(128) != 0) {
            mask = MaskDib(r, 124);
            options.mask = &mask.image;
            options.maskOrigin = QPointF(r.I32(112), r.I32(116)) - source.topLeft();
        }
        const DecodedDib dib = RecordDib(r, 96, r.U32(92), options.mask ? std::nullopt : std::optional(toPicture));
        canvas_.Blit(toPicture, dib, source, options);
    }

    // The palette records. EMR_CREATEPALETTE (49): handle, LOGPALETTE: version, number of
    // entries (16 bits each, 12 and 14), PALETTEENTRY (red, green, blue, flags) each from 16.
    // EMR_SETPALETTEENTRIES (50): handle, first entry (12), number (16), the entries (20).
    // EMR_RESIZEPALETTE (51): handle, number of entries (12). EMR_SELECTPALETTE (48): handle;
    // the stock DEFAULT_PALETTE (15) brings back GDI's own.
    Palette& PaletteAt(std::uint32_t index)
    {
        auto& object = objects_[Index(index)];
        if (auto* palette = object ? std::get_if<Palette>(&*object) : nullptr)
            return *palette;
        throw DamagedData();
    }

    void PaletteRecord(std::uint32_t type, const Bytes& r)
    {
        const std::uint32_t handle = r.U32(8);
        switch (type) {
        case 48:
            if (handle == 0x8000000Fu)
                canvas_.dc.palette.reset();
            else
                canvas_.dc.palette = Index(handle);
            break;
        case 49: objects_[Index(handle)] = Palette{PaletteEntries(r, 16, r.U16(14))}; break;
        case 50: PaletteAt(handle).Set(r.U32(12), PaletteEntries(r, 20, r.U32(16))); break;
        default: PaletteAt(handle).Resize(r.U32(12)); break;
        }
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

    // RGNDATA of `size` bytes at `at`: a 32-byte header (its size, type 1, number of rectangles
    // at 8, size, bounds), then the rectangles (RECTL, right and bottom outside).
    static std::vector<QRectF> RegionRects(const Bytes& r, std::size_t at, std::uint32_t size)
    {
        const Bytes data = r.Sub(at, size);
        const std::uint32_t count = data.U32(8);
        data.NeedItems(32, count, 16);
        std::vector<QRectF> rects;
        rects.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            rects.push_back(RectL(data, 32 + 16 * i));
        return rects;
    }

    // EMR_EXTSELECTCLIPRGN: size of the region data (8), mode (12), then RGNDATA, its rectangles
    // in device units. No data with RGN_COPY: back to no clip.
    void SelectClipRegion(const Bytes& r)
    {
        const std::uint32_t dataSize = r.U32(8), mode = r.U32(12);
        canvas_.CombineDeviceRects(dataSize != 0 ? RegionRects(r, 16, dataSize) : std::vector<QRectF>(),
                                   static_cast<int>(mode));
    }

    // The brush of a handle, a stock one included; anything else is not one.
    Brush BrushAt(std::uint32_t index)
    {
        const std::optional<GdiObject>& object = index & 0x80000000u ? Stock(index & 0x7FFFFFFFu) : objects_[Index(index)];
        if (const auto* brush = object ? std::get_if<Brush>(&*object) : nullptr)
            return *brush;
        throw DamagedData();
    }

    // EMR_FILLRGN (71): bounds, size of the region data (24), brush handle (28), RGNDATA (32).
    // EMR_FRAMERGN (72): bounds, size (24), brush handle (28), border width and height (32,
    // 36), RGNDATA (40). EMR_INVERTRGN (73), EMR_PAINTRGN (74): bounds, size (24), RGNDATA
    // (28). Their rectangles are in logical units, as FillRgn takes its region.
    void Region(std::uint32_t type, const Bytes& r)
    {
        const std::uint32_t size = r.U32(24);
        switch (type) {
        case 71: canvas_.FillRegion(RegionRects(r, 32, size), BrushAt(r.U32(28))); break;
        case 72: canvas_.FrameRegion(RegionRects(r, 40, size), BrushAt(r.U32(28)), QSizeF(r.I32(32), r.I32(36))); break;
        case 73: canvas_.InvertRegion(RegionRects(r, 28, size)); break;
        default: canvas_.FillRegion(RegionRects(r, 28, size), canvas_.dc.brush); break;
        }
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
                canvas_.Polygon(points, closed);
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
        case 94: { // DIB's offsets and sizes (16..28). A monochrome brush (and one without a colour
                   // table) takes the colours of the device context it draws in.
            const bool monochrome = type == 93 || r.U32(12) == 2;
            objects_[Index(r.U32(8))] =
                PatternBrush(RecordDib(r, 16, monochrome ? 2 : r.U32(12), std::nullopt).image, monochrome);
            break;
        }
        case 82: objects_[Index(r.U32(8))] = MakeFont(ReadLogFont(r, 12, true)); break; // EMR_EXTCREATEFONTINDIRECTW: handle, LOGFONTW
        case 48: case 49: case 50: case 51: PaletteRecord(type, r); break;
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
        case 76: case 77: case 98: case 114: case 116: BitBlt(type, r); break;
        case 79: PlgBlt(r); break;
        case 80: SetDibitsToDevice(r); break;
        case 81: StretchDibits(r); break;
        case 83: EmrText(r, 36, false); break;
        case 84: EmrText(r, 36, true); break;
        case 96: PolyTextOut(r, false); break;
        case 97: PolyTextOut(r, true); break;
        case 108: SmallTextOut(r); break;
        case 41: // EMR_ANGLEARC: centre (POINTL), radius (32 bits), start and sweep angles (floats, degrees)
            canvas_.AngleArc(PointL(r, 8), r.U32(16), r.F32(20), r.F32(24));
            break;
        case 56: PolyDraw(r, false); break;
        case 92: PolyDraw(r, true); break;
        case 71: case 72: case 73: case 74: Region(type, r); break;
        case 118: GradientFill(r); break;
        default: break; // comments, palettes, modes without effect here, and the unknown
        }
    }

    const Bytes& file_;
    const EmfHeader& header_;
    Canvas& canvas_;
    ObjectTable objects_;
    std::array<std::optional<std::optional<GdiObject>>, 20> stock_;
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
    throw DamagedData();
}

} // namespace

bool IsEmf(const Bytes& file) { return file.Has(0, 44) && file.U32(0) == 1 && file.U32(40) == kEmfSignature; }

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

} // namespace tk::metafile
