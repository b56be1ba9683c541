// swathboard: runs the board emulator until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <string>

#include "cli_args.h"
#include "swathboard.h"

namespace {

// Blocks the stop signals in every thread (the server thread inherits the
// mask) and waits for one of them here.
void BlockStopSignals(sigset_t* set) {
  sigemptyset(set);
  sigaddset(set, SIGINT);
  sigaddset(set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, set, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
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
  sigset_t stop_signals;
  BlockStopSignals(&stop_signals);
  swathboard::Board* board = swathboard::StartBoard(options.config, &error);
  if (board == nullptr) {
    std::fprintf(stderr, "swathboard: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "swathboard: listening on %s:4000\n", options.config.ip.c_str());
  int signal = 0;
  sigwait(&stop_signals, &signal);
  const std::size_t packets = swathboard::Packets(board).size();
  swathboard::StopBoard(board);
  std::fprintf(stderr, "swathboard: stopped by signal %d after %zu packets\n", signal, packets);
  return 0;
}
