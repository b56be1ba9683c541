// Writing a printed sheet as a PNG and its totals as JSON.
//
// Both are written to a temporary file beside the target and renamed over
// it, so a failure never leaves a half-written file under the real name.
#include <cstdio>
#include <fstream>

#include "sheet_png.h"
#include "swathboard.h"

namespace swathboard {

namespace {

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
    SheetPng png;
    std::string why;
    if (sheet.width == 0 || sheet.height == 0) return Fail(error, "the sheet is empty");
    if (!png.Open(png_path, &why) || !png.Start({sheet.width, sheet.height, sheet.xdpi, sheet.ydpi, 1}, &why))
        return Fail(error, why);
    std::vector<std::uint8_t> row(sheet.width);
    for (std::size_t y = 0; y < sheet.height; ++y) {
        const std::size_t at = y * sheet.width;
        for (std::size_t x = 0; x < sheet.width; ++x) {
            std::uint8_t pixel = 0;
            for (unsigned ink = 0; ink < 4; ++ink) pixel = WithLevel(pixel, ink, sheet.ink[ink][at + x] & 3u);
            row[x] = pixel;
        }
        if (!png.AddRow(row.data(), &why)) return Fail(error, why);
    }
    return png.Finish(&why) || Fail(error, why);
}

// The totals keep the layout their readers match line for line (a channel's
// counts on one line, a space after every separator), which a JSON library's
// writer does not produce; every value is a number, so nothing needs escaping.
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
