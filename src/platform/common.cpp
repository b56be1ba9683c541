// Services whose logic is the same on every system: the time scale, the
// trace sink and the legacy IPv4 forms.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/ipv4_text.h"
#include "platform/platform.h"

namespace sl {

namespace {

std::atomic<double> g_scale{-1.0};

double scale_from_env() {
    const char *v = std::getenv("SWATHLINK_TIME_SCALE");
    if (!v || !*v) return 1.0;
    double s = std::atof(v);
    return s > 0.0 ? s : 1.0;
}

std::once_flag g_trace_once;
FILE *g_trace_file = nullptr;
std::mutex g_trace_lock;

void open_trace() {
    const char *v = std::getenv("SWATHLINK_TRACE");
    if (!v || !*v) return;
    if (std::strcmp(v, "stderr") == 0) {
        g_trace_file = stderr;
        return;
    }
    g_trace_file = std::fopen(v, "ab");  // binary: "\r\n" formats stay as written
}

}  // namespace

double plat_time_scale() {
    double s = g_scale.load();
    if (s < 0.0) {
        s = scale_from_env();
        g_scale.store(s);
    }
    return s;
}

void plat_set_time_scale(double scale) { g_scale.store(scale > 0.0 ? scale : 1.0); }

uint32_t plat_scaled_ms(uint32_t ms) {
    double s = plat_time_scale();
    if (s == 1.0) return ms;
    double v = ms * s;
    // A scaled wait never collapses to zero: zero would turn polls into spins.
    return ms == 0 ? 0 : (v < 1.0 ? 1u : static_cast<uint32_t>(v));
}

void sl_trace(const char *fmt, ...) {
    std::call_once(g_trace_once, open_trace);
    if (!g_trace_file) return;
    std::lock_guard<std::mutex> hold(g_trace_lock);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(g_trace_file, fmt, ap);
    va_end(ap);
    std::fflush(g_trace_file);
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

int ParseLegacyIPv4(const char *text, uint32_t *value) {
    if (!text) return kPlatBadAddress;
    const char *p = text;
    while (IsBlank(*p)) ++p;
    uint32_t parts[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p != '.') break;
        if (i > 0) ++p;
        int digits = 0;
        for (; *p >= '0' && *p <= '9' && digits < 4; ++p, ++digits) parts[i] = parts[i] * 10 + (*p - '0');
        if (digits == 0 || digits > 3 || parts[i] > 255) return kPlatBadAddress;
    }
    while (IsBlank(*p)) ++p;
    if (*p != '\0') return kPlatBadAddress;
    *value = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    return 0;
}

}  // namespace sl
