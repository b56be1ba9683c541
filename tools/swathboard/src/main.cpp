// swathboard: runs the board emulator until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <string>

#include "cli_args.h"
#include "swathboard.h"
#include "swathlink_version.h"

namespace {

// Blocks the stop signals in every thread (the server thread inherits the
// mask) and waits for one of them here.
void BlockStopSignals(sigset_t *set) {
    sigemptyset(set);
    sigaddset(set, SIGINT);
    sigaddset(set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, set, nullptr);
}

// A framed sheet is written while the job prints.
bool Streams(const swathboard::CliOptions &options) {
    return !options.sheet_path.empty() && options.image_width != 0;
}

// Writes what the options ask for; false when a file could not be written.
bool WriteSheetFiles(swathboard::Board *board, const swathboard::CliOptions &options) {
    if (options.sheet_path.empty() && options.summary_path.empty()) return true;
    swathboard::Sheet sheet;
    std::string error;
    if (Streams(options) ? !swathboard::FinishStreamedSheet(board, &sheet, &error)
                         : !swathboard::PrintedSheet(board, &sheet)) {
        std::fprintf(stderr, "swathboard: no sheet written: %s\n",
                     error.empty() ? "no job was printed" : error.c_str());
        return false;
    }
    bool ok = true;
    if (!Streams(options) && !options.sheet_path.empty() &&
        !swathboard::WriteSheetPng(sheet, options.sheet_path, &error)) {
        std::fprintf(stderr, "swathboard: %s\n", error.c_str());
        ok = false;
    }
    if (!options.summary_path.empty() &&
        !swathboard::WriteSheetSummaryJson(sheet, options.summary_path, &error)) {
        std::fprintf(stderr, "swathboard: %s\n", error.c_str());
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    swathboard::CliOptions options;
    std::string error;
    if (!swathboard::ParseCli(argc, argv, &options, &error)) {
        std::fprintf(stderr, "swathboard: %s\n%s", error.c_str(), swathboard::CliUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(swathboard::CliUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("swathboard %s\n", SWATHLINK_VERSION);
        return 0;
    }
    sigset_t stop_signals;
    BlockStopSignals(&stop_signals);
    options.config.image_width = options.image_width;
    options.config.image_height = options.image_height;
    options.config.image_xdpi = options.image_xdpi;
    if (Streams(options)) {
        options.config.streamed_sheet_png = options.sheet_path;
        options.config.streamed_preview_scale = options.preview_scale;
    }
    swathboard::Board *board = swathboard::StartBoard(options.config, &error);
    if (board == nullptr) {
        std::fprintf(stderr, "swathboard: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "swathboard: listening on %s:4000\n", options.config.ip.c_str());
    int signal = 0;
    sigwait(&stop_signals, &signal);
    const std::size_t packets = swathboard::Packets(board).size();
    const bool written = WriteSheetFiles(board, options);
    swathboard::StopBoard(board);
    std::fprintf(stderr, "swathboard: stopped by signal %d after %zu packets\n", signal, packets);
    return written ? 0 : 1;
}
