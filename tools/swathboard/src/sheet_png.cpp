#include "sheet_png.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>

namespace swathboard {

namespace {

// Share of light each ink level absorbs, in 1/255: level 0 none, 3 all.
constexpr std::uint32_t kLevelDensity[4] = {0, 100, 180, 255};

// A picture larger than this keeps one PNG pixel per dot.
constexpr std::uint64_t kMaxStretchedPixels = 1u << 28;

// Light left after one ink of `density` (0..255).
std::uint32_t Pass(std::uint32_t light, std::uint32_t density) { return light * (255 - density) / 255; }

// Cyan takes red, magenta green, yellow blue and black all three: the colour
// of every packed pixel, worked out once.
using Palette = std::array<std::array<std::uint8_t, 3>, 256>;
const Palette &Colours() {
    static const Palette palette = [] {
        Palette p{};
        for (unsigned v = 0; v < 256; ++v) {
            const auto d = [&](unsigned ink) {
                return kLevelDensity[PackedLevel(static_cast<std::uint8_t>(v), ink)];
            };
            const std::uint32_t k = d(0), c = d(1), m = d(2), y = d(3);
            p[v] = {static_cast<std::uint8_t>(Pass(Pass(255, c), k)),
                    static_cast<std::uint8_t>(Pass(Pass(255, m), k)),
                    static_cast<std::uint8_t>(Pass(Pass(255, y), k))};
        }
        return p;
    }();
    return palette;
}

// How often each dot repeats across and down so that the picture keeps the
// printed proportions. 1 x 1 when the resolutions are equal, unknown, not
// whole multiples, or the picture would grow too large.
void Stretch(const SheetPngShape &s, std::uint32_t *across, std::uint32_t *down) {
    *across = *down = 1;
    const std::uint32_t lo = std::min(s.xdpi, s.ydpi), hi = std::max(s.xdpi, s.ydpi);
    if (lo == 0 || hi % lo != 0 || hi / lo > 8) return;
    const std::uint64_t pixels =
        std::uint64_t{s.width} * s.height * (hi / lo) / s.preview_scale / s.preview_scale;
    if (pixels > kMaxStretchedPixels) return;
    (s.xdpi < s.ydpi ? *across : *down) = hi / lo;
}

std::uint32_t Reduced(std::uint32_t dots, std::uint32_t scale) { return (dots + scale - 1) / scale; }

[[noreturn]] void RaiseError(png_structp png, png_const_charp message) {
    auto *why = static_cast<std::string *>(png_get_error_ptr(png));
    if (why) *why = message;
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

struct SheetPng::Png {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string why;
    ~Png() { png_destroy_write_struct(&png, &info); }
};

SheetPng::SheetPng() = default;
SheetPng::~SheetPng() { Abandon(); }

void SheetPng::Abandon() {
    png_.reset();
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(temp_.c_str());
    }
}

bool SheetPng::Open(const std::string &path, std::string *error) {
    Abandon();
    path_ = path;
    temp_ = path + ".part";
    file_ = std::fopen(temp_.c_str(), "wb");
    if (!file_) return *error = "cannot write " + path, false;
    return true;
}

bool SheetPng::Start(const SheetPngShape &shape, std::string *error) {
    if (!file_ || png_) return *error = "cannot write " + path_, false;
    shape_ = shape;
    shape_.preview_scale = std::max<std::uint32_t>(shape.preview_scale, 1);
    rows_ = 0;
    if (shape_.width == 0 || shape_.height == 0) {
        Abandon();
        return *error = "the sheet is empty", false;
    }
    Stretch(shape_, &across_, &down_);
    const std::uint32_t scale = shape_.preview_scale;
    const std::uint32_t width = Reduced(shape_.width, scale) * across_;
    const std::uint32_t height = Reduced(shape_.height, scale) * down_;
    sums_.assign(std::size_t{Reduced(shape_.width, scale)} * 3, 0);
    out_.assign(std::size_t{width} * 3, 0);

    png_ = std::make_unique<Png>();
    png_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &png_->why, RaiseError, IgnoreWarning);
    if (png_->png) png_->info = png_create_info_struct(png_->png);
    if (!png_->info) {
        Abandon();
        return *error = "cannot write " + path_ + ": out of memory", false;
    }
    if (setjmp(png_jmpbuf(png_->png))) {
        *error = "cannot write " + path_ + ": " + png_->why;
        Abandon();
        return false;
    }
    png_init_io(png_->png, file_);
    // Screened dots defeat prediction and strong compression alike: the
    // fastest level with the cheapest filter writes several times faster
    // for a file a little larger.
    png_set_compression_level(png_->png, 1);
    png_set_filter(png_->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png_->png, png_->info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (shape_.xdpi && shape_.ydpi) {
        const auto per_metre = [&](std::uint32_t dpi, std::uint32_t repeat) {
            return static_cast<png_uint_32>(double(dpi) * repeat / scale / 0.0254 + 0.5);
        };
        png_set_pHYs(png_->png, png_->info, per_metre(shape_.xdpi, across_), per_metre(shape_.ydpi, down_),
                     PNG_RESOLUTION_METER);
    }
    png_write_info(png_->png, png_->info);
    return true;
}

bool SheetPng::AddRow(const std::uint8_t *pixels, std::string *error) {
    if (!png_ || rows_ >= shape_.height) return *error = "sheet row beyond its height", false;
    const Palette &colours = Colours();
    for (std::uint32_t x = 0; x < shape_.width; ++x) {
        const auto &rgb = colours[pixels[x]];
        std::uint32_t *sum = &sums_[std::size_t{x / shape_.preview_scale} * 3];
        sum[0] += rgb[0], sum[1] += rgb[1], sum[2] += rgb[2];
    }
    ++rows_;
    if (rows_ % shape_.preview_scale == 0 || rows_ == shape_.height) return EmitRow(error);
    return true;
}

// Turns the gathered sums into one picture row (means over the preview
// block, repeated for the proportions) and writes it.
bool SheetPng::EmitRow(std::string *error) {
    const std::uint32_t scale = shape_.preview_scale;
    const std::uint32_t rows = (rows_ - 1) % scale + 1;
    const std::uint32_t blocks = static_cast<std::uint32_t>(sums_.size() / 3);
    std::uint8_t *out = out_.data();
    for (std::uint32_t b = 0; b < blocks; ++b) {
        const std::uint32_t columns = std::min(scale, shape_.width - b * scale);
        const std::uint32_t count = columns * rows;
        std::uint8_t mean[3];
        for (int c = 0; c < 3; ++c)
            mean[c] = static_cast<std::uint8_t>((sums_[b * 3 + c] + count / 2) / count);
        for (std::uint32_t r = 0; r < across_; ++r, out += 3) std::memcpy(out, mean, 3);
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    if (setjmp(png_jmpbuf(png_->png))) {
        *error = "cannot write " + path_ + ": " + png_->why;
        Abandon();
        return false;
    }
    for (std::uint32_t r = 0; r < down_; ++r) png_write_row(png_->png, out_.data());
    return true;
}

bool SheetPng::Finish(std::string *error) {
    if (!png_) return *error = "cannot write " + path_, false;
    const std::vector<std::uint8_t> blank(shape_.width, 0);
    while (rows_ < shape_.height)
        if (!AddRow(blank.data(), error)) return false;
    if (setjmp(png_jmpbuf(png_->png))) {
        *error = "cannot write " + path_ + ": " + png_->why;
        Abandon();
        return false;
    }
    png_write_end(png_->png, png_->info);
    png_.reset();
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed || std::rename(temp_.c_str(), path_.c_str()) != 0) {
        std::remove(temp_.c_str());
        return *error = "cannot write " + path_, false;
    }
    return true;
}

}  // namespace swathboard
