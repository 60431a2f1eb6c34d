// Writing JPEG files for tests and benchmarks with libjpeg's compressor.
#pragma once

#include <QColor>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

enum class JpegKind { Baseline, Progressive, Arithmetic, Grayscale, CmykAdobe, CmykPlain, Ycck }; // CMYK kinds last

// A JPEG file written by libjpeg's compressor, pixel by pixel from colourAt. Grayscale files
// take the green channel; CMYK files the inks of the colour, inverted when they carry Adobe's
// marker (as Photoshop writes them).
inline std::string EncodeJpeg(int width, int height, JpegKind kind, const std::function<QRgb(int, int)>& colourAt,
                              int quality = 95)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    const bool gray = kind == JpegKind::Grayscale, cmyk = kind >= JpegKind::CmykAdobe;
    c.input_components = gray ? 1 : cmyk ? 4 : 3;
    c.in_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (cmyk)
        jpeg_set_colorspace(&c, kind == JpegKind::Ycck ? JCS_YCCK : JCS_CMYK);
    c.write_Adobe_marker = cmyk && kind != JpegKind::CmykPlain;
    jpeg_set_quality(&c, quality, TRUE);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&c);
    c.arith_code = kind == JpegKind::Arithmetic;
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row;
    while (c.next_scanline < c.image_height) {
        row.clear();
        for (int x = 0; x < width; ++x) {
            const QRgb rgb = colourAt(x, static_cast<int>(c.next_scanline));
            const int r = qRed(rgb), g = qGreen(rgb), b = qBlue(rgb), brightest = std::max({r, g, b, 1});
            if (gray)
                row.push_back(static_cast<unsigned char>(g));
            else if (!cmyk)
                for (int channel : {r, g, b})
                    row.push_back(static_cast<unsigned char>(channel));
            else
                for (int ink : {(brightest - r) * 255 / brightest, (brightest - g) * 255 / brightest,
                                (brightest - b) * 255 / brightest, 255 - brightest})
                    row.push_back(static_cast<unsigned char>(c.write_Adobe_marker ? 255 - ink : ink));
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&c, &rowPointer, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes(reinterpret_cast<char*>(out), size);
    std::free(out);
    return bytes;
}
