#include <sys/mman.h>

#include "platform/platform.h"

namespace sl {

namespace {
void *map_anonymous(size_t bytes) {
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;  // anonymous pages start zero-filled
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

}  // namespace sl
