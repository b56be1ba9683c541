// link_bench: the host side of the link benchmark (scripts/bench-link.sh).
//
//   link_bench job --pc A --board B [--lines N]
//       prints one wide job through the library's entry points, as a RIP
//       does, to the board at B (the PC holds A), and prints how long each
//       call took.
//   link_bench report --log FILE --mbit R --answer-ms L
//       reads the board's packet log of that job and prints the sustained
//       swath delivery rate as a multiple of the head's demand, and where the
//       time between two swaths went.
//
// The job is 1.6 m wide at 360 dpi in four colours, every pixel inked, so
// every swath is as wide as the library makes them (about 8 MB).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "address_record.h"
#include "swathlink/swathlink.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kWidth = 22677;  // 1.6 m at 360 dpi
constexpr uint16_t kColors = 4;
constexpr uint32_t kBytesPerLine = (kWidth * 2 + 7) / 8;
constexpr uint32_t kDefaultLines = 12000;
// The head fires 30,000 times a second, 360 bytes a firing.
constexpr double kHeadDemandBytesPerSecond = 30000.0 * 360.0;
// Swaths left out at each end of the job: the first ones start the
// pipeline, the last is flushed by EndPrint.
constexpr size_t kSkipFirst = 2;
constexpr size_t kSkipLast = 1;

const char *Arg(int argc, char **argv, const char *name, const char *fallback) {
    for (int i = 2; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    return fallback;
}

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// A private hidden folder whose status file names the two addresses.
bool PrepareFolder(const std::string &pc, const std::string &board, std::string *root) {
    uint32_t pcAddress = 0, boardAddress = 0;
    if (!swathprint::ParseIPv4(pc, &pcAddress) || !swathprint::ParseIPv4(board, &boardAddress)) {
        std::fprintf(stderr, "link_bench: --pc and --board take dotted quads\n");
        return false;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "link-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return false;
    *root = pattern;
    std::string error;
    if (!swathprint::WriteAddressRecord(*root, pcAddress, boardAddress, &error)) {
        std::fprintf(stderr, "link_bench: %s\n", error.c_str());
        return false;
    }
    setenv("SWATHLINK_PRNLOG", root->c_str(), 1);
    return true;
}

std::vector<uint8_t> InkedLine() {
    std::vector<uint8_t> line(size_t{kColors} * kBytesPerLine);
    for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<uint8_t>(0x55 + (i * 29 >> 3));
    return line;
}

int RunJob(int argc, char **argv) {
    const char *pc = Arg(argc, argv, "--pc", nullptr);
    const char *board = Arg(argc, argv, "--board", nullptr);
    const uint32_t lines = static_cast<uint32_t>(std::strtoul(Arg(argc, argv, "--lines", "0"), nullptr, 10));
    std::string root;
    if (!pc || !board || !PrepareFolder(pc, board, &root)) return 2;

    JobProp job{};
    job.XDPI = 360;
    job.YDPI = 360;
    job.Width = kWidth;
    job.BytesPerLine = kBytesPerLine;
    job.Colors = kColors;
    job.Height = lines ? lines : kDefaultLines;
    const std::vector<uint8_t> line = InkedLine();

    int failed = 0;
    auto t = Clock::now();
    if (InitPrinter() != 1 || StartPrint(&job) != 1) {
        std::fprintf(stderr, "link_bench: the job did not start\n");
        ClosePrint();
        std::filesystem::remove_all(root);
        return 1;
    }
    const double startMs = MsSince(t);
    t = Clock::now();
    for (uint32_t i = 0; i < job.Height && !failed; ++i)
        if (PrintALine(line.data(), static_cast<uint32_t>(line.size())) != 1) failed = 1;
    const double linesMs = MsSince(t);
    t = Clock::now();
    if (!failed && EndPrint() != 1) failed = 1;
    const double endMs = MsSince(t);
    t = Clock::now();
    if (ClosePrint() != 1) failed = 1;
    const double closeMs = MsSince(t);
    std::filesystem::remove_all(root);

    std::printf(
        "  host calls: StartPrint %.0f ms, %u lines %.0f ms, EndPrint %.0f ms, ClosePrint %.0f ms%s\n",
        startMs, job.Height, linesMs, endMs, closeMs, failed ? " (the job FAILED)" : "");
    return failed;
}

// One accepted swath from the board's log.
struct Swath {
    double firstByteMs;  // its packet's first byte came in
    double inMs;         // its last data byte came in
    double bytes;
};

// Reads `"key":number` from a JSON line of the board's log.
bool Number(std::string_view line, std::string_view key, double *out) {
    const std::string quoted = "\"" + std::string(key) + "\":";
    const size_t at = line.find(quoted);
    if (at == std::string_view::npos) return false;
    *out = std::strtod(std::string(line.substr(at + quoted.size(), 24)).c_str(), nullptr);
    return true;
}

std::vector<Swath> AcceptedSwaths(const char *path) {
    std::vector<Swath> swaths;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        double code = 0, first = 0, done = 0, len = 0;
        if (line.find("\"stored\":true") == std::string::npos) continue;
        if (!Number(line, "code", &code) || code != 9 || !Number(line, "first_byte_us", &first) ||
            !Number(line, "time_us", &done) || !Number(line, "data_len", &len) || len == 0)
            continue;
        swaths.push_back({first / 1000, done / 1000, len});
    }
    return swaths;
}

int Report(int argc, char **argv) {
    const char *log = Arg(argc, argv, "--log", nullptr);
    const double mbit = std::strtod(Arg(argc, argv, "--mbit", "0"), nullptr);
    const double answerMs = std::strtod(Arg(argc, argv, "--answer-ms", "0"), nullptr);
    if (!log) return 2;
    const std::vector<Swath> all = AcceptedSwaths(log);
    std::printf("link %.0f Mbit/s, answer %.0f ms: ", mbit, answerMs);
    if (all.size() < kSkipFirst + kSkipLast + 2) {
        std::printf("no result (%zu swaths accepted)\n", all.size());
        return 1;
    }
    // The steady part: from the first kept swath's arrival to the last's.
    const std::vector<Swath> s(all.begin() + kSkipFirst - 1, all.end() - kSkipLast);
    double bytes = 0, wire = 0, answer = 0, between = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        bytes += s[i].bytes;
        wire += s[i].inMs - s[i].firstByteMs;
        answer += answerMs;
        between += s[i].firstByteMs - s[i - 1].inMs - answerMs;
    }
    const double n = static_cast<double>(s.size() - 1);
    const double spanMs = s.back().inMs - s.front().inMs;
    const double rate = bytes / (spanMs / 1000);
    std::printf("%.1fx head demand\n", rate / kHeadDemandBytesPerSecond);
    std::printf(
        "  %zu swaths of %.1f MB on average, one every %.1f ms (%.0f MB/s; the wire alone: %.1f ms)\n",
        s.size() - 1, bytes / n / 1e6, spanMs / n, rate / 1e6, bytes / n * 8 / (mbit * 1e3));
    std::printf(
        "  per swath: data on the wire %.1f ms, board answering %.1f ms, "
        "answer to next swath %.1f ms (trip back, the host's waits and polls)\n",
        wire / n, answer / n, between / n);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "job") return RunJob(argc, argv);
    if (mode == "report") return Report(argc, argv);
    std::fprintf(stderr,
                 "usage: link_bench job --pc A --board B [--lines N]\n"
                 "       link_bench report --log FILE --mbit R --answer-ms L\n");
    return 2;
}
