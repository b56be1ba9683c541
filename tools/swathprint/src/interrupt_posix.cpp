// Interrupts on Linux: SIGINT and SIGTERM are blocked in every thread and
// taken by one watching thread with sigtimedwait, so the abort runs as
// ordinary code rather than inside a signal handler.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "interrupt.h"

namespace swathprint {

namespace {

constexpr long kPollNs = 100'000'000;  // the watcher looks for its stop flag this often
constexpr int kExitInterrupted = 130;  // the shell's code for a program ended by Ctrl-C

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_stop{false};
std::thread g_watcher;

sigset_t Signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void WatchInterrupts(std::function<void()> on_interrupt, std::function<void()> on_second) {
    const sigset_t set = Signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    g_watcher = std::thread([set, on_interrupt, on_second] {
        const timespec poll = {0, kPollNs};
        while (!g_stop.load()) {
            if (sigtimedwait(&set, nullptr, &poll) < 0) continue;
            if (g_interrupted.exchange(true)) {
                if (on_second) on_second();
                _exit(kExitInterrupted);
            }
            // At once: the printer may take a while to confirm the abort.
            std::fprintf(stderr, "%saborting: waiting for the printer to confirm\n",
                         isatty(STDERR_FILENO) ? "\n" : "");
            std::fflush(stderr);
            on_interrupt();
        }
    });
}

void StopWatchingInterrupts() {
    if (!g_watcher.joinable()) return;
    g_stop.store(true);
    g_watcher.join();
}

bool Interrupted() { return g_interrupted.load(); }

}  // namespace swathprint
