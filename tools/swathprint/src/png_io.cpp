// PNG reading and writing through libpng. libpng reports errors by longjmp;
// every call that may fail runs below one setjmp, and the buffers it fills
// live outside that frame.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <functional>
#include <memory>

#include "image.h"
#include "image_util.h"

namespace swathprint {

namespace {

struct PngErrors {
    std::string message;
};

void OnPngError(png_structp png, png_const_charp msg) {
    static_cast<PngErrors *>(png_get_error_ptr(png))->message = msg ? msg : "damaged file";
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}  // a warning leaves the image usable

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The decoded rows and the header values, filled inside the setjmp frame.
struct PngRead {
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, color_type = 0, channels = 0;
    bool bilevel = false;
    double xdpi = 0, ydpi = 0;
    size_t row_bytes = 0;
    std::vector<png_byte> bytes;
    std::vector<png_bytep> rows;
};

// Header, transforms (palette and small grey depths to 8 bits, 16-bit
// samples in host order, transparency to alpha) and the rows.
bool DecodePng(png_structp png, png_infop info, FILE *file, PngRead *r, std::string *error) {
    png_init_io(png, file);
    png_read_info(png, info);
    int interlace = 0;
    png_get_IHDR(png, info, &r->width, &r->height, &r->bit_depth, &r->color_type, &interlace, nullptr,
                 nullptr);
    if (!CheckImageSize(r->width, r->height, error)) return false;
    r->bilevel = r->bit_depth == 1 && r->color_type == PNG_COLOR_TYPE_GRAY;
    png_uint_32 xppm = 0, yppm = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER) {
        r->xdpi = xppm * 0.0254;
        r->ydpi = yppm * 0.0254;
    }
    if (r->color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (r->color_type == PNG_COLOR_TYPE_GRAY && r->bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (r->bit_depth == 16) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    r->bit_depth = png_get_bit_depth(png, info);
    r->channels = png_get_channels(png, info);
    r->row_bytes = png_get_rowbytes(png, info);
    r->bytes.resize(r->row_bytes * r->height);
    r->rows.resize(r->height);
    for (png_uint_32 y = 0; y < r->height; ++y) r->rows[y] = &r->bytes[y * r->row_bytes];
    png_read_image(png, r->rows.data());
    png_read_end(png, nullptr);
    return true;
}

// Runs `step` below a setjmp: false when libpng reported an error. The
// caller's locals live outside this frame, so none is clobbered.
bool Guarded(png_structp png, const std::function<void()> &step) {
    if (setjmp(png_jmpbuf(png))) return false;
    step();
    return true;
}

bool RunDecode(FILE *file, PngRead *r, std::string *error) {
    PngErrors errors;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        *error = "out of memory";
        return false;
    }
    bool decoded = false;
    if (!Guarded(png, [&] { decoded = DecodePng(png, info, file, r, error); }))
        *error = "damaged or truncated PNG (" + errors.message + ")";
    png_destroy_read_struct(&png, &info, nullptr);
    return decoded;
}

// Decoded rows to 16-bit samples; alpha composited on white.
void ToImage(const PngRead &r, Image *image) {
    const bool colour = r.color_type & PNG_COLOR_MASK_COLOR || r.color_type == PNG_COLOR_TYPE_PALETTE;
    const int base = colour ? 3 : 1;
    const bool alpha = r.channels > base;
    image->width = r.width;
    image->height = r.height;
    image->model = colour ? ColorModel::kRgb : ColorModel::kGrey;
    image->bilevel = r.bilevel;
    image->xdpi = r.xdpi;
    image->ydpi = r.ydpi;
    image->samples.resize(size_t(r.width) * r.height * base);
    uint16_t *out = image->samples.data();
    for (png_uint_32 y = 0; y < r.height; ++y) {
        const png_byte *row = r.rows[y];
        for (png_uint_32 x = 0; x < r.width; ++x) {
            uint16_t px[4];
            for (int c = 0; c < r.channels; ++c) {
                px[c] = r.bit_depth == 16 ? reinterpret_cast<const uint16_t *>(row)[x * r.channels + c]
                                          : static_cast<uint16_t>(row[x * r.channels + c] * 257);
            }
            for (int c = 0; c < base; ++c) *out++ = alpha ? OverWhite(px[c], px[base]) : px[c];
        }
    }
}

}  // namespace

bool ReadPng(FILE *file, Image *image, std::string *error) {
    PngRead r;
    if (!RunDecode(file, &r, error)) return false;
    ToImage(r, image);
    return true;
}

namespace {

void EncodePng(png_structp png, png_infop info, FILE *file, const Image &image, int bits) {
    const uint32_t channels = image.Channels();
    std::vector<png_byte> row(size_t(image.width) * channels * (bits / 8));
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, bits,
                 channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.xdpi > 0 && image.ydpi > 0) {
        png_set_pHYs(png, info, static_cast<png_uint_32>(image.xdpi / 0.0254 + 0.5),
                     static_cast<png_uint_32>(image.ydpi / 0.0254 + 0.5), PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint16_t *src = &image.samples[size_t(y) * image.width * channels];
        for (size_t i = 0; i < size_t(image.width) * channels; ++i) {
            if (bits == 8) {
                row[i] = static_cast<png_byte>(src[i] >> 8);
            } else {
                row[2 * i] = static_cast<png_byte>(src[i] >> 8);  // PNG is big-endian
                row[2 * i + 1] = static_cast<png_byte>(src[i]);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
}

}  // namespace

bool WritePng(const std::string &path, const Image &image, int bits, std::string *error) {
    if (image.model == ColorModel::kCmyk || (bits != 8 && bits != 16)) {
        *error = "PNG holds only 8- or 16-bit grey or RGB";
        return false;
    }
    const std::string temp = TempNameFor(path);
    File file(std::fopen(temp.c_str(), "wb"));
    if (!file) {
        *error = "cannot write " + path;
        return false;
    }
    PngErrors errors;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool encoded = info && Guarded(png, [&] { EncodePng(png, info, file.get(), image, bits); });
    png_destroy_write_struct(&png, &info);
    const bool flushed = std::fflush(file.get()) == 0;
    file.reset();
    if (!encoded || !flushed) {
        std::remove(temp.c_str());
        *error = "cannot write " + path + (errors.message.empty() ? "" : " (" + errors.message + ")");
        return false;
    }
    return CommitFile(temp, path, error);
}

}  // namespace swathprint
