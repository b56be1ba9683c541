#include <windows.h>

#include <ctime>

#include "platform/platform.h"

namespace sl {

void plat_sleep_ms(uint32_t ms) { Sleep(plat_scaled_ms(ms)); }

uint32_t plat_ticks_ms() { return GetTickCount(); }

static PlatTime from_systemtime(const SYSTEMTIME &t) {
    return PlatTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

PlatTime plat_local_time() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return from_systemtime(t);
}

PlatTime plat_utc_time() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return from_systemtime(t);
}

uint32_t plat_time_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

}  // namespace sl
