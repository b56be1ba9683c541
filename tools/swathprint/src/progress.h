// The progress bar, shown only when standard error is a terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace swathprint {

// One bar line: lines handed over of the total, swaths acknowledged (when
// `swaths` >= 0), elapsed time and the time left at the rate so far.
std::string ProgressLine(uint64_t lines, uint64_t total, int64_t swaths, double elapsed_s);

struct Progress {
    std::atomic<uint64_t> lines{0};
    uint64_t total = 0;
    std::function<int64_t()> swaths;  // -1 when unknown
    std::chrono::steady_clock::time_point start;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Starts the redrawing thread when standard error is a terminal.
void StartProgress(uint64_t total, std::function<int64_t()> swaths, Progress *progress);
// Stops it and clears the bar's line.
void StopProgress(Progress *progress);
double SecondsSince(std::chrono::steady_clock::time_point start);

}  // namespace swathprint
