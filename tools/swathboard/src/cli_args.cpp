#include "cli_args.h"

#include <getopt.h>

#include <charconv>
#include <string_view>

namespace swathboard {

namespace {

// Parses "a:b:c" into up to `max` unsigned numbers; at least `min` needed.
bool Numbers(std::string_view text, std::size_t min, std::size_t max, std::vector<std::uint32_t> *out) {
    out->clear();
    while (out->size() < max) {
        const std::size_t colon = text.find(':');
        const std::string_view part = text.substr(0, colon);
        std::uint32_t v = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (ec != std::errc() || end != part.data() + part.size() || part.empty()) return false;
        out->push_back(v);
        if (colon == std::string_view::npos) return out->size() >= min;
        text.remove_prefix(colon + 1);
    }
    return false;
}

bool CodeFault(CommandFault::Kind kind, std::string_view text, BoardConfig *c) {
    std::vector<std::uint32_t> n;
    const std::size_t min = kind == CommandFault::kDelay ? 3 : 2;
    const std::size_t max = kind == CommandFault::kSilence || kind == CommandFault::kAnswerTwice ? 2 : 3;
    if (!Numbers(text, min, max, &n) || n[0] > 255) return false;
    if (kind == CommandFault::kAnswerTwice && n[1] == 0) return false;
    std::uint32_t value = n.size() > 2 ? n[2] : 1;  // refusal status defaults to 1
    if (kind == CommandFault::kRefuse && value > 255) return false;
    c->command_faults.push_back({kind, static_cast<std::uint8_t>(n[0]), n[1], value});
    return true;
}

// "CODE:MS[:STATUS]".
bool UnsolicitedArg(std::string_view text, BoardConfig *c) {
    std::vector<std::uint32_t> n;
    if (!Numbers(text, 2, 3, &n) || n[0] > 255 || (n.size() > 2 && n[2] > 255)) return false;
    c->unsolicited = UnsolicitedAnswer{static_cast<std::uint8_t>(n[0]),
                                       static_cast<std::uint8_t>(n.size() > 2 ? n[2] : 0), n[1]};
    return true;
}

bool SwathFaultArg(SwathFault fault, std::string_view text, BoardConfig *c) {
    std::vector<std::uint32_t> n;
    if (!Numbers(text, 1, 1, &n) || n[0] == 0) return false;
    c->swath_fault = SwathFaultAt{fault, n[0]};
    return true;
}

bool CloseArg(std::string_view text, BoardConfig *c) {
    std::vector<std::uint32_t> n;
    if (!Numbers(text, 1, 2, &n) || n[0] == 0) return false;
    CloseFault f = c->close.value_or(CloseFault{});
    f.nth_swath = n[0];
    f.after_data_bytes = n.size() > 1 ? static_cast<std::int64_t>(n[1]) : -1;
    c->close = f;
    return true;
}

// On its own this arms a close at the first swath; normally it goes with
// --close-after-swaths.
bool CloseRefuseArg(std::string_view text, BoardConfig *c) {
    std::vector<std::uint32_t> n;
    if (!Numbers(text, 1, 1, &n)) return false;
    CloseFault f = c->close.value_or(CloseFault{});
    f.refuse_ms = n[0];
    c->close = f;
    return true;
}

bool OneNumber(std::string_view text, std::uint32_t limit, std::uint32_t *out) {
    std::vector<std::uint32_t> n;
    if (!Numbers(text, 1, 1, &n) || n[0] > limit) return false;
    *out = n[0];
    return true;
}

bool MarkersArg(std::string_view text, Markers *m) {
    if (text == "classic")
        *m = Markers::kClassic;
    else if (text == "extended")
        *m = Markers::kExtended;
    else if (text == "broken")
        *m = Markers::kBroken;
    else
        return false;
    return true;
}

// "WxH" or "WxH@XDPI".
bool ImageArg(std::string_view text, CliOptions *o) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    std::string_view rest = text.substr(x + 1);
    const std::size_t at = rest.find('@');
    std::vector<std::uint32_t> n;
    if (!Numbers(text.substr(0, x), 1, 1, &n) || n[0] == 0) return false;
    o->image_width = n[0];
    if (!Numbers(rest.substr(0, at), 1, 1, &n) || n[0] == 0) return false;
    o->image_height = n[0];
    if (at == std::string_view::npos) return true;
    return Numbers(rest.substr(at + 1), 1, 1, &n) && (o->image_xdpi = n[0]) != 0;
}

// Options that take a value, by their long name.
bool ValueFlag(std::string_view flag, std::string_view v, CliOptions *o) {
    BoardConfig &c = o->config;
    std::uint32_t n = 0;
    if (flag == "ip")
        c.ip = std::string(v);
    else if (flag == "log")
        c.log_path = std::string(v);
    else if (flag == "sheet")
        o->sheet_path = std::string(v);
    else if (flag == "summary")
        o->summary_path = std::string(v);
    else if (flag == "image")
        return ImageArg(v, o);
    else if (flag == "preview-scale")
        return OneNumber(v, 1000, &o->preview_scale) && o->preview_scale > 0;
    else if (flag == "fw") {
        if (!OneNumber(v, 0x3FFF, &n)) return false;
        c.preset.fw_version = static_cast<std::uint16_t>(n);
    } else if (flag == "markers")
        return MarkersArg(v, &c.preset.markers);
    else if (flag == "stop-print-status") {
        if (!OneNumber(v, 0xFFFF, &n)) return false;
        c.stop_print_status = static_cast<std::uint16_t>(n);
    } else if (flag == "answer-latency")
        return OneNumber(v, 60'000, &c.answer_latency_ms);
    else if (flag == "refuse-connections")
        return OneNumber(v, 0xFFFFFFFF, &c.refuse_connections_ms_at_start);
    else if (flag == "refuse")
        return CodeFault(CommandFault::kRefuse, v, &c);
    else if (flag == "delay")
        return CodeFault(CommandFault::kDelay, v, &c);
    else if (flag == "silence")
        return CodeFault(CommandFault::kSilence, v, &c);
    else if (flag == "extra-answer")
        return CodeFault(CommandFault::kAnswerTwice, v, &c);
    else if (flag == "unsolicited")
        return UnsolicitedArg(v, &c);
    else if (flag == "close-after-swaths")
        return CloseArg(v, &c);
    else if (flag == "close-refuse-ms")
        return CloseRefuseArg(v, &c);
    else if (flag == "cancel-on-swath")
        return SwathFaultArg(SwathFault::kPrinterCancel, v, &c);
    else if (flag == "too-wide-on-swath")
        return SwathFaultArg(SwathFault::kTooWide, v, &c);
    else if (flag == "sn-error-on-swath")
        return SwathFaultArg(SwathFault::kSequenceError, v, &c);
    else
        return false;
    return true;
}

// Options without a value, by their long name.
void SwitchFlag(std::string_view flag, CliOptions *o) {
    if (flag == "help")
        o->help = true;
    else if (flag == "version")
        o->version = true;
    else if (flag == "bidir")
        o->config.preset.dir_mode = kDirModeBidirectional;
    else if (flag == "any-address")
        o->config.any_address = true;
}

constexpr const char *kValueOptions[] = {"ip",
                                         "log",
                                         "sheet",
                                         "summary",
                                         "image",
                                         "preview-scale",
                                         "preset",
                                         "fw",
                                         "markers",
                                         "stop-print-status",
                                         "answer-latency",
                                         "refuse-connections",
                                         "refuse",
                                         "delay",
                                         "silence",
                                         "extra-answer",
                                         "unsolicited",
                                         "close-after-swaths",
                                         "close-refuse-ms",
                                         "cancel-on-swath",
                                         "too-wide-on-swath",
                                         "sn-error-on-swath"};
constexpr const char *kSwitchOptions[] = {"help", "version", "bidir", "any-address"};

struct Given {
    std::string name;
    std::string value;  // empty for a switch
    bool takes_value;
};

std::vector<option> LongOptions() {
    std::vector<option> table;
    for (const char *name : kValueOptions) table.push_back({name, required_argument, nullptr, 0});
    for (const char *name : kSwitchOptions) table.push_back({name, no_argument, nullptr, 0});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

// The options in the order given, read by getopt_long ("--opt value",
// "--opt=value", "-h", "--" ends the options). The board takes no operands.
bool ReadOptions(int argc, const char *const *argv, std::vector<Given> *given, std::string *error) {
    std::vector<std::string> copies(argv, argv + argc);
    std::vector<char *> args;
    for (std::string &a : copies) args.push_back(a.data());
    args.push_back(nullptr);
    const std::vector<option> table = LongOptions();
    optind = 0;  // a fresh scan on every call
    opterr = 0;
    for (;;) {
        int index = -1;
        const int c = getopt_long(argc, args.data(), ":h", table.data(), &index);
        if (c == -1) break;
        if (c == 'h') {
            given->push_back({"help", "", false});
        } else if (c == 0 && index >= 0) {
            const option &o = table[static_cast<std::size_t>(index)];
            given->push_back({o.name, o.has_arg ? optarg : "", o.has_arg != 0});
        } else {
            const char *at = optind > 0 && optind <= argc ? args[static_cast<std::size_t>(optind - 1)] : "?";
            *error = "bad or incomplete option: " + std::string(at ? at : "?");
            return false;
        }
    }
    if (optind < argc) {
        *error = "unexpected argument: " + std::string(args[static_cast<std::size_t>(optind)]);
        return false;
    }
    return true;
}

}  // namespace

// The preset replaces the whole parameter block, so it is applied first and
// the options that adjust the block apply after it, whatever their order.
bool ParseCli(int argc, const char *const *argv, CliOptions *o, std::string *error) {
    std::vector<Given> given;
    if (!ReadOptions(argc, argv, &given, error)) return false;
    for (const Given &g : given) {
        if (g.name == "preset" && !PresetByName(g.value, &o->config.preset)) {
            *error = "unknown preset: " + g.value;
            return false;
        }
    }
    for (const Given &g : given) {
        if (g.name == "preset") continue;
        if (!g.takes_value) {
            SwitchFlag(g.name, o);
        } else if (!ValueFlag(g.name, g.value, o)) {
            *error = "bad or incomplete option: --" + g.name;
            return false;
        }
    }
    if (o->help || o->version) return true;
    if (!o->config.any_address && !IsLoopbackAddress(o->config.ip)) {
        *error = "--ip must be an address in 127.0.0.0/8";
        return false;
    }
    return true;
}

const char *CliUsage() {
    return "usage: swathboard --ip 127.0.0.X [options]\n"
           "  --log FILE                 write every packet as a JSON line\n"
           "  --sheet FILE.png           at stop, write the printed sheet of the last job\n"
           "  --summary FILE.json        at stop, write that sheet's dot totals\n"
           "  --image WxH[@XDPI]         the job's image size (frames the sheet); with --sheet\n"
           "                             the sheet is written while the job prints\n"
           "  --preview-scale N          a sheet N times smaller each way (with --image)\n"
           "  --preset old|new|new-align parameter block the board answers with (default new)\n"
           "  --bidir                    print-direction mode 11 (bidirectional)\n"
           "  --fw N                     firmware version in the parameter block\n"
           "  --markers classic|extended|broken\n"
           "  --stop-print-status N      print status answering a stop (default 1)\n"
           "  --refuse CODE:N[:STATUS]   refuse the next N commands of CODE (status 1)\n"
           "  --delay CODE:N:MS          answer the next N commands of CODE MS late\n"
           "  --silence CODE:N           never answer the next N commands of CODE\n"
           "  --extra-answer CODE:N      answer the Nth next command of CODE twice\n"
           "  --unsolicited CODE:MS[:S]  MS after start, send an answer of CODE (status S,\n"
           "                             default 0) that answers no packet\n"
           "  --close-after-swaths N[:K] close the link at swath N (after K of its data bytes)\n"
           "  --close-refuse-ms MS       after that close, refuse connections for MS\n"
           "  --answer-latency MS        answer every packet MS after it (and its data) came in\n"
           "  --any-address              allow --ip outside 127.0.0.0/8 (a private network\n"
           "                             namespace only)\n"
           "  --refuse-connections MS    start without listening for MS\n"
           "  --cancel-on-swath N        answer swath N with status 8 (printer cancelled)\n"
           "  --too-wide-on-swath N      answer swath N with status 6 (wider than the printer)\n"
           "  --sn-error-on-swath N      answer swath N with SWATH_CREAT_SN_ERROR\n"
           "  --help, -h                 print this help and exit\n"
           "  --version                  print the version and exit\n"
           "A value follows its option or joins it with '=' (--ip=127.0.0.9); -- ends the options.\n"
           "Runs until SIGINT or SIGTERM.\n";
}

}  // namespace swathboard
