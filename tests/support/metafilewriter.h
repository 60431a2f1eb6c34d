// Writing WMF and EMF files record by record, for the tests and benchmarks that play them.
#pragma once

#include "sysutils.h"

#include <QRect>
#include <QString>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace testing_metafiles {

inline std::string Le(std::uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
    return out;
}
inline std::string U16(std::int64_t v) { return Le(static_cast<std::uint16_t>(v), 2); }
inline std::string U32(std::int64_t v) { return Le(static_cast<std::uint32_t>(v), 4); }
inline std::string F32(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return U32(bits);
}

// Fields of `width` bytes each, then a tail, padded to a multiple of the field width.
inline std::string Fields(std::initializer_list<std::int64_t> fields, int width, const std::string& tail)
{
    std::string out;
    for (std::int64_t f : fields)
        out += Le(static_cast<std::uint64_t>(f), width);
    out += tail;
    out.resize((out.size() + width - 1) / width * width, '\0');
    return out;
}

// A WMF, record by record. Parameters are 16-bit words in file order (GDI's reverse order).
class WmfWriter {
public:
    WmfWriter& Record(std::uint16_t function, std::initializer_list<std::int64_t> words, std::string tail = {})
    {
        const std::string params = Fields(words, 2, tail);
        records_ += U32(static_cast<std::int64_t>(6 + params.size()) / 2) + U16(function) + params;
        return *this;
    }
    WmfWriter& Raw(const std::string& bytes)
    {
        records_ += bytes;
        return *this;
    }

    WmfWriter& Window(int x, int y, int width, int height) { return Record(0x020B, {y, x}).Record(0x020C, {height, width}); }
    WmfWriter& Viewport(int x, int y, int width, int height)
    {
        return Record(0x020D, {y, x}).Record(0x020E, {height, width});
    }
    WmfWriter& Brush(std::uint32_t color) { return Record(0x02FC, {0, color & 0xFFFF, color >> 16, 0}); }
    WmfWriter& NullPen() { return Record(0x02FA, {5, 0, 0, 0, 0}); }
    WmfWriter& Select(int index) { return Record(0x012D, {index}); }
    WmfWriter& Delete(int index) { return Record(0x01F0, {index}); }
    WmfWriter& Rectangle(int l, int t, int r, int b) { return Record(0x041B, {b, r, t, l}); }
    WmfWriter& Ellipse(int l, int t, int r, int b) { return Record(0x0418, {b, r, t, l}); }
    // LOGFONT16: height, 0, 0, 0, weight, italic, underline, strike-out, character set, ..., face.
    WmfWriter& Font(const AnsiString& face, int height, int charset = 1)
    {
        std::string tail = std::string(3, '\0') + static_cast<char>(charset) + std::string(4, '\0') + face;
        tail.resize(8 + 32, '\0');
        return Record(0x02FB, {height, 0, 0, 0, 400}, tail);
    }
    WmfWriter& TextOut(int x, int y, const AnsiString& text)
    {
        std::string tail = text;
        if (tail.size() % 2)
            tail += '\0';
        return Record(0x0521, {static_cast<std::int64_t>(text.size())}, tail + U16(y) + U16(x));
    }

    // META_HEADER with a table of `objects` slots, the records, META_EOF.
    std::string File(int objects = 4) const
    {
        return U16(2) + U16(9) + U16(0x0300) + U32(0) + U16(objects) + U32(0) + U16(0) + records_ + U32(3) + U16(0);
    }
    // The same behind the placeable header.
    std::string Placeable(int left, int top, int right, int bottom, int unitsPerInch, int objects = 4) const
    {
        return U32(0x9AC6CDD7) + U16(0) + U16(left) + U16(top) + U16(right) + U16(bottom) + U16(unitsPerInch) + U32(0) +
               U16(0) + File(objects);
    }

private:
    std::string records_;
};

// An EMF, record by record: 32-bit fields after the type and size, then any tail.
class EmfWriter {
public:
    EmfWriter& Record(std::uint32_t type, std::initializer_list<std::int64_t> fields, std::string tail = {})
    {
        const std::string body = Fields(fields, 4, tail);
        records_ += U32(type) + U32(static_cast<std::int64_t>(8 + body.size())) + body;
        return *this;
    }
    EmfWriter& Raw(const std::string& bytes)
    {
        records_ += bytes;
        return *this;
    }

    EmfWriter& Brush(int handle, std::uint32_t color) { return Record(39, {handle, 0, color, 0}); }
    EmfWriter& Select(std::int64_t handle) { return Record(37, {handle}); }
    EmfWriter& NullPen() { return Select(0x80000008); }
    EmfWriter& Rectangle(int l, int t, int r, int b) { return Record(43, {l, t, r, b}); }
    EmfWriter& Ellipse(int l, int t, int r, int b) { return Record(42, {l, t, r, b}); }
    EmfWriter& WorldTransform(float m11, float m12, float m21, float m22, float dx, float dy)
    {
        return Record(35, {}, F32(m11) + F32(m12) + F32(m21) + F32(m22) + F32(dx) + F32(dy));
    }
    // EMR_EXTCREATEFONTINDIRECTW, its LOGFONTW as WmfWriter::Font's.
    EmfWriter& Font(int handle, const QString& face, int height, int charset = 1)
    {
        std::string name;
        for (QChar c : face)
            name += U16(c.unicode());
        name.resize(64, '\0');
        return Record(82, {handle, height, 0, 0, 0, 400},
                      std::string(3, '\0') + static_cast<char>(charset) + std::string(4, '\0') + name);
    }
    EmfWriter& TextOutW(int x, int y, const QString& text, unsigned options = 0, QRect box = {})
    {
        std::string units;
        for (QChar c : text)
            units += U16(c.unicode());
        return Record(84, {0, 0, 0, 0, 1, 0, 0, x, y, text.size(), 76, options, box.left(), box.top(),
                           box.right() + 1, box.bottom() + 1, 0},
                      units);
    }
    // EMR_EXTTEXTOUTA of bytes, without a rectangle or advances.
    EmfWriter& TextOutA(int x, int y, const std::string& bytes)
    {
        return Record(83, {0, 0, 0, 0, 1, 0, 0, x, y, static_cast<std::int64_t>(bytes.size()), 60, 0x100, 0}, bytes);
    }
    // EMR_STRETCHDIBITS of a DIB's BITMAPINFO and pixels in the colours `usage` says (source in
    // its pixels, y from the bottom row of a bottom-up DIB).
    EmfWriter& StretchDib(QRect destination, QRect source, const std::string& info, const std::string& bits, int usage = 0)
    {
        const auto infoSize = static_cast<std::int64_t>(info.size());
        return Record(81, {0, 0, 0, 0, destination.x(), destination.y(), source.x(), source.y(), source.width(),
                           source.height(), 80, infoSize, 80 + infoSize, static_cast<std::int64_t>(bits.size()), usage,
                           0x00CC0020, destination.width(), destination.height()},
                      info + bits);
    }
    // The same of a packed DIB with a 40-byte header and no colour table.
    EmfWriter& StretchDib(QRect destination, QRect source, const std::string& dib)
    {
        return StretchDib(destination, source, dib.substr(0, 40), dib.substr(40));
    }

    // A picture of `width` x `height` pixels at 96 per inch, recorded on a reference screen of
    // 960 pixels to 254 mm, with `handles` object handles.
    std::string File(int width, int height, int handles = 4) const
    {
        const std::string eof = U32(14) + U32(20) + U32(0) + U32(16) + U32(20);
        const std::string header = U32(1) + U32(88) + U32(0) + U32(0) + U32(width - 1) + U32(height - 1) + U32(0) +
                                   U32(0) + U32(width * 2540 / 96) + U32(height * 2540 / 96) + U32(0x464D4520) +
                                   U32(0x10000) + U32(static_cast<std::int64_t>(88 + records_.size() + eof.size())) +
                                   U32(0) + U16(handles) + U16(0) + U32(0) + U32(0) + U32(0) + U32(960) + U32(960) +
                                   U32(254) + U32(254);
        return header + records_ + eof;
    }

private:
    std::string records_;
};

} // namespace testing_metafiles
