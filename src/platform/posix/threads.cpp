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

struct PlatSignal {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t raised;
    uint32_t count = 0;
};

namespace {

// The monotonic clock, so that a change of the wall clock cannot stretch a
// wait.
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

PlatSignal *plat_signal_new() {
    auto *s = new (std::nothrow) PlatSignal;
    if (!s) return nullptr;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    const int r = pthread_cond_init(&s->raised, &attr);
    pthread_condattr_destroy(&attr);
    if (r != 0) {
        delete s;
        return nullptr;
    }
    return s;
}

void plat_signal_free(PlatSignal *s) {
    if (!s) return;
    pthread_cond_destroy(&s->raised);
    pthread_mutex_destroy(&s->lock);
    delete s;
}

uint32_t plat_signal_count(PlatSignal *s) {
    pthread_mutex_lock(&s->lock);
    const uint32_t count = s->count;
    pthread_mutex_unlock(&s->lock);
    return count;
}

void plat_signal_raise(PlatSignal *s) {
    pthread_mutex_lock(&s->lock);
    ++s->count;
    pthread_cond_broadcast(&s->raised);
    pthread_mutex_unlock(&s->lock);
}

int plat_signal_wait(PlatSignal *s, uint32_t seen, uint32_t ms) {
    const timespec until = deadline_after(ms);
    pthread_mutex_lock(&s->lock);
    while (s->count == seen && pthread_cond_timedwait(&s->raised, &s->lock, &until) == 0) {}
    const bool raised = s->count != seen;
    pthread_mutex_unlock(&s->lock);
    return raised ? 0 : kPlatTimedOut;
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

void plat_shared_block_release(void *block, size_t bytes) {
    if (block) munmap(block, bytes);
}

}  // namespace sl
