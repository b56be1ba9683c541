#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <new>

#include "platform/platform.h"

namespace sl {

struct PlatThread {
    pthread_t id;
    ThreadFn fn;
    void *arg;
};

static void *thread_main(void *p) {
    auto *t = static_cast<PlatThread *>(p);
    t->fn(t->arg);
    return nullptr;
}

PlatThread *plat_thread_start(ThreadFn fn, void *arg) {
    auto *t = new (std::nothrow) PlatThread{{}, fn, arg};
    if (!t) return nullptr;
    if (pthread_create(&t->id, nullptr, thread_main, t) != 0) {
        delete t;
        return nullptr;
    }
    return t;
}

void plat_thread_join(PlatThread *t) {
    if (!t) return;
    pthread_join(t->id, nullptr);
    delete t;
}

namespace {

struct WakeSignal {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t woken = PTHREAD_COND_INITIALIZER;
    uint32_t count = 0;
};
WakeSignal g_wake[kPlatWakeSignals];

WakeSignal &wake_signal(uint32_t signal) { return g_wake[signal % kPlatWakeSignals]; }

// The monotonic clock, so that a change of the wall clock cannot stretch a
// nap.
timespec deadline_after(uint32_t ms) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

}  // namespace

uint32_t plat_wake_count(uint32_t signal) {
    WakeSignal &w = wake_signal(signal);
    pthread_mutex_lock(&w.lock);
    const uint32_t count = w.count;
    pthread_mutex_unlock(&w.lock);
    return count;
}

void plat_wake(uint32_t signal) {
    WakeSignal &w = wake_signal(signal);
    pthread_mutex_lock(&w.lock);
    ++w.count;
    pthread_cond_broadcast(&w.woken);
    pthread_mutex_unlock(&w.lock);
}

bool plat_nap_ms(uint32_t signal, uint32_t seen, uint32_t ms) {
    WakeSignal &w = wake_signal(signal);
    const timespec until = deadline_after(plat_scaled_ms(ms));
    pthread_mutex_lock(&w.lock);
    while (w.count == seen && pthread_cond_clockwait(&w.woken, &w.lock, CLOCK_MONOTONIC, &until) == 0) {}
    const bool woken = w.count != seen;
    pthread_mutex_unlock(&w.lock);
    return woken;
}

void *plat_shared_block(const char *name, size_t bytes) {
    std::string shm_name = std::string("/") + name;
    int fd = shm_open(shm_name.c_str(), O_CREAT | O_RDWR, 0666);
    if (fd < 0) return nullptr;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        return nullptr;
    }
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return p == MAP_FAILED ? nullptr : p;
}

}  // namespace sl
