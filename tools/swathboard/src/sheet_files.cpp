// Writing a printed sheet as a PNG and its totals as JSON.
//
// Both are written to a temporary file beside the target and renamed over
// it, so a failure never leaves a half-written file under the real name.
#include <cstdio>
#include <fstream>
#include <png.h>

#include "swathboard.h"

namespace swathboard {

namespace {

// Share of light each ink level absorbs, in 1/255: level 0 none, 3 all.
constexpr std::uint32_t kLevelDensity[4] = {0, 100, 180, 255};

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

bool Publish(const std::string& temp, const std::string& path, std::string* error) {
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return Fail(error, "cannot rename " + temp + " to " + path);
  }
  return true;
}

// Light left after one ink of `density` (0..255).
std::uint32_t Pass(std::uint32_t light, std::uint32_t density) { return light * (255 - density) / 255; }

// Cyan takes red, magenta green, yellow blue and black all three.
std::vector<std::uint8_t> Composite(const Sheet& sheet) {
  const std::size_t pixels = static_cast<std::size_t>(sheet.width) * sheet.height;
  std::vector<std::uint8_t> rgb(pixels * 3);
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint32_t k = kLevelDensity[sheet.ink[kInkK][i] & 3];
    const std::uint32_t c = kLevelDensity[sheet.ink[kInkC][i] & 3];
    const std::uint32_t m = kLevelDensity[sheet.ink[kInkM][i] & 3];
    const std::uint32_t y = kLevelDensity[sheet.ink[kInkY][i] & 3];
    rgb[3 * i + 0] = static_cast<std::uint8_t>(Pass(Pass(255, c), k));
    rgb[3 * i + 1] = static_cast<std::uint8_t>(Pass(Pass(255, m), k));
    rgb[3 * i + 2] = static_cast<std::uint8_t>(Pass(Pass(255, y), k));
  }
  return rgb;
}

bool PlanesComplete(const Sheet& sheet) {
  const std::size_t pixels = static_cast<std::size_t>(sheet.width) * sheet.height;
  for (const auto& plane : sheet.ink) {
    if (plane.size() != pixels) return false;
  }
  return true;
}

}  // namespace

bool WriteSheetPng(const Sheet& sheet, const std::string& png_path, std::string* error) {
  if (!PlanesComplete(sheet)) return Fail(error, "sheet planes do not match its size");
  if (sheet.width == 0 || sheet.height == 0) return Fail(error, "the sheet is empty");
  const std::vector<std::uint8_t> rgb = Composite(sheet);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = sheet.width;
  image.height = sheet.height;
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

bool WriteSheetSummaryJson(const Sheet& sheet, const std::string& json_path, std::string* error) {
  const SheetSummary& s = sheet.summary;
  const std::string temp = json_path + ".part";
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return Fail(error, "cannot write " + json_path);
    out << "{\"width\": " << sheet.width << ", \"height\": " << sheet.height << ", \"xdpi\": " << sheet.xdpi
        << ", \"ydpi\": " << sheet.ydpi << ",\n \"swaths\": " << s.swaths
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
