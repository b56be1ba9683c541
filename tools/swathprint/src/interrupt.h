// Ctrl-C while printing: the first interrupt aborts the job the way an
// operator's abort does, so the driver closes it cleanly; a second one ends
// the program at once.
#pragma once

#include <atomic>
#include <functional>

namespace swathprint {

// Call before any thread starts (the driver's threads inherit the blocked
// interrupt). `on_interrupt` runs on the watching thread.
void WatchInterrupts(std::function<void()> on_interrupt);
// Stops the watching thread.
void StopWatchingInterrupts();
bool Interrupted();

}  // namespace swathprint
