#include "output_path.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace swathprint {

namespace fs = std::filesystem;

std::string DefaultOutput(const std::string &input) {
    const size_t slash = input.rfind('/');
    const size_t dot = input.rfind('.');
    const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (has_ext ? input.substr(0, dot) : input) + ".printed.png";
}

std::string JobOutput(const std::string &output, uint32_t page, uint32_t copy) {
    const size_t dot = output.rfind(".png");
    const bool ends_png = dot != std::string::npos && dot + 4 == output.size();
    std::string stem = ends_png ? output.substr(0, dot) : output;
    if (page) stem += "-p" + std::to_string(page);
    if (copy) stem += "-c" + std::to_string(copy);
    return stem + (ends_png ? ".png" : "");
}

std::string SummaryPath(const std::string &output) {
    const size_t dot = output.rfind(".png");
    return (dot == std::string::npos ? output : output.substr(0, dot)) + ".json";
}

std::string PartialSheet(const std::string &output) { return output + ".part"; }
std::string PartialSummary(const std::string &output) { return SummaryPath(output) + ".part"; }

std::string OutputProblem(const std::string &output, const std::string &input) {
    std::error_code ec;
    const fs::path path(output);
    if (fs::is_directory(path, ec)) return "the output " + output + " is a folder";
    if (fs::exists(path, ec) && fs::equivalent(path, fs::path(input), ec))
        return "the output " + output + " is the document itself; give another --output";
    for (const std::string &trial : {PartialSheet(output), PartialSummary(output)}) {
        FILE *f = std::fopen(trial.c_str(), "wx");
        if (!f) {
            if (fs::exists(trial, ec)) continue;  // left by another run: the sheet writer replaces it
            return "cannot write " + output + " (its folder does not exist or takes no new file)";
        }
        std::fclose(f);
        std::remove(trial.c_str());
    }
    return "";
}

}  // namespace swathprint
