#include "cli_args.h"

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

// Options that take a value; the preset comes first so that later flags
// adjust it whatever their order on the line.
bool ValueFlag(std::string_view flag, std::string_view v, CliOptions *o) {
    BoardConfig &c = o->config;
    std::uint32_t n = 0;
    if (flag == "--ip")
        c.ip = std::string(v);
    else if (flag == "--log")
        c.log_path = std::string(v);
    else if (flag == "--sheet")
        o->sheet_path = std::string(v);
    else if (flag == "--summary")
        o->summary_path = std::string(v);
    else if (flag == "--image")
        return ImageArg(v, o);
    else if (flag == "--preview-scale")
        return OneNumber(v, 1000, &o->preview_scale) && o->preview_scale > 0;
    else if (flag == "--fw") {
        if (!OneNumber(v, 0x3FFF, &n)) return false;
        c.preset.fw_version = static_cast<std::uint16_t>(n);
    } else if (flag == "--markers")
        return MarkersArg(v, &c.preset.markers);
    else if (flag == "--stop-print-status") {
        if (!OneNumber(v, 0xFFFF, &n)) return false;
        c.stop_print_status = static_cast<std::uint16_t>(n);
    } else if (flag == "--answer-latency")
        return OneNumber(v, 60'000, &c.answer_latency_ms);
    else if (flag == "--refuse-connections")
        return OneNumber(v, 0xFFFFFFFF, &c.refuse_connections_ms_at_start);
    else if (flag == "--refuse")
        return CodeFault(CommandFault::kRefuse, v, &c);
    else if (flag == "--delay")
        return CodeFault(CommandFault::kDelay, v, &c);
    else if (flag == "--silence")
        return CodeFault(CommandFault::kSilence, v, &c);
    else if (flag == "--extra-answer")
        return CodeFault(CommandFault::kAnswerTwice, v, &c);
    else if (flag == "--unsolicited")
        return UnsolicitedArg(v, &c);
    else if (flag == "--close-after-swaths")
        return CloseArg(v, &c);
    else if (flag == "--close-refuse-ms")
        return CloseRefuseArg(v, &c);
    else if (flag == "--cancel-on-swath")
        return SwathFaultArg(SwathFault::kPrinterCancel, v, &c);
    else if (flag == "--too-wide-on-swath")
        return SwathFaultArg(SwathFault::kTooWide, v, &c);
    else if (flag == "--sn-error-on-swath")
        return SwathFaultArg(SwathFault::kSequenceError, v, &c);
    else
        return false;
    return true;
}

bool TakesValue(std::string_view flag) {
    return flag != "--bidir" && flag != "--any-address" && flag != "--help" && flag != "-h";
}

// The preset replaces the whole block, so it is read before anything
// that adjusts it.
bool ReadPreset(int argc, const char *const *argv, CliOptions *o, std::string *error) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) != "--preset") continue;
        if (!PresetByName(argv[i + 1], &o->config.preset)) {
            *error = std::string("unknown preset: ") + argv[i + 1];
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseCli(int argc, const char *const *argv, CliOptions *o, std::string *error) {
    if (!ReadPreset(argc, argv, o, error)) return false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            o->help = true;
        } else if (flag == "--version") {
            o->version = true;
        } else if (flag == "--bidir") {
            o->config.preset.dir_mode = kDirModeBidirectional;
        } else if (flag == "--any-address") {
            o->config.any_address = true;
        } else if (flag == "--preset" && i + 1 < argc) {
            ++i;  // read above
        } else if (!TakesValue(flag) || i + 1 >= argc || !ValueFlag(flag, argv[i + 1], o)) {
            *error = "bad or incomplete option: " + std::string(flag);
            return false;
        } else {
            ++i;
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
           "Runs until SIGINT or SIGTERM.\n";
}

}  // namespace swathboard
