#include "drivers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "raster_job.h"
#include "raster_limits.h"

namespace printerapp {

namespace {

// Resolutions (across x down) offered, lowest first: four of the pairs the
// printer places exactly (PAPPL takes at most four). PAPPL prints a job that
// names no resolution at the first for draft quality, the last for high and
// the middle one for normal, so the middle one is also the default given to
// clients: the default a client shows is what prints.
struct Resolution {
    int x, y;
};
constexpr Resolution kResolutions[] = {{360, 360}, {720, 720}, {1440, 720}, {1440, 1440}};
constexpr Resolution kDefaultResolution = kResolutions[std::size(kResolutions) / 2];

constexpr int kRollMinWidthMm = 100;
constexpr int kRollMinLengthMm = 50;
// A page's height in lines is a 32-bit count in CUPS's raster header code,
// which overflows past this at 1440 lines an inch.
constexpr int kRollMaxLengthMm = 14900;

enum DriverKind { kCmyk, kBlack };

pappl_pr_driver_t kDrivers[] = {
    {"swathlink_cmyk", "swathlink wide-format, four colours (CMYK)", nullptr, nullptr},
    {"swathlink_black", "swathlink wide-format, black only", nullptr, nullptr},
};

// Sizes offered by name besides the roll's range.
const char *const kNamedMedia[] = {"iso_a0_841x1189mm", "iso_a1_594x841mm", "iso_a2_420x594mm",
                                   "iso_a3_297x420mm", "iso_a4_210x297mm"};
constexpr const char *kDefaultMedia = "iso_a1_594x841mm";
constexpr const char *kRollSource = "main-roll";

void SetResolutions(pappl_pr_driver_data_t *d) {
    d->num_resolution = 0;
    for (const Resolution &r : kResolutions) {
        d->x_resolution[d->num_resolution] = r.x;
        d->y_resolution[d->num_resolution] = r.y;
        ++d->num_resolution;
    }
    d->x_default = kDefaultResolution.x;
    d->y_default = kDefaultResolution.y;
}

// Media names must outlive the printer: kept in static storage built once.
void SetMedia(pappl_pr_driver_data_t *d) {
    static char roll_min[64], roll_max[64];
    static bool made = false;
    if (!made) {
        std::snprintf(roll_min, sizeof roll_min, "roll_min_%dx%dmm", kRollMinWidthMm, kRollMinLengthMm);
        std::snprintf(roll_max, sizeof roll_max, "roll_max_%dx%dmm", RollMaxWidthMm(), kRollMaxLengthMm);
        made = true;
    }
    d->num_media = 0;
    for (const char *name : kNamedMedia) d->media[d->num_media++] = name;
    d->media[d->num_media++] = roll_min;
    d->media[d->num_media++] = roll_max;
    d->borderless = true;
    d->left_right = 0;
    d->bottom_top = 0;
    d->num_source = 1;
    d->source[0] = kRollSource;
    d->num_type = 1;
    d->type[0] = "stationery";
    pappl_media_col_t &ready = d->media_ready[0];
    std::snprintf(ready.size_name, sizeof ready.size_name, "%s", kDefaultMedia);
    if (pwg_media_t *pwg = pwgMediaForPWG(kDefaultMedia)) {
        ready.size_width = pwg->width;
        ready.size_length = pwg->length;
    }
    std::snprintf(ready.source, sizeof ready.source, "%s", kRollSource);
    std::snprintf(ready.type, sizeof ready.type, "%s", "stationery");
    d->media_default = ready;
}

}  // namespace

pappl_pr_driver_t *Drivers() { return kDrivers; }
int DriverCount() { return static_cast<int>(sizeof kDrivers / sizeof kDrivers[0]); }

int RollMaxWidthMm() {
    double mm = 1e9;
    for (const Resolution &r : kResolutions) mm = std::min(mm, frontend::MaxRasterWidth(r.x) * 25.4 / r.x);
    return static_cast<int>(mm);
}

bool IsBlackOnly(pappl_printer_t *printer) {
    const char *name = papplPrinterGetDriverName(printer);
    return name && std::strcmp(name, kDrivers[kBlack].name) == 0;
}

int RollMaxLengthMm() { return kRollMaxLengthMm; }

bool DriverCallback(pappl_system_t *, const char *driver_name, const char *, const char *,
                    pappl_pr_driver_data_t *d, ipp_t **, void *) {
    const bool black = std::strcmp(driver_name, kDrivers[kBlack].name) == 0;
    if (!black && std::strcmp(driver_name, kDrivers[kCmyk].name) != 0) return false;
    SetRasterCallbacks(d, black);
    std::snprintf(d->make_and_model, sizeof d->make_and_model, "%s",
                  black ? "swathlink wide-format (black)" : "swathlink wide-format (CMYK)");
    d->format = "image/pwg-raster";
    d->ppm = 1;
    d->kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_PHOTO | PAPPL_KIND_POSTCARD;
    d->orient_default = IPP_ORIENT_NONE;
    d->quality_default = IPP_QUALITY_NORMAL;
    d->scaling_default = PAPPL_SCALING_AUTO;
    d->sides_supported = PAPPL_SIDES_ONE_SIDED;
    d->sides_default = PAPPL_SIDES_ONE_SIDED;
    if (black) {
        d->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
        d->color_supported = PAPPL_COLOR_MODE_MONOCHROME;
        d->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    } else {
        d->ppm_color = 1;
        d->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8 |
                          PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_CMYK_8;
        d->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
        d->color_default = PAPPL_COLOR_MODE_COLOR;
    }
    SetResolutions(d);
    SetMedia(d);
    return true;
}

const char *AutoAdd(const char *, const char *, const char *, void *) { return nullptr; }

}  // namespace printerapp
