// The heartbeat: a number in the shared block "ShareFile" that changes every
// 150 ms while a job's link is active, so other programs can see the driver
// is alive.
#include "files/shared_status.h"

#include <atomic>
#include <cstring>

#include "platform/platform.h"
#include "swathlink/records.h"

namespace sl {

namespace {

constexpr size_t kShareBytes = 128;
constexpr size_t kHeartbeatOffset = 4;

// The block stays mapped until the process ends; one mapping serves every job.
std::atomic<uint8_t *> gShareBlock{nullptr};

uint8_t *ShareBlock() {
    uint8_t *p = gShareBlock.load();
    if (p) return p;
    p = static_cast<uint8_t *>(plat_shared_block("ShareFile", kShareBytes));
    uint8_t *none = nullptr;
    // Only the heartbeat thread maps it; one thread runs per job.
    if (p && !gShareBlock.compare_exchange_strong(none, p)) p = none;
    return p;
}

// A linear congruential generator kept to its top 15 bits, so readers see
// values from 0 to 32767.
uint32_t NextRandom(uint32_t *seed) {
    *seed = *seed * 214013u + 2531011u;
    return (*seed >> 16) & 0x7FFF;
}

bool LinkOver(const LinkContext *link) {
    return link->PrintEndFlag.load() == 1 || (AbortRequested() && link->PrintStopFlag.load() == 1);
}

}  // namespace

int HeartbeatThread(void *arg) {
    auto *link = static_cast<LinkContext *>(arg);
    uint8_t *block = ShareBlock();
    if (!block) return 0;
    std::memset(block, 0, kShareBytes);
    uint32_t seed = plat_time_seconds();
    // Other processes read the word while it changes: one aligned store.
    std::atomic_ref<uint32_t> beat(*reinterpret_cast<uint32_t *>(block + kHeartbeatOffset));
    while (!LinkOver(link)) {
        beat.store(NextRandom(&seed), std::memory_order_relaxed);
        plat_sleep_ms(150);
    }
    return 0;
}

}  // namespace sl
