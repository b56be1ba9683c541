// Worker threads through the run-time library (so that the C run-time is set
// up for them), joined, never terminated; and the named shared block.
#include <windows.h>

#include <process.h>

#include <new>

#include "platform/platform.h"
#include "platform/win32/worker_thread.h"

namespace sl {

struct PlatThread {
    HANDLE handle;
    ThreadFn fn;
    void *arg;
};

namespace {
thread_local bool t_worker = false;
}  // namespace

bool plat_on_worker_thread() { return t_worker; }

static unsigned __stdcall thread_main(void *p) {
    t_worker = true;
    auto *t = static_cast<PlatThread *>(p);
    return static_cast<unsigned>(t->fn(t->arg));
}

PlatThread *plat_thread_start(ThreadFn fn, void *arg) {
    auto *t = new (std::nothrow) PlatThread{nullptr, fn, arg};
    if (!t) return nullptr;
    uintptr_t h = _beginthreadex(nullptr, 0, thread_main, t, 0, nullptr);
    if (h == 0) {
        delete t;
        return nullptr;
    }
    t->handle = reinterpret_cast<HANDLE>(h);
    return t;
}

void plat_thread_join(PlatThread *t) {
    if (!t) return;
    WaitForSingleObject(t->handle, INFINITE);
    CloseHandle(t->handle);
    delete t;
}

struct PlatSignal {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE raised = CONDITION_VARIABLE_INIT;
    uint32_t count = 0;
};

PlatSignal *plat_signal_new() { return new (std::nothrow) PlatSignal; }

void plat_signal_free(PlatSignal *s) { delete s; }

uint32_t plat_signal_count(PlatSignal *s) {
    AcquireSRWLockShared(&s->lock);
    const uint32_t count = s->count;
    ReleaseSRWLockShared(&s->lock);
    return count;
}

void plat_signal_raise(PlatSignal *s) {
    AcquireSRWLockExclusive(&s->lock);
    ++s->count;
    ReleaseSRWLockExclusive(&s->lock);
    WakeAllConditionVariable(&s->raised);
}

int plat_signal_wait(PlatSignal *s, uint32_t seen, uint32_t ms) {
    const DWORD limit = ms;
    const DWORD started = GetTickCount();
    AcquireSRWLockExclusive(&s->lock);
    for (DWORD spent = 0; s->count == seen && spent < limit; spent = GetTickCount() - started)
        SleepConditionVariableSRW(&s->raised, &s->lock, limit - spent, 0);
    const bool raised = s->count != seen;
    ReleaseSRWLockExclusive(&s->lock);
    return raised ? 0 : kPlatTimedOut;
}

// Page-file backed; the mapping and the view stay open until the process
// ends, so other programs can keep watching the block between jobs.
void *plat_shared_block(const char *name, size_t bytes) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(static_cast<uint64_t>(bytes) >> 32),
                                        static_cast<DWORD>(bytes), name);
    if (!mapping) return nullptr;
    void *view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, bytes);
    if (!view) CloseHandle(mapping);
    return view;
}

void plat_shared_block_release(void *block, size_t) {
    if (block) UnmapViewOfFile(block);
}

}  // namespace sl
