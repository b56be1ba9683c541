// Waiting for another thread of a job: on one of the link's signals, until
// a condition holds or a bound has passed.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "shared/records.h"

namespace sl {

// Waits on `signal` until `done()` holds or `ms` (scaled) have passed, and
// returns done(). The count is taken before each look, so a raise between
// the look and the wait is not lost.
template <class Done>
bool WaitForChange(PlatSignal *signal, uint32_t ms, Done done) {
    const uint32_t limit = plat_scaled_ms(ms);
    const uint32_t started = plat_ticks_ms();
    for (;;) {
        const uint32_t seen = plat_signal_count(signal);
        if (done()) return true;
        const uint32_t spent = plat_ticks_ms() - started;
        if (spent >= limit) return false;
        plat_signal_wait(signal, seen, limit - spent);
    }
}

// Ends the job's link for every thread (its threads leave their loops), and
// wakes whoever waits for it.
inline void EndLink(LinkContext *link) {
    link->PrintEndFlag.store(true);
    plat_signal_raise(link->changed);
}

}  // namespace sl
