// Writing a printed sheet as a PNG and its totals as JSON.
//
// Both are written to a temporary file beside the target and renamed over
// it, so a failure never leaves a half-written file under the real name.
#include <png.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

#include "swathboard.h"

namespace swathboard {

namespace {

// Share of light each ink level absorbs, in 1/255: level 0 none, 3 all.
constexpr std::uint32_t kLevelDensity[4] = {0, 100, 180, 255};

bool Fail(std::string *error, const std::string &why) {
    if (error != nullptr) *error = why;
    return false;
}

bool Publish(const std::string &temp, const std::string &path, std::string *error) {
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return Fail(error, "cannot rename " + temp + " to " + path);
    }
    return true;
}

// Light left after one ink of `density` (0..255).
std::uint32_t Pass(std::uint32_t light, std::uint32_t density) { return light * (255 - density) / 255; }

// A picture larger than this keeps one PNG pixel per dot.
constexpr std::uint64_t kMaxStretchedPixels = 1u << 28;

// How often each dot repeats across and down so that the picture keeps the
// printed proportions (360 x 720 dpi: every column twice). 1 x 1 when the
// resolutions are equal, unknown, not whole multiples, or the picture
// would grow too large.
void Stretch(const Sheet &sheet, std::uint32_t *across, std::uint32_t *down) {
    *across = *down = 1;
    const std::uint32_t lo = std::min(sheet.xdpi, sheet.ydpi), hi = std::max(sheet.xdpi, sheet.ydpi);
    if (lo == 0 || hi % lo != 0 || hi / lo > 8) return;
    const std::uint64_t pixels = static_cast<std::uint64_t>(sheet.width) * sheet.height * (hi / lo);
    if (pixels > kMaxStretchedPixels) return;
    (sheet.xdpi < sheet.ydpi ? *across : *down) = hi / lo;
}

// Cyan takes red, magenta green, yellow blue and black all three.
std::array<std::uint8_t, 3> Colour(const Sheet &sheet, std::size_t i) {
    const std::uint32_t k = kLevelDensity[sheet.ink[kInkK][i] & 3];
    const std::uint32_t c = kLevelDensity[sheet.ink[kInkC][i] & 3];
    const std::uint32_t m = kLevelDensity[sheet.ink[kInkM][i] & 3];
    const std::uint32_t y = kLevelDensity[sheet.ink[kInkY][i] & 3];
    return {static_cast<std::uint8_t>(Pass(Pass(255, c), k)),
            static_cast<std::uint8_t>(Pass(Pass(255, m), k)),
            static_cast<std::uint8_t>(Pass(Pass(255, y), k))};
}

std::vector<std::uint8_t> Composite(const Sheet &sheet, std::uint32_t across, std::uint32_t down) {
    const std::size_t row_bytes = static_cast<std::size_t>(sheet.width) * across * 3;
    std::vector<std::uint8_t> rgb(row_bytes * sheet.height * down);
    std::uint8_t *out = rgb.data();
    for (std::size_t y = 0; y < sheet.height; ++y) {
        const std::uint8_t *row = out;
        for (std::size_t x = 0; x < sheet.width; ++x) {
            const std::array<std::uint8_t, 3> colour = Colour(sheet, y * sheet.width + x);
            for (std::uint32_t r = 0; r < across; ++r, out += 3) std::copy(colour.begin(), colour.end(), out);
        }
        for (std::uint32_t r = 1; r < down; ++r, out += row_bytes) std::copy(row, row + row_bytes, out);
    }
    return rgb;
}

bool PlanesComplete(const Sheet &sheet) {
    const std::size_t pixels = static_cast<std::size_t>(sheet.width) * sheet.height;
    for (const auto &plane : sheet.ink) {
        if (plane.size() != pixels) return false;
    }
    return true;
}

}  // namespace

bool WriteSheetPng(const Sheet &sheet, const std::string &png_path, std::string *error) {
    if (!PlanesComplete(sheet)) return Fail(error, "sheet planes do not match its size");
    if (sheet.width == 0 || sheet.height == 0) return Fail(error, "the sheet is empty");
    std::uint32_t across = 1, down = 1;
    Stretch(sheet, &across, &down);
    const std::vector<std::uint8_t> rgb = Composite(sheet, across, down);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = sheet.width * across;
    image.height = sheet.height * down;
    image.format = PNG_FORMAT_RGB;
    const std::string temp = png_path + ".part";
    if (png_image_write_to_file(&image, temp.c_str(), 0, rgb.data(), 0, nullptr) == 0) {
        const std::string why = image.message;
        png_image_free(&image);
        std::remove(temp.c_str());
        return Fail(error, "cannot write " + png_path + ": " + why);
    }
    return Publish(temp, png_path, error);
}

bool WriteSheetSummaryJson(const Sheet &sheet, const std::string &json_path, std::string *error) {
    const SheetSummary &s = sheet.summary;
    const std::string temp = json_path + ".part";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) return Fail(error, "cannot write " + json_path);
        out << "{\"width\": " << sheet.width << ", \"height\": " << sheet.height
            << ", \"xdpi\": " << sheet.xdpi << ", \"ydpi\": " << sheet.ydpi << ",\n \"swaths\": " << s.swaths
            << ", \"paper_advanced_um\": " << s.paper_advanced_um << ",\n \"dots\": [";
        for (std::size_t ch = 0; ch < s.dots.size(); ++ch) {
            out << (ch ? ", " : "") << "{\"channel\": " << ch << ", \"level1\": " << s.dots[ch][1]
                << ", \"level2\": " << s.dots[ch][2] << ", \"level3\": " << s.dots[ch][3] << "}";
        }
        out << "],\n \"doubled\": " << s.doubled << ", \"outside\": " << s.outside
            << ", \"drift_millilines\": " << s.drift_millilines << "}\n";
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return Fail(error, "cannot write " + json_path);
        }
    }
    return Publish(temp, json_path, error);
}

}  // namespace swathboard
