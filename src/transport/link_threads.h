// The job's worker threads: transmit, receive and the status heartbeat.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

enum : uint8_t {
    TX_RUNNING = 0,
    TX_ALL_RESUME = 1,
    TX_ALL_PAUSE = 2,
    TX_ALL_CANCEL = 3,
    TX_SEND_PAUSE = 4,
    TX_SEND_CONTINUE = 5,
    TX_SEND_CANCEL = 6,
    TX_QUIT_STATUS = 10,
};

int StartLinkThreads(LinkContext *link);
void StopLinkThreads(LinkContext *link);
void DispatchReply(const uint8_t *reply, LinkContext *link, int length);

}  // namespace sl
