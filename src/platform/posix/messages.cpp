#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace sl {

namespace {
std::atomic<MessageSink> g_sink{nullptr};

bool is_chinese(const char *v) { return v && *v && std::strncmp(v, "zh", 2) == 0; }
}  // namespace

uint32_t plat_default_locale() {
    // The first of the usual variables that is set decides, as setlocale would.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *v = std::getenv(name);
        if (v && *v) return is_chinese(v) ? 2052 : 1033;
    }
    return 1033;
}

void plat_set_message_sink(MessageSink sink) { g_sink.store(sink); }

void plat_message_box(const char *caption, const char *text) {
    if (MessageSink sink = g_sink.load()) {
        sink(caption, text);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

}  // namespace sl
