#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/win32/worker_thread.h"

namespace sl {

namespace {
std::atomic<MessageSink> g_sink{nullptr};

struct Box {
    char caption[64];
    char text[256];
    HMODULE self;
};

// The box's thread holds a reference to this module, so a host that unloads
// the library while the box is open does not pull the code from under it.
DWORD WINAPI ShowBox(void *p) {
    auto *box = static_cast<Box *>(p);
    MessageBoxA(nullptr, box->text, box->caption, MB_OK | MB_SETFOREGROUND);
    HMODULE self = box->self;
    delete box;
    FreeLibraryAndExitThread(self, 0);
}

// A worker thread must never sit in a modal box: the job's close waits for
// it. Its box is shown by a thread of its own, and the worker goes on.
void ShowBoxAside(const char *caption, const char *text) {
    auto *box = new (std::nothrow) Box{};
    if (!box) return;
    strncpy_s(box->caption, caption, _TRUNCATE);
    strncpy_s(box->text, text, _TRUNCATE);
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&ShowBox), &box->self)) {
        delete box;
        return;
    }
    HANDLE t = CreateThread(nullptr, 0, ShowBox, box, 0, nullptr);
    if (t) {
        CloseHandle(t);
    } else {
        FreeLibrary(box->self);
        delete box;
    }
}
}  // namespace

// 2052 (Chinese, PRC) selects the alternative wordings; any other LCID is
// passed on as it is.
uint32_t plat_default_locale() { return GetSystemDefaultLCID(); }

void plat_set_message_sink(MessageSink sink) { g_sink.store(sink); }

void plat_message_box(const char *caption, const char *text) {
    sl_trace("MessageBox %s: %s\n", caption, text);
    if (MessageSink sink = g_sink.load()) {
        sink(caption, text);
        return;
    }
    if (plat_on_worker_thread())
        ShowBoxAside(caption, text);
    else
        MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace sl
