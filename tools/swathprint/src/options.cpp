#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "colour_options.h"

namespace swathprint {

namespace {

bool ToUnsigned(const char *text, uint64_t max, uint64_t *out) {
    if (!*text || *text == '-') return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || *end || v > max) return false;
    *out = v;
    return true;
}

bool ToNumber(const char *text, double min, double max, double *out) {
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (!*text || *end || !(v >= min) || v > max) return false;
    *out = v;
    return true;
}

bool ToPositive(const char *text, double *out) {
    double v = 0;
    return ToNumber(text, 0, 1e6, &v) && v > 0 && (*out = v, true);
}

bool ToDrops(const char *text, std::array<double, 3> *out) {
    std::string s(text);
    std::array<double, 3> v{};
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t comma = s.find(',', at);
        if ((i < 2) != (comma != std::string::npos)) return false;
        const std::string part = s.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!ToPositive(part.c_str(), &v[i])) return false;
        at = comma + 1;
    }
    *out = v;
    return true;
}

// Long options only: the value of each is set by Set() below, by its index.
enum OptionId : int {
    kXdpi = 256,
    kYdpi,
    kWidthMm,
    kBits,
    kBoard,
    kPc,
    kEmulatorIp,
    kBoardPreset,
    kBidirectional,
    kDropPl,
    kPauseAfter,
    kAbortAfter,
    kLibrary,
    kOutput,
    kPage,
    kRotate,
    kMirror,
    kCopies,
    kGapMm,
    kMarginMm,
    kPreviewScale,
    kOutputProfile,
    kIntent,
    kInkLimit,
    kHelp,
    kVersion,
};

constexpr option kLongOptions[] = {
    {"xdpi", required_argument, nullptr, kXdpi},
    {"ydpi", required_argument, nullptr, kYdpi},
    {"width-mm", required_argument, nullptr, kWidthMm},
    {"bits", required_argument, nullptr, kBits},
    {"board", required_argument, nullptr, kBoard},
    {"pc", required_argument, nullptr, kPc},
    {"emulator-ip", required_argument, nullptr, kEmulatorIp},
    {"board-preset", required_argument, nullptr, kBoardPreset},
    {"bidirectional", no_argument, nullptr, kBidirectional},
    {"drop-pl", required_argument, nullptr, kDropPl},
    {"pause-after", required_argument, nullptr, kPauseAfter},
    {"abort-after", required_argument, nullptr, kAbortAfter},
    {"library", required_argument, nullptr, kLibrary},
    {"output", required_argument, nullptr, kOutput},
    {"page", required_argument, nullptr, kPage},
    {"rotate", required_argument, nullptr, kRotate},
    {"mirror", no_argument, nullptr, kMirror},
    {"copies", required_argument, nullptr, kCopies},
    {"gap-mm", required_argument, nullptr, kGapMm},
    {"margin-mm", required_argument, nullptr, kMarginMm},
    {"preview-scale", required_argument, nullptr, kPreviewScale},
    {"output-profile", required_argument, nullptr, kOutputProfile},
    {"intent", required_argument, nullptr, kIntent},
    {"ink-limit", required_argument, nullptr, kInkLimit},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Sets the option `id` from `v`; false when the value is bad.
bool Set(int id, const char *v, Options *o) {
    uint64_t n = 0;
    const auto dpi = [&](uint32_t *at) {
        return ToUnsigned(v, 100000, &n) && n > 0 && (*at = uint32_t(n), true);
    };
    const auto lines = [&](int64_t *at) {
        return ToUnsigned(v, uint64_t(1) << 40, &n) && (*at = int64_t(n), true);
    };
    const auto text = [&](std::string *at) { return *v && (*at = v, true); };
    switch (id) {
    case kXdpi: return dpi(&o->xdpi);
    case kYdpi: return dpi(&o->ydpi);
    case kWidthMm: return ToPositive(v, &o->width_mm);
    case kBits:
        return (std::strcmp(v, "1") == 0 || std::strcmp(v, "2") == 0) && (o->bits = std::atoi(v), true);
    case kBoard: return text(&o->board);
    case kPc: return text(&o->pc);
    case kEmulatorIp: return text(&o->emulator_ip);
    case kBoardPreset: return text(&o->board_preset);
    case kBidirectional: return o->bidirectional = true;
    case kDropPl: return ToDrops(v, &o->drop_pl);
    case kPauseAfter: return lines(&o->pause_after);
    case kAbortAfter: return lines(&o->abort_after);
    case kLibrary: return text(&o->library);
    case kOutput: return text(&o->output);
    case kPage: return ToUnsigned(v, 1000000, &n) && n > 0 && (o->page = uint32_t(n), true);
    case kRotate: return ToUnsigned(v, 270, &n) && n % 90 == 0 && (o->rotate = int(n), true);
    case kMirror: return o->mirror = true;
    case kCopies: return ToUnsigned(v, 10000, &n) && n > 0 && (o->copies = uint32_t(n), true);
    case kGapMm: return ToNumber(v, 0, 1e5, &o->gap_mm);
    case kMarginMm: return ToNumber(v, 0, 1e4, &o->margin_mm);
    case kPreviewScale: return ToUnsigned(v, 64, &n) && n > 0 && (o->preview_scale = uint32_t(n), true);
    case kOutputProfile: return frontend::SetColourOption("--output-profile", v, &o->colour);
    case kIntent: return frontend::SetColourOption("--intent", v, &o->colour);
    case kInkLimit: return frontend::SetColourOption("--ink-limit", v, &o->colour);
    case kHelp: return o->help = true;
    case kVersion: return o->version = true;
    }
    return false;
}

}  // namespace

bool ParseOptions(int argc, char **argv, Options *options, std::string *error) {
    // getopt_long keeps its place in globals: start afresh, and say nothing
    // itself (its complaints become the one message below).
    optind = 0;
    opterr = 0;
    for (;;) {
        int index = -1;
        const int id = getopt_long(argc, argv, ":", kLongOptions, &index);
        if (id == -1) break;
        // Unknown or without its value: the word itself; else the option's name.
        const std::string arg = argv[std::max(1, optind - 1)];
        const std::string name =
            index >= 0 ? "--" + std::string(kLongOptions[index].name) : arg.substr(0, arg.find('='));
        if (id == '?') {
            *error = "unknown option " + name;
            return false;
        }
        if (id == ':') {
            *error = name + " needs a value";
            return false;
        }
        if (!Set(id, optarg ? optarg : "", options)) {
            *error = "bad value for " + name + ": " + (optarg ? optarg : "");
            return false;
        }
    }
    for (int i = optind; i < argc; ++i) {
        if (!options->input.empty()) {
            *error = "more than one image given";
            return false;
        }
        options->input = argv[i];
    }
    if (options->input.empty() && !options->help && !options->version) {
        *error = "no image given";
        return false;
    }
    return true;
}

namespace {

const char *UsageTemplate() {
    return "usage: swathprint [options] [--] DOCUMENT\n"
           "Prints a PNG, TIFF, JPEG, PDF, PostScript or EPS document through the swathlink\n"
           "driver, by default to a built-in board emulator, and writes the printed sheet as\n"
           "a PNG next to the document. Pages are read, converted and screened row by row,\n"
           "so a banner of any length prints in the memory of a few swaths.\n"
           "\n"
           "  --xdpi N, --ydpi N    print resolution (default 720 x 720); YDPI 360, 720, 1080\n"
           "                        or 1440; XDPI one of 225 270 300 360 450 540 600 720\n"
           "                        900 1080 1200 1440 1800 2160 2400 2880\n"
           "  --width-mm MM         printed width; else the image's own resolution (a PDF or\n"
           "                        PostScript page its own size), else one pixel per dot\n"
           "  --bits 1|2            1-bit job (one dot size) or 2-bit dot levels (default 2;\n"
           "                        1 for a 1-bit image)\n"
           "  --page N              print page N only (default: every page, each its own job)\n"
           "  --rotate 90|180|270   turn the page clockwise (a turned page is read through\n"
           "                        an anonymous temporary file in $TMPDIR)\n"
           "  --mirror              print mirrored left to right\n"
           "  --copies N            print N copies, each its own job (default 1)\n"
           "  --gap-mm MM           with --copies: all copies in one job, MM apart\n"
           "  --margin-mm MM        blank media left of the image (default 0)\n"
           "%COLOUR%"
           "  --output PATH         the printed sheet (default DOCUMENT.printed.png; with\n"
           "                        several jobs, -pN for page N and -cN for copy N are added\n"
           "                        before .png)\n"
           "  --preview-scale N     the sheet N times smaller each way (for long jobs)\n"
           "  --board ADDRESS       print to the board at ADDRESS instead of the emulator\n"
           "                        (no sheet is written then)\n"
           "  --pc ADDRESS          this PC's address the board expects (default 127.0.0.1)\n"
           "  --emulator-ip ADDR    loopback address of the built-in emulator (default 127.0.0.160)\n"
           "  --board-preset NAME   emulator settings: old, new or new-align (default new)\n"
           "  --bidirectional       the emulator asks for two-way printing\n"
           "  --drop-pl S,M,L       drop volume of dot levels 1, 2, 3 in picolitres\n"
           "                        (default 4,8,12), for the ink estimate\n"
           "  --pause-after N       pause after N lines, continue a moment later\n"
           "  --abort-after N       abort after N lines (Ctrl-C aborts too: the printer\n"
           "                        confirms; a second Ctrl-C ends at once, removing the\n"
           "                        partial files)\n"
           "  --library PATH        the driver library (default: $SWATHLINK_LIBRARY, then\n"
           "                        libswathlink.so.N beside the program, in its lib folder,\n"
           "                        then on the loader's search path)\n"
           "  --help                print this help and exit\n"
           "  --version             print the version and exit\n"
           "\n"
           "Exit codes: 0 printed; 2 bad option, resolution or mode; 3 unreadable document;\n"
           "4 image too wide or too long; 5 board unreachable or job refused; 6 aborted as\n"
           "asked (--abort-after or Ctrl-C); 7 driver or output file problem; and for a job\n"
           "that did not print completely: 8 cancelled at the printer; 9 stopped by the\n"
           "board (with --board, a cancel the board reports only by refusing a swath shows\n"
           "as 9 too); 10 not every swath reached the board; 130 a second Ctrl-C. The\n"
           "summary of a job that stopped part way counts the ink of the swaths the board\n"
           "accepted, and a line \"link: dropped ...\" tells when the link to the board\n"
           "dropped during the job and whether it came back.\n";
}

}  // namespace

const char *UsageText() {
    // The colour options' lines come from the front end that reads them.
    static const std::string text = [] {
        std::string t = UsageTemplate();
        const std::string mark = "%COLOUR%";
        return t.replace(t.find(mark), mark.size(), frontend::ColourUsageText());
    }();
    return text.c_str();
}

}  // namespace swathprint
