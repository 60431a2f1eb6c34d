// Inside the toolkit only: reading the records of Windows metafiles (WMF and EMF). Fields are
// little-endian and read through a window on the record that checks every offset and length;
// the walk from record to record checks each record's size against the file.
#pragma once

#include "decoding.h"
#include "fields.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tk::metafile {

// A file of more records than this asks for more work than any picture needs.
constexpr std::uint64_t kMaxRecords = 1'000'000;

// Raised for data that is not consistent: a field beyond the end of its record or of the file,
// counts or objects that do not agree. Inside a record it ends that record; elsewhere (the
// header, the record structure) the picture, as damaged. It carries nothing, since a file of
// damaged records raises it once for each.
struct DamagedData {};

// Raised when a picture asks for more than its limits allow (drawing work, saved states): it
// ends the whole picture, as too large.
struct BeyondLimits {};

struct RecordDamage {
    [[noreturn]] static void Raise() { throw DamagedData(); }
};

// A window on the file's bytes: a field beyond the end of its record or of the file is damaged
// data.
using Bytes = LittleEndianFields<RecordDamage>;

// COLORREF: 0x00BBGGRR. A palette index (top byte 1) is read by its low bytes like a colour.
inline QColor ColorOf(std::uint32_t ref)
{
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF), static_cast<int>((ref >> 16) & 0xFF));
}

// LOGFONT character sets (lfCharSet) that text records depend on. A font without one of its
// own reads its text in the code page of the system the metafile was made on: 932.
constexpr std::uint8_t kAnsiCharset = 0, kDefaultCharset = 1, kSymbolCharset = 2;

// Text of a record in Unicode with, when the record gives them, the advance of each character,
// one for each UTF-16 unit of the text (0 for the second unit of a pair).
struct TextRun {
    QString text;
    std::vector<double> advances;
};

// ANSI text as GDI reads it in a font of the character set given: in that set's code page
// (SHIFTJIS and DEFAULT 932, ANSI 1252, GB2312 936, CHINESEBIG5 950, HANGUL 949, and so on),
// or through the Symbol font's encoding for SYMBOL. `byteAdvances`, when there is one for each
// byte, give the characters theirs: a double-byte character advances by the sum of its two.
// A byte or pair the code page has no character for reads as "?".
TextRun AnsiRun(std::string_view bytes, const std::vector<double>& byteAdvances, std::uint8_t charset);

// What both formats' records start with: their kind and their size in bytes.
struct RecordHead {
    std::uint32_t kind;
    std::uint64_t bytes;
};

// Walks the records from `at` to the end record (of kind `endKind`) or to the end of the data.
// `head(at)` reads a record's kind and size; a record smaller than its own head or reaching
// past the data is damage to the file, and so many records that no picture needs them are
// too large. A record whose own fields are not consistent (a count beyond its end, an object
// that is not there, a bitmap that does not decode) raises DamagedData or a decoder's picture
// error while `visit` plays it: that record is skipped, `skipped` told, and the rest played.
template <class Head, class Visit, class Skipped>
void ForEachRecord(const Bytes& file, std::size_t at, std::uint64_t headBytes, std::uint32_t endKind, Head&& head,
                   Visit&& visit, Skipped&& skipped)
{
    std::uint64_t count = 0;
    while (at < file.Size()) {
        const RecordHead record = head(at);
        if (record.bytes < headBytes || record.bytes > file.Size() - at)
            throw DamagedData();
        if (record.kind == endKind)
            return;
        if (++count > kMaxRecords)
            throw PictureTooLarge();
        try {
            visit(record.kind, at, static_cast<std::size_t>(record.bytes));
        } catch (const DamagedData&) {
            skipped();
        } catch (const EInvalidGraphic&) {
            skipped();
        }
        at += static_cast<std::size_t>(record.bytes);
    }
}

// PALETTEENTRY (red, green, blue, flags, a byte each) `count` times from `at`.
std::vector<QRgb> PaletteEntries(const Bytes& r, std::size_t at, std::uint64_t count);

// The width and height a BITMAPINFO's header gives (BITMAPCOREHEADER: 16 bits unsigned at 4
// and 6; the others: 32 bits signed at 4 and 8, a negative height counting rows top-down), read
// before the bitmap is decoded: the size a record's bitmap is decoded to depends on them.
// Raises DamagedData for a header too short to hold them.
QSize DibDimensions(const Bytes& info);

} // namespace tk::metafile
