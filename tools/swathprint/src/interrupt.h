// Ctrl-C while printing: the first interrupt aborts the job the way an
// operator's abort does, so the driver closes it cleanly; a second one ends
// the program at once.
#pragma once

#include <atomic>
#include <functional>

namespace swathprint {

// Call before any thread starts (the driver's threads inherit the blocked
// interrupt). Both run on the watching thread: `on_interrupt` at the first
// interrupt, right after the line "aborting: waiting for the printer to
// confirm" is shown; `on_second` at the second, just before the program
// ends with status 130 (it removes what the run has written so far).
void WatchInterrupts(std::function<void()> on_interrupt, std::function<void()> on_second);
// Stops the watching thread.
void StopWatchingInterrupts();
bool Interrupted();

}  // namespace swathprint
