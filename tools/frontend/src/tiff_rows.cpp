// TIFF pages through libtiff: grey (either polarity), RGB and CMYK, 1-bit
// grey, 8 or 16 bits per sample, in strips or tiles, one plane or separate
// planes, every directory a page. Strips are read a scanline at a time;
// tiles a row of tiles at a time, so memory follows the width and the tile
// height, never the length.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <mutex>

#include "readers.h"

namespace frontend {

namespace {

// libtiff reports through a process-wide handler; each thread keeps its
// last error to name it in its one message.
thread_local std::string g_tiff_error;

void OnTiffError(const char *, const char *fmt, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, fmt, args);
    g_tiff_error = text;
}

void InstallHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(OnTiffError);
        TIFFSetWarningHandler(nullptr);
    });
}

struct TiffLayout {
    uint16_t bits = 0, spp = 0, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t base = 0;  // colour samples per pixel (1, 3 or 4)
    bool alpha = false;
    bool tiled = false;
    // Rows read together: a row of tiles, or a strip of separate planes
    // (whose compressed strips cannot be read a scanline at a time across
    // planes); 1 for strips of interleaved samples, read by scanline.
    uint32_t band_rows = 1;
    uint32_t tile_width = 0, tile_height = 0;
};

bool ReadModel(TIFF *tif, TiffLayout *l, PageInfo *info, std::string *error) {
    uint16_t inkset = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l->photometric)) {
        *error = "TIFF without a colour model";
        return false;
    }
    switch (l->photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK: info->model = PixelModel::kGrey, l->base = 1; break;
    case PHOTOMETRIC_RGB: info->model = PixelModel::kRgb, l->base = 3; break;
    case PHOTOMETRIC_SEPARATED: info->model = PixelModel::kCmyk, l->base = 4; break;
    default: *error = "TIFF colour model not supported (grey, RGB or CMYK)"; return false;
    }
    if (l->photometric == PHOTOMETRIC_SEPARATED && inkset != INKSET_CMYK) {
        *error = "TIFF separations are not CMYK";
        return false;
    }
    return true;
}

bool ReadLayout(TIFF *tif, TiffLayout *l, PageInfo *info, std::string *error) {
    uint16_t format = SAMPLEFORMAT_UINT;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &info->width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &info->height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l->bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l->spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l->planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    if (!ReadModel(tif, l, info, error)) return false;
    if (l->spp < l->base || format != SAMPLEFORMAT_UINT ||
        !(l->bits == 8 || l->bits == 16 || (l->bits == 1 && l->spp == 1))) {
        *error = "TIFF sample layout not supported (8 or 16 bits per sample, or 1-bit grey)";
        return false;
    }
    // Buffers are sized from the header before any row is read: a short
    // file must not claim thousands of samples per pixel.
    constexpr uint16_t kMaxSamplesPerPixel = 8;  // four colours and four extra samples
    if (l->spp > kMaxSamplesPerPixel) {
        *error = "TIFF with more than 8 samples per pixel not supported";
        return false;
    }
    if (info->width == 0 || info->height == 0) {
        *error = "the image is empty";
        return false;
    }
    constexpr uint32_t kMaxWidth = 1u << 24;
    if (info->width > kMaxWidth) {
        *error = "TIFF wider than " + std::to_string(kMaxWidth) + " pixels";
        return false;
    }
    l->tiled = TIFFIsTiled(tif);
    if (l->tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &l->tile_width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &l->tile_height);
        constexpr uint32_t kMaxTileSide = 1u << 16;
        if (l->tile_width == 0 || l->tile_height == 0 || l->tile_height > kMaxTileSide ||
            l->tile_width > kMaxTileSide) {
            *error = "TIFF with tiles of an unusable size";
            return false;
        }
    }
    if (l->tiled) {
        l->band_rows = l->tile_height;
    } else if (l->planar != PLANARCONFIG_CONTIG) {
        uint32_t rows_per_strip = info->height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
        l->band_rows = std::clamp<uint32_t>(rows_per_strip, 1, info->height);
        // A band is held for every plane: its size must stay reasonable.
        constexpr uint64_t kMaxBandBytes = 256u << 20;
        if (uint64_t(l->band_rows) * info->width * l->bits / 8 * l->spp > kMaxBandBytes) {
            *error = "TIFF with separate planes in strips too large to read";
            return false;
        }
    }
    uint16_t extra = 0;
    uint16_t *kinds = nullptr;
    // An alpha sample is read only when the pixel holds one beyond its colours.
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds) && extra > 0 &&
        info->model != PixelModel::kCmyk && l->spp > l->base)
        l->alpha = kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA;
    info->bilevel = l->bits == 1;
    return true;
}

void ReadExtras(TIFF *tif, PageInfo *info) {
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit != RESUNIT_NONE && TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) &&
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) && xres > 0 && yres > 0) {
        const double per_inch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
        info->xdpi = xres * per_inch;
        info->ydpi = yres * per_inch;
    }
    uint32_t icc_len = 0;
    void *icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &icc_len, &icc) && icc && icc_len)
        info->icc.assign(static_cast<uint8_t *>(icc), static_cast<uint8_t *>(icc) + icc_len);
}

// Sample `index` of a line of one plane or of interleaved samples, as 16 bits.
uint16_t SampleAt(const uint8_t *line, uint16_t bits, size_t index) {
    if (bits == 16) return reinterpret_cast<const uint16_t *>(line)[index];
    if (bits == 8) return static_cast<uint16_t>(line[index] * 257);
    return (line[index / 8] >> (7 - index % 8)) & 1 ? 65535 : 0;
}

// One page: the rows of one directory, in order.
class TiffPage : public PageReader {
public:
    TiffPage(TIFF *tif, const TiffLayout &layout, const PageInfo &info) : tif_(tif), l_(layout) {
        info_ = info;
        planes_ = l_.planar == PLANARCONFIG_CONTIG ? 1 : static_cast<uint16_t>(l_.base + (l_.alpha ? 1 : 0));
        const size_t line_bytes = l_.planar == PLANARCONFIG_CONTIG
                                      ? (size_t(info_.width) * l_.spp * l_.bits + 7) / 8
                                      : (size_t(info_.width) * l_.bits + 7) / 8;
        line_bytes_ = line_bytes;
        band_.resize(planes_, std::vector<uint8_t>(line_bytes * l_.band_rows));
        if (l_.tiled) tile_.resize(static_cast<size_t>(TIFFTileSize64(tif_)));
    }

    bool ReadRow(uint16_t *samples, std::string *error) override {
        if (row_ >= info_.height) {
            *error = "read past the last row";
            return false;
        }
        g_tiff_error = "unreadable";
        const bool read = l_.tiled           ? LoadTileBand(row_)
                          : l_.band_rows > 1 ? LoadStripBand(row_)
                                             : LoadScanline(row_);
        if (!read) {
            *error = "damaged or truncated TIFF at row " + std::to_string(row_) + " (" + g_tiff_error + ")";
            return false;
        }
        const uint32_t in_band = row_ % l_.band_rows;
        Store(in_band, samples);
        ++row_;
        return true;
    }

private:
    // A strip of each plane is decoded when its first row is asked for.
    bool LoadStripBand(uint32_t y) {
        if (y % l_.band_rows != 0) return true;
        const uint32_t rows = std::min(l_.band_rows, info_.height - y);
        for (uint16_t p = 0; p < planes_; ++p) {
            const tstrip_t strip = TIFFComputeStrip(tif_, y, p);
            if (TIFFReadEncodedStrip(tif_, strip, band_[p].data(), tmsize_t(rows * line_bytes_)) < 0)
                return false;
        }
        return true;
    }

    bool LoadScanline(uint32_t y) {
        for (uint16_t p = 0; p < planes_; ++p)
            if (TIFFReadScanline(tif_, band_[p].data(), y, p) < 0) return false;
        return true;
    }

    // A row of tiles is decoded when its first row is asked for; the band
    // holds it as whole lines of each plane.
    bool LoadTileBand(uint32_t y) {
        if (y % l_.tile_height != 0) return true;
        const size_t pixel_bits = size_t(l_.bits) * (l_.planar == PLANARCONFIG_CONTIG ? l_.spp : 1);
        const size_t tile_row_bytes = (size_t(l_.tile_width) * pixel_bits + 7) / 8;
        const uint32_t rows = std::min(l_.tile_height, info_.height - y);
        for (uint16_t p = 0; p < planes_; ++p) {
            for (uint32_t x = 0; x < info_.width; x += l_.tile_width) {
                if (TIFFReadTile(tif_, tile_.data(), x, y, 0, p) < 0) return false;
                const size_t at = size_t(x) * pixel_bits / 8;  // tile widths are multiples of 16
                const size_t bytes = std::min(tile_row_bytes, line_bytes_ - at);
                for (uint32_t r = 0; r < rows; ++r)
                    std::copy_n(&tile_[r * tile_row_bytes], bytes, &band_[p][r * line_bytes_ + at]);
            }
        }
        return true;
    }

    // Line `r` of the band into 16-bit samples, the colours in their usual
    // polarity and alpha composited on white.
    void Store(uint32_t r, uint16_t *out) const {
        const bool invert = l_.photometric == PHOTOMETRIC_MINISWHITE;
        const bool contig = l_.planar == PLANARCONFIG_CONTIG;
        if (contig && !invert && !l_.alpha && l_.spp == l_.base && l_.bits >= 8)
            return WidenSamples(&band_[0][r * line_bytes_], l_.bits, size_t(info_.width) * l_.base, out);
        for (uint32_t x = 0; x < info_.width; ++x) {
            const auto sample = [&](uint16_t c) {
                return contig ? SampleAt(&band_[0][r * line_bytes_], l_.bits, size_t(x) * l_.spp + c)
                              : SampleAt(&band_[c][r * line_bytes_], l_.bits, x);
            };
            const uint16_t alpha = l_.alpha ? sample(l_.base) : 65535;
            for (uint16_t c = 0; c < l_.base; ++c) {
                uint16_t v = sample(c);
                if (invert) v = static_cast<uint16_t>(65535 - v);
                *out++ = l_.alpha ? OverWhite(v, alpha) : v;
            }
        }
    }

    TIFF *tif_;
    TiffLayout l_;
    uint16_t planes_ = 1;
    size_t line_bytes_ = 0;
    uint32_t row_ = 0;
    std::vector<std::vector<uint8_t>> band_;
    std::vector<uint8_t> tile_;
};

struct TiffCloser {
    void operator()(TIFF *t) const { TIFFClose(t); }
};

class TiffDocument : public Document {
public:
    TiffDocument(TIFF *tif, uint32_t only_page) : tif_(tif), only_page_(only_page) {
        kind_ = "TIFF";
        pages_ = TIFFNumberOfDirectories(tif);
    }

    std::unique_ptr<PageReader> NextPage(std::string *error) override {
        g_tiff_error = "unreadable";
        if (only_page_) {
            if (next_ > 0) return nullptr;
            if (only_page_ > pages_ || !TIFFSetDirectory(tif_.get(), static_cast<tdir_t>(only_page_ - 1))) {
                *error = "there is no page " + std::to_string(only_page_) + " (the file has " +
                         std::to_string(pages_) + (pages_ == 1 ? " page)" : " pages)");
                return nullptr;
            }
        } else if (next_ > 0 && !TIFFReadDirectory(tif_.get())) {
            return nullptr;
        }
        ++next_;
        TiffLayout layout;
        PageInfo info;
        if (!ReadLayout(tif_.get(), &layout, &info, error)) return nullptr;
        ReadExtras(tif_.get(), &info);
        return std::make_unique<TiffPage>(tif_.get(), layout, info);
    }

    uint32_t PageCount() const override { return only_page_ ? 1 : pages_; }

private:
    std::unique_ptr<TIFF, TiffCloser> tif_;
    uint32_t only_page_;
    uint32_t pages_ = 1;
    uint32_t next_ = 0;
};

}  // namespace

std::unique_ptr<Document> OpenTiff(const std::string &path, const DocumentOptions &options,
                                   std::string *error) {
    InstallHandlers();
    g_tiff_error = "unreadable";
    TIFF *tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        *error = "damaged or truncated TIFF (" + g_tiff_error + ")";
        return nullptr;
    }
    return std::make_unique<TiffDocument>(tif, options.page);
}

}  // namespace frontend
