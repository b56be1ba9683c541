#include <sys/mman.h>
#include <cerrno>

#include "platform/platform.h"

namespace sl {

namespace {
thread_local uint32_t g_last_error = 0;

void *map_anonymous(size_t bytes) {
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        g_last_error = static_cast<uint32_t>(errno);
        return nullptr;
    }
    return p;  // anonymous pages start zero-filled
}
}  // namespace

void *plat_alloc_block(size_t bytes) { return map_anonymous(bytes); }
void plat_free_block(void *p, size_t bytes) {
    if (p) munmap(p, bytes);
}
void *plat_alloc_virtual(size_t bytes) { return map_anonymous(bytes); }
void plat_free_virtual(void *p, size_t bytes) {
    if (p) munmap(p, bytes);
}
uint32_t plat_last_error() { return g_last_error; }

}  // namespace sl
