#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
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
