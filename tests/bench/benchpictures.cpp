// Picture files for the benchmarks, and the libjpeg floor.
#include "benchpictures.h"
#include "jpegwriter.h"

#include "textfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio> // jpeglib.h uses FILE without including stdio.h
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace bench {

namespace {

std::string Le(std::uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
    return out;
}
std::string U16(std::int64_t v) { return Le(static_cast<std::uint16_t>(v), 2); }
std::string U32(std::int64_t v) { return Le(static_cast<std::uint32_t>(v), 4); }

// One row of 24-bit pixels in BGR order (as BMP stores them), padded to 32 bits.
std::string PixelRow(int width, int y)
{
    std::string row;
    row.reserve(static_cast<std::size_t>(width) * 3 + 3);
    std::uint32_t grain = 2166136261u ^ static_cast<std::uint32_t>(y);
    for (int x = 0; x < width; ++x) {
        grain = grain * 1664525u + 1013904223u;
        const int noise = static_cast<int>(grain >> 28) - 8;
        row += static_cast<char>(std::clamp((x * 255 / width + noise), 0, 255));
        row += static_cast<char>(std::clamp((y * 255 / 3000 + x / 40 % 64 + noise), 0, 255));
        row += static_cast<char>(std::clamp(((x + y) / 16 % 200 + noise), 0, 255));
    }
    row.resize((row.size() + 3) / 4 * 4, '\0');
    return row;
}

std::string InfoHeader(int width, int height)
{
    const std::int64_t imageBytes = static_cast<std::int64_t>((width * 3 + 3) / 4 * 4) * height;
    return U32(40) + U32(width) + U32(height) + U16(1) + U16(24) + U32(0) + U32(imageBytes) + U32(3780) + U32(3780) +
           U32(0) + U32(0);
}

std::string DibRows(int width, int height)
{
    std::string rows;
    for (int y = height - 1; y >= 0; --y)
        rows += PixelRow(width, y);
    return rows;
}

} // namespace

std::string EncodeJpeg(int width, int height)
{
    // The colours of the bitmap rows, with a grain of their own, so that the file is as costly
    // to decode as a photograph.
    return ::EncodeJpeg(width, height, JpegKind::Baseline, [height, width](int x, int y) {
        const std::uint32_t grain = (static_cast<std::uint32_t>(x) * 2654435761u) ^ (static_cast<std::uint32_t>(y) * 40503u);
        const int noise = static_cast<int>((grain * 1664525u + 1013904223u) >> 28) - 8;
        const auto level = [noise](int value) { return std::clamp(value + noise, 0, 255); };
        return qRgb(level((x + y) / 16 % 200), level(y * 255 / height + x / 40 % 64), level(x * 255 / width));
    }, 90);
}

std::string EncodeBmp(int width, int height)
{
    const std::string info = InfoHeader(width, height);
    const std::string rows = DibRows(width, height);
    return "BM" + U32(static_cast<std::int64_t>(14 + info.size() + rows.size())) + U32(0) +
           U32(static_cast<std::int64_t>(14 + info.size())) + info + rows;
}

// EMR_HEADER (type 1), EMR_STRETCHDIBITS (type 81) and EMR_EOF (type 14), at 96 pixels per
// inch on a reference device of 960 pixels to 254 mm.
std::string EncodeEmfWithBitmap(int width, int height)
{
    const std::string info = InfoHeader(width, height);
    const std::string rows = DibRows(width, height);
    const std::int64_t fixed = 80; // the record's fields before the bitmap
    std::string stretch = U32(81) + U32(fixed + static_cast<std::int64_t>(info.size() + rows.size())) + U32(0) +
                          U32(0) + U32(width - 1) + U32(height - 1) + U32(0) + U32(0) + U32(0) + U32(0) + U32(width) +
                          U32(height) + U32(fixed) + U32(static_cast<std::int64_t>(info.size())) +
                          U32(fixed + static_cast<std::int64_t>(info.size())) +
                          U32(static_cast<std::int64_t>(rows.size())) + U32(0) + U32(0x00CC0020) + U32(width) +
                          U32(height);
    stretch += info + rows;
    const std::string eof = U32(14) + U32(20) + U32(0) + U32(16) + U32(20);
    const std::string header =
        U32(1) + U32(88) + U32(0) + U32(0) + U32(width - 1) + U32(height - 1) + U32(0) + U32(0) +
        U32(width * 2540 / 96) + U32(height * 2540 / 96) + U32(0x464D4520) + U32(0x10000) +
        U32(static_cast<std::int64_t>(88 + stretch.size() + eof.size())) + U32(3) + U16(1) + U16(0) + U32(0) +
        U32(0) + U32(0) + U32(960) + U32(960) + U32(254) + U32(254);
    return header + stretch + eof;
}

void DecodeWithLibjpeg(const std::string& path, int denominator)
{
    const std::string data = tk::ReadFileBytes(path);
    jpeg_decompress_struct d{};
    jpeg_error_mgr errors{};
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGRA;
    d.scale_num = 1;
    d.scale_denom = static_cast<unsigned>(denominator);
    jpeg_start_decompress(&d);
    std::vector<unsigned char> row(static_cast<std::size_t>(d.output_width) * 4);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rowPointer = row.data();
        jpeg_read_scanlines(&d, &rowPointer, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

void Touch(const std::string& path)
{
    static long next = 1'000'000'000;
    const timespec times[2] = {{next, 0}, {next, 0}};
    ++next;
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot touch " + path);
}

} // namespace bench
