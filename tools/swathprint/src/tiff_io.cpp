// TIFF reading through libtiff: grey (either polarity), RGB and CMYK, 1-bit
// grey, 8 or 16 bits per sample, in strips, one plane or separate planes.
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "image.h"
#include "image_util.h"

namespace swathprint {

namespace {

// libtiff reports through a process-wide handler; the reader keeps the last
// error to name it in its one message.
thread_local std::string g_tiff_error;

void OnTiffError(const char *, const char *fmt, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, fmt, args);
    g_tiff_error = text;
}

struct TiffCloser {
    void operator()(TIFF *t) const { TIFFClose(t); }
};

struct TiffLayout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, spp = 0, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t base = 0;  // colour samples per pixel (1, 3 or 4)
    bool alpha = false;
    ColorModel model = ColorModel::kGrey;
};

bool ReadLayout(TIFF *tif, TiffLayout *l, std::string *error) {
    uint16_t format = SAMPLEFORMAT_UINT, inkset = INKSET_CMYK;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l->width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l->height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l->bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l->spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l->planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l->photometric)) {
        *error = "TIFF without a colour model";
        return false;
    }
    switch (l->photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK: l->model = ColorModel::kGrey, l->base = 1; break;
    case PHOTOMETRIC_RGB: l->model = ColorModel::kRgb, l->base = 3; break;
    case PHOTOMETRIC_SEPARATED: l->model = ColorModel::kCmyk, l->base = 4; break;
    default: *error = "TIFF colour model not supported (grey, RGB or CMYK)"; return false;
    }
    if (l->photometric == PHOTOMETRIC_SEPARATED && inkset != INKSET_CMYK) {
        *error = "TIFF separations are not CMYK";
        return false;
    }
    if (l->spp < l->base || format != SAMPLEFORMAT_UINT ||
        !(l->bits == 8 || l->bits == 16 || (l->bits == 1 && l->spp == 1))) {
        *error = "TIFF sample layout not supported (8 or 16 bits per sample, or 1-bit grey)";
        return false;
    }
    // The line buffer is sized from the header before any row is read: a
    // short file must not claim thousands of samples per pixel.
    constexpr uint16_t kMaxSamplesPerPixel = 8;  // four colours and four extra samples
    if (l->spp > kMaxSamplesPerPixel) {
        *error = "TIFF with more than 8 samples per pixel not supported";
        return false;
    }
    if (TIFFIsTiled(tif)) {
        *error = "tiled TIFF not supported (strips only)";
        return false;
    }
    uint16_t extra = 0;
    uint16_t *kinds = nullptr;
    // An alpha sample is read only when the pixel holds one beyond its colours.
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds) && extra > 0 &&
        l->model != ColorModel::kCmyk && l->spp > l->base)
        l->alpha = kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA;
    return CheckImageSize(l->width, l->height, error);
}

void ReadResolution(TIFF *tif, Image *image) {
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_NONE || !TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) ||
        !TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres))
        return;
    const double per_inch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    image->xdpi = xres * per_inch;
    image->ydpi = yres * per_inch;
}

// Sample `index` of a scanline as a 16-bit value.
uint16_t SampleAt(const uint8_t *line, uint16_t bits, size_t index) {
    if (bits == 16) return reinterpret_cast<const uint16_t *>(line)[index];
    if (bits == 8) return static_cast<uint16_t>(line[index] * 257);
    return (line[index / 8] >> (7 - index % 8)) & 1 ? 65535 : 0;
}

// One scanline (one plane of it, for separate planes) into the image.
void StoreLine(const TiffLayout &l, const uint8_t *line, uint32_t y, uint16_t plane, uint16_t *alpha_row,
               Image *image) {
    const bool invert = l.photometric == PHOTOMETRIC_MINISWHITE;
    const bool contig = l.planar == PLANARCONFIG_CONTIG;
    uint16_t *out = &image->samples[size_t(y) * l.width * l.base];
    for (uint32_t x = 0; x < l.width; ++x) {
        for (uint16_t c = 0; c < l.base + (l.alpha ? 1 : 0); ++c) {
            if (!contig && c != plane) continue;
            uint16_t v = SampleAt(line, l.bits, contig ? size_t(x) * l.spp + c : x);
            if (c == l.base) {
                alpha_row[x] = v;
            } else {
                out[size_t(x) * l.base + c] = invert ? static_cast<uint16_t>(65535 - v) : v;
            }
        }
    }
}

bool ReadRows(TIFF *tif, const TiffLayout &l, Image *image, std::string *error) {
    std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize64(tif)));
    // Alpha is kept whole only when there is one (planes may come one by one).
    std::vector<uint16_t> alpha(l.alpha ? size_t(l.width) * l.height : 1, 65535);
    const uint16_t planes =
        l.planar == PLANARCONFIG_CONTIG ? 1 : static_cast<uint16_t>(l.base + (l.alpha ? 1 : 0));
    for (uint16_t plane = 0; plane < planes; ++plane) {
        for (uint32_t y = 0; y < l.height; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, plane) < 0) {
                *error = "damaged or truncated TIFF at row " + std::to_string(y) + " (" + g_tiff_error + ")";
                return false;
            }
            StoreLine(l, line.data(), y, plane, l.alpha ? &alpha[size_t(y) * l.width] : alpha.data(), image);
        }
    }
    if (!l.alpha) return true;
    for (size_t i = 0; i < alpha.size(); ++i) {
        for (uint16_t c = 0; c < l.base; ++c) {
            uint16_t &v = image->samples[i * l.base + c];
            v = OverWhite(v, alpha[i]);
        }
    }
    return true;
}

}  // namespace

bool ReadTiff(const std::string &path, Image *image, std::string *error) {
    TIFFSetErrorHandler(OnTiffError);
    TIFFSetWarningHandler(nullptr);
    g_tiff_error = "unreadable";
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
    if (!tif) {
        *error = "damaged or truncated TIFF (" + g_tiff_error + ")";
        return false;
    }
    TiffLayout l;
    if (!ReadLayout(tif.get(), &l, error)) return false;
    image->width = l.width;
    image->height = l.height;
    image->model = l.model;
    image->bilevel = l.bits == 1;
    ReadResolution(tif.get(), image);
    image->samples.assign(size_t(l.width) * l.height * l.base, 0);
    return ReadRows(tif.get(), l, image, error);
}

}  // namespace swathprint
