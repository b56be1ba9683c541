// PNG writing through libpng. libpng reports errors by longjmp;
// every call that may fail runs below one setjmp, and the buffers it fills
// live outside that frame.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <functional>
#include <memory>

#include "image.h"

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

// Runs `step` below a setjmp: false when libpng reported an error. The
// caller's locals live outside this frame, so none is clobbered.
bool Guarded(png_structp png, const std::function<void()> &step) {
    if (setjmp(png_jmpbuf(png))) return false;
    step();
    return true;
}

}  // namespace

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
