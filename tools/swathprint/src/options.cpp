#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>

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

bool ToPositive(const char *text, double *out) {
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (!*text || *end || !(v > 0) || v > 1e6) return false;
    *out = v;
    return true;
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

struct Flag {
    std::string_view name;
    bool takes_value;
    std::function<bool(const char *)> set;  // false: the value is bad
};

std::vector<Flag> Flags(Options *o) {
    auto dpi = [](uint32_t *at) {
        return [at](const char *v) {
            uint64_t n;
            return ToUnsigned(v, 100000, &n) && n > 0 && (*at = static_cast<uint32_t>(n), true);
        };
    };
    auto lines = [](int64_t *at) {
        return [at](const char *v) {
            uint64_t n;
            return ToUnsigned(v, uint64_t(1) << 40, &n) && (*at = static_cast<int64_t>(n), true);
        };
    };
    auto text = [](std::string *at) { return [at](const char *v) { return *v && (*at = v, true); }; };
    return {
        {"--xdpi", true, dpi(&o->xdpi)},
        {"--ydpi", true, dpi(&o->ydpi)},
        {"--width-mm", true, [o](const char *v) { return ToPositive(v, &o->width_mm); }},
        {"--bits", true,
         [o](const char *v) {
             return (std::strcmp(v, "1") == 0 || std::strcmp(v, "2") == 0) && (o->bits = std::atoi(v), true);
         }},
        {"--board", true, text(&o->board)},
        {"--pc", true, text(&o->pc)},
        {"--emulator-ip", true, text(&o->emulator_ip)},
        {"--board-preset", true, text(&o->board_preset)},
        {"--bidirectional", false, [o](const char *) { return o->bidirectional = true; }},
        {"--drop-pl", true, [o](const char *v) { return ToDrops(v, &o->drop_pl); }},
        {"--pause-after", true, lines(&o->pause_after)},
        {"--abort-after", true, lines(&o->abort_after)},
        {"--library", true, text(&o->library)},
        {"--output", true, text(&o->output)},
        {"--help", false, [o](const char *) { return o->help = true; }},
        {"--version", false, [o](const char *) { return o->version = true; }},
    };
}

}  // namespace

bool ParseOptions(int argc, char **argv, Options *options, std::string *error) {
    const std::vector<Flag> flags = Flags(options);
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() < 2 || arg.substr(0, 2) != "--") {
            if (!options->input.empty()) {
                *error = "more than one image given";
                return false;
            }
            options->input = argv[i];
            continue;
        }
        const Flag *flag = nullptr;
        for (const Flag &f : flags)
            if (f.name == arg) flag = &f;
        if (!flag) {
            *error = "unknown option " + std::string(arg);
            return false;
        }
        const char *value = "";
        if (flag->takes_value) {
            if (i + 1 >= argc) {
                *error = std::string(arg) + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!flag->set(value)) {
            *error = "bad value for " + std::string(arg) + ": " + value;
            return false;
        }
    }
    if (options->input.empty() && !options->help && !options->version) {
        *error = "no image given";
        return false;
    }
    return true;
}

const char *UsageText() {
    return "usage: swathprint [options] IMAGE\n"
           "Prints a PNG or TIFF image (grey, RGB or CMYK; 8 or 16 bits; 1-bit grey) through the\n"
           "swathlink driver, by default to a built-in board emulator, and writes the printed\n"
           "sheet as a PNG next to the image.\n"
           "\n"
           "  --xdpi N, --ydpi N    print resolution (default 720 x 720); YDPI 360, 720, 1080\n"
           "                        or 1440; XDPI one of 225 270 300 360 450 540 600 720\n"
           "                        900 1080 1200 1440 1800 2160 2400 2880\n"
           "  --width-mm MM         printed width; else the image's own resolution, else one\n"
           "                        image pixel per dot\n"
           "  --bits 1|2            1-bit job (one dot size) or 2-bit dot levels (default 2;\n"
           "                        1 for a 1-bit image)\n"
           "  --output PATH         the printed sheet (default IMAGE.printed.png)\n"
           "  --board ADDRESS       print to the board at ADDRESS instead of the emulator\n"
           "                        (no sheet is written then)\n"
           "  --pc ADDRESS          this PC's address the board expects (default 127.0.0.1)\n"
           "  --emulator-ip ADDR    loopback address of the built-in emulator (default 127.0.0.160)\n"
           "  --board-preset NAME   emulator settings: old, new or new-align (default new)\n"
           "  --bidirectional       the emulator asks for two-way printing\n"
           "  --drop-pl S,M,L       drop volume of dot levels 1, 2, 3 in picolitres\n"
           "                        (default 4,8,12), for the ink estimate\n"
           "  --pause-after N       pause after N lines, continue a moment later\n"
           "  --abort-after N       abort after N lines (Ctrl-C aborts too; twice ends at once)\n"
           "  --library PATH        the driver library (default: $SWATHLINK_LIBRARY, then\n"
           "                        libswathlink.so.N beside the program, in its lib folder,\n"
           "                        then on the loader's search path)\n"
           "  --help                print this help and exit\n"
           "  --version             print the version and exit\n"
           "\n"
           "Exit codes: 0 printed; 2 bad option, resolution or mode; 3 unreadable image;\n"
           "4 image too wide; 5 board unreachable or job refused; 6 aborted as asked;\n"
           "7 driver or output file problem; and for a job that did not print completely:\n"
           "8 cancelled at the printer; 9 stopped by the board (with --board, a cancel at\n"
           "the printer shows as 9 too); 10 not every swath reached the board.\n";
}

}  // namespace swathprint
