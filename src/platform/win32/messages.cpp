#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace sl {

namespace {
std::atomic<MessageSink> g_sink{nullptr};
}  // namespace

// 2052 (Chinese, PRC) selects the alternative wordings; any other LCID is
// passed on as it is.
uint32_t plat_default_locale() { return GetSystemDefaultLCID(); }

void plat_set_message_sink(MessageSink sink) { g_sink.store(sink); }

void plat_message_box(const char *caption, const char *text) {
    if (MessageSink sink = g_sink.load()) {
        sink(caption, text);
        return;
    }
    MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace sl
