// The heartbeat: a number in the shared block "ShareFile" that changes every
// 150 ms while a job's link is active, so other programs can see the driver
// is alive.
#include "files/shared_status.h"

#include <atomic>
#include <cstring>

#include "platform/platform.h"
#include "shared/link_wait.h"
#include "shared/records.h"

namespace sl {

namespace {

constexpr size_t kShareBytes = 128;
constexpr size_t kHeartbeatOffset = 4;

uint8_t *ShareBlock(uint8_t **handle) {
    if (!*handle) *handle = static_cast<uint8_t *>(plat_shared_block("ShareFile", kShareBytes));
    return *handle;
}

// A linear congruential generator kept to its top 15 bits, so readers see
// values from 0 to 32767.
uint32_t NextRandom(uint32_t *seed) {
    *seed = *seed * 214013u + 2531011u;
    return (*seed >> 16) & 0x7FFF;
}

bool LinkOver(const LinkContext *link) {
    return link->PrintEndFlag.load() || (AbortRequested(link) && link->PrintStopFlag.load());
}

}  // namespace

int HeartbeatThread(void *arg) {
    const auto *heartbeat = static_cast<Heartbeat *>(arg);
    const LinkContext *link = heartbeat->link;
    uint8_t *block = ShareBlock(heartbeat->block);
    if (!block) return 0;
    std::memset(block, 0, kShareBytes);
    uint32_t seed = plat_time_seconds();
    // Other processes read the word while it changes: one aligned store.
    std::atomic_ref<uint32_t> beat(*reinterpret_cast<uint32_t *>(block + kHeartbeatOffset));
    while (!LinkOver(link)) {
        beat.store(NextRandom(&seed), std::memory_order_relaxed);
        // Woken at once when the link ends.
        WaitForChange(link->changed, kHeartbeatMs, [link] { return LinkOver(link); });
    }
    return 0;
}

void ReleaseHeartbeatBlock(uint8_t *block) {
    if (block) plat_shared_block_release(block, kShareBytes);
}

}  // namespace sl
