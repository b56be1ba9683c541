// Signals, on every system: a waiting thread waits on one and is woken by
// the thread that changes what it waits for.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

constexpr uint32_t kLongWaitMs = 10000;  // ends early, or the test fails slowly

TEST(PlatformSignal, WaitEndsOnARaiseGivenBeforeOrDuringItAndRunsOutWithout) {
    sl::PlatSignal *signal = sl::plat_signal_new();
    ASSERT_NE(signal, nullptr);

    uint32_t seen = sl::plat_signal_count(signal);
    EXPECT_EQ(sl::plat_signal_wait(signal, seen, 20), sl::kPlatTimedOut);

    // Given between the look at the flag and the wait: not lost.
    sl::plat_signal_raise(signal);
    EXPECT_EQ(sl::plat_signal_wait(signal, seen, kLongWaitMs), 0);

    seen = sl::plat_signal_count(signal);
    std::thread raiser([signal] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sl::plat_signal_raise(signal);
    });
    EXPECT_EQ(sl::plat_signal_wait(signal, seen, kLongWaitMs), 0);
    raiser.join();
    EXPECT_NE(sl::plat_signal_count(signal), seen);

    sl::plat_signal_free(signal);
}

}  // namespace
