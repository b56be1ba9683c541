#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace swathprint {

namespace {

constexpr int kBarCells = 24;
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

void Redraw(const Progress &p) {
    const std::string line =
        ProgressLine(p.lines.load(), p.total, p.swaths ? p.swaths() : -1, SecondsSince(p.start));
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
}

}  // namespace

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ProgressLine(uint64_t lines, uint64_t total, int64_t swaths, double elapsed_s) {
    const double done = total ? double(lines) / total : 1.0;
    const int filled = static_cast<int>(done * kBarCells);
    std::string bar(size_t(filled), '#');
    bar.resize(kBarCells, '.');
    char text[160];
    std::snprintf(text, sizeof text, "[%s] %3d%%  %llu/%llu lines", bar.c_str(), static_cast<int>(done * 100),
                  static_cast<unsigned long long>(lines), static_cast<unsigned long long>(total));
    std::string out = text;
    if (swaths >= 0) out += "  " + std::to_string(swaths) + " swaths";
    out += "  " + Clock(elapsed_s) + " elapsed";
    if (lines > 0 && lines < total) out += "  " + Clock(elapsed_s * (total - lines) / lines) + " left";
    if (lines >= total) out += "  finishing";
    return out;
}

void StartProgress(uint64_t total, std::function<int64_t()> swaths, Progress *p) {
    p->total = total;
    p->swaths = std::move(swaths);
    p->start = std::chrono::steady_clock::now();
    if (!isatty(STDERR_FILENO)) return;
    p->thread = std::thread([p] {
        while (!p->stop.load()) {
            Redraw(*p);
            std::this_thread::sleep_for(kRedrawEvery);
        }
    });
}

void StopProgress(Progress *p) {
    if (!p->thread.joinable()) return;
    p->stop.store(true);
    p->thread.join();
    Redraw(*p);
    std::fprintf(stderr, "\n");
}

}  // namespace swathprint
