#include "summary.h"

#include <cstdio>

namespace swathprint {

namespace {

constexpr double kFiringHz = 30000;  // the head fires one slice per period

std::string Format(const char *fmt, double a, double b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, fmt, a, b);
    return text;
}

// The dots and ink of a job that stopped part way.
std::string PartInk(const Options &options, const Printed &printed) {
    if (!printed.known)
        return ", ink unknown (the job stopped part way; the board does not say what it printed)";
    uint64_t dots = 0;
    double picolitres = 0;
    for (const auto &channel : printed.channel_dots)
        for (int level = 1; level <= 3; ++level) {
            dots += channel[level];
            picolitres += channel[level] * options.drop_pl[level - 1];
        }
    return ", dots printed " + std::to_string(dots) +
           Format(", ink %.2f ul (drops %g", picolitres * 1e-6, options.drop_pl[0]) +
           Format("/%g/%g pl) in the swaths the board accepted", options.drop_pl[1], options.drop_pl[2]);
}

}  // namespace

std::string SummaryLine(const JobPlan &plan, const Options &options, const RunStats &stats,
                        const BoardStats &board, const Printed &printed) {
    std::string out = board.swaths >= 0 ? std::to_string(board.swaths) + " swaths, " : "";
    // A job that stopped part way is not claimed to have printed its size.
    if (!printed.complete) out += "part of a ";
    out +=
        Format("%.1f x %.1f mm", plan.content_width * 25.4 / options.xdpi, plan.height * 25.4 / options.ydpi);
    out += std::string(printed.complete ? "" : " job") + " at " + std::to_string(options.xdpi) + " x " +
           std::to_string(options.ydpi) + " dpi";
    if (!printed.complete) {
        out += PartInk(options, printed);
        if (board.swaths >= 0)
            out += Format(", carriage %.1f s at %.0f kHz", board.firings / kFiringHz, kFiringHz / 1000);
        return out;
    }
    out += ", dots";
    static constexpr struct {
        const char *name;
        Plane plane;
    } kInks[] = {{"K", kK}, {"C", kC}, {"M", kM}, {"Y", kY}};
    double picolitres = 0;
    for (const auto &ink : kInks) {
        const auto &levels = stats.dots[ink.plane];
        out += std::string(" ") + ink.name + " " + std::to_string(levels[1] + levels[2] + levels[3]);
        for (int level = 1; level <= 3; ++level) picolitres += levels[level] * options.drop_pl[level - 1];
    }
    out += Format(", ink %.2f ul (drops %g", picolitres * 1e-6, options.drop_pl[0]);
    out += Format("/%g/%g pl)", options.drop_pl[1], options.drop_pl[2]);
    if (board.swaths >= 0)
        out += Format(", carriage %.1f s at %.0f kHz", board.firings / kFiringHz, kFiringHz / 1000);
    return out;
}

}  // namespace swathprint
