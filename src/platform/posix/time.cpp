#include <time.h>
#include <ctime>

#include "platform/platform.h"

namespace sl {

void plat_sleep_ms(uint32_t ms) {
    uint32_t scaled = plat_scaled_ms(ms);
    timespec ts{static_cast<time_t>(scaled / 1000), static_cast<long>(scaled % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {}
}

uint32_t plat_ticks_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000);
}

static PlatTime from_tm(const std::tm &t) {
    return PlatTime{static_cast<uint16_t>(t.tm_year + 1900), static_cast<uint16_t>(t.tm_mon + 1),
                    static_cast<uint16_t>(t.tm_mday),        static_cast<uint16_t>(t.tm_hour),
                    static_cast<uint16_t>(t.tm_min),         static_cast<uint16_t>(t.tm_sec)};
}

PlatTime plat_local_time() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return from_tm(t);
}

PlatTime plat_utc_time() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    gmtime_r(&now, &t);
    return from_tm(t);
}

uint32_t plat_time_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

}  // namespace sl
