#include "test_documents.h"

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace printerapp::test {

std::vector<uint8_t> Pattern(uint32_t width, uint32_t height, int channels) {
    std::vector<uint8_t> p(size_t(width) * height * channels);
    size_t i = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const uint32_t v = c == 0   ? x * 5 + y
                                   : c == 1 ? y * 7
                                   : c == 2 ? (x + y) * 3
                                            : (x / 16 + y / 16) * 40;
                p[i++] = static_cast<uint8_t>(((x / 64 + y / 64) % 5 == 0) ? 255 - (v & 0xFF) : v);
            }
    return p;
}

void WritePng(const std::string &path, uint32_t width, uint32_t height, int dpi,
              const std::vector<uint8_t> &rgb) {
    FILE *f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const png_uint_32 per_metre = static_cast<png_uint_32>(dpi / 0.0254 + 0.5);
    png_set_pHYs(png, info, per_metre, per_metre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(&rgb[size_t(y) * width * 3]));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

void WriteJpeg(const std::string &path, uint32_t width, uint32_t height, int dpi,
               const std::vector<uint8_t> &rgb) {
    FILE *f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    c.density_unit = 1;  // dots per inch
    c.X_density = c.Y_density = static_cast<UINT16>(dpi);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(c.next_scanline) * width * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

namespace {

void Put32(std::vector<uint8_t> *b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

// PWG raster: "RaS2", then per page a 1796-byte big-endian header and the
// lines, each a repeat count and runs of literal pixels.
namespace {

// The page header of a PWG raster stream, after its "RaS2".
std::vector<uint8_t> PwgHeader(uint32_t width, uint32_t height, int xdpi, int ydpi, int channels) {
    constexpr uint32_t kSrgb = 19, kCmyk = 6, kSgray = 18;
    std::vector<uint8_t> h(1796, 0);
    const char media_class[] = "PwgRaster";
    std::copy(media_class, media_class + 9, h.begin());
    Put32(&h, 276, xdpi);
    Put32(&h, 280, ydpi);
    Put32(&h, 340, 1);                                    // NumCopies
    Put32(&h, 352, uint32_t(width * 72.0 / xdpi + 0.5));  // PageSize in points
    Put32(&h, 356, uint32_t(height * 72.0 / ydpi + 0.5));
    Put32(&h, 372, width);
    Put32(&h, 376, height);
    Put32(&h, 384, 8);
    Put32(&h, 388, 8 * channels);
    Put32(&h, 392, width * channels);
    Put32(&h, 400, channels == 3 ? kSrgb : channels == 4 ? kCmyk : kSgray);
    Put32(&h, 420, channels);  // NumColors
    Put32(&h, 452, 1);         // TotalPageCount
    return h;
}

}  // namespace

void WritePwgRaster(const std::string &path, uint32_t width, uint32_t height, int xdpi, int ydpi,
                    int channels, const std::vector<uint8_t> &samples) {
    const std::vector<uint8_t> h = PwgHeader(width, height, xdpi, ydpi, channels);
    std::ofstream out(path, std::ios::binary);
    out.write("RaS2", 4);
    out.write(reinterpret_cast<const char *>(h.data()), h.size());
    for (uint32_t y = 0; y < height; ++y) {
        std::vector<uint8_t> line{0};
        for (uint32_t x = 0; x < width;) {
            const uint32_t n = std::min<uint32_t>(128, width - x);
            line.push_back(static_cast<uint8_t>(n == 1 ? 0 : 257 - n));
            const uint8_t *from = &samples[(size_t(y) * width + x) * channels];
            line.insert(line.end(), from, from + size_t(n) * channels);
            x += n;
        }
        out.write(reinterpret_cast<const char *>(line.data()), line.size());
    }
}

void WriteCmykTiff(const std::string &path, uint32_t width, uint32_t height, int dpi,
                   const std::vector<uint8_t> &cmyk) {
    TIFF *t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, float(dpi));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, float(dpi));
    for (uint32_t y = 0; y < height; ++y)
        TIFFWriteScanline(t, const_cast<uint8_t *>(&cmyk[size_t(y) * width * 4]), y, 0);
    TIFFClose(t);
}

void WritePdf(const std::string &path, double width_in, double height_in) {
    const double w = width_in * 72, h = height_in * 72;
    std::ostringstream content;
    content << "1 0 0 rg 0 0 " << w / 3 << " " << h << " re f\n"
            << "0 0.6 1 rg " << w / 3 << " 0 " << w / 3 << " " << h << " re f\n"
            << "1 1 0 rg " << 2 * w / 3 << " 0 " << w / 3 << " " << h / 2 << " re f\n"
            << "0 g " << 2 * w / 3 << " " << h / 2 << " " << w / 6 << " " << h / 4 << " re f\n";
    const std::string stream = content.str();
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(w) + " " + std::to_string(h) +
            "] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "endstream"};
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    std::ofstream(path, std::ios::binary) << pdf;
}

bool ReadPng(const std::string &path, uint32_t *width, uint32_t *height, std::vector<uint8_t> *rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba->assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr)) return false;
    *width = image.width;
    *height = image.height;
    return true;
}

void WriteBlankGreyPwgRaster(const std::string &path, uint32_t width, uint32_t height, int dpi) {
    const std::vector<uint8_t> h = PwgHeader(width, height, dpi, dpi, 1);
    std::ofstream out(path, std::ios::binary);
    out.write("RaS2", 4);
    out.write(reinterpret_cast<const char *>(h.data()), h.size());
    // Each record: 256 lines of white runs of up to 128 pixels.
    std::vector<uint8_t> record{255};
    for (uint32_t x = 0; x < width;) {
        const uint32_t n = std::min<uint32_t>(128, width - x);
        record.push_back(static_cast<uint8_t>(n - 1));
        record.push_back(255);
        x += n;
    }
    for (uint32_t y = 0; y < height; y += 256)
        out.write(reinterpret_cast<const char *>(record.data()), record.size());
}

}  // namespace printerapp::test
