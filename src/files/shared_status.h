// The heartbeat: a number in the shared block "ShareFile" that changes while
// a job's link is active, so other programs can see the driver is alive.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

constexpr uint32_t kHeartbeatMs = 150;  // how often the number changes

// The printer's mapping of the block (nullptr until the first job maps it)
// and the link whose activity it shows.
struct Heartbeat {
    uint8_t **block;  // the printer's handle, kept across its jobs
    const LinkContext *link;
};

// Heartbeat thread entry; the argument is a Heartbeat.
int HeartbeatThread(void *heartbeat);
// Releases a mapping made by the heartbeat thread.
void ReleaseHeartbeatBlock(uint8_t *block);

}  // namespace sl
