#include <windows.h>

#include "platform/platform.h"

namespace sl {

// Zero-filled like the other systems' block, so no stage depends on stale bytes.
void *plat_alloc_block(size_t bytes) { return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes); }

void plat_free_block(void *p, size_t) {
    if (p) GlobalFree(p);
}

// Committed pages start zero-filled.
void *plat_alloc_virtual(size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void plat_free_virtual(void *p, size_t) {
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

}  // namespace sl
