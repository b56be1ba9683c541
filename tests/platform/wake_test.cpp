// Wake-up signals, on every system: a waiting thread naps on one and is
// woken by the thread that changes what it waits for.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

constexpr uint32_t kSignal = sl::kPlatWakeSignals - 1;
constexpr uint32_t kLongNapMs = 10000;  // ends early, or the test fails slowly

TEST(PlatformWake, NapEndsOnAWakeGivenBeforeOrDuringItAndRunsOutWithout) {
    const double scale = sl::plat_time_scale();
    sl::plat_set_time_scale(1.0);

    uint32_t seen = sl::plat_wake_count(kSignal);
    EXPECT_FALSE(sl::plat_nap_ms(kSignal, seen, 20));

    // Given between the look at the flag and the nap: not lost.
    sl::plat_wake(kSignal);
    EXPECT_TRUE(sl::plat_nap_ms(kSignal, seen, kLongNapMs));

    seen = sl::plat_wake_count(kSignal);
    std::thread waker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sl::plat_wake(kSignal);
    });
    EXPECT_TRUE(sl::plat_nap_ms(kSignal, seen, kLongNapMs));
    waker.join();
    EXPECT_NE(sl::plat_wake_count(kSignal), seen);

    sl::plat_set_time_scale(scale);
}

}  // namespace
