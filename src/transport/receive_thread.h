// The receive thread: the only reader on the link.
#pragma once

#include <cstdint>

#include "transport/job_link.h"

namespace sl {

int ReceiveThread(void *link);
// Length of a reply to `code`, its closing checksum word included.
int ReplyLength(uint8_t code);
// Hands every complete reply in the bytes gathered so far (n at most
// kReceiveBufferBytes more) to DispatchReply: TCP may split one reply or join
// two, so a partial reply waits for the next call.
void TakeReplies(const uint8_t *data, int n, JobLink *link);
// Forgets a partial reply (a new connection starts at a reply's first byte).
void DropPartialReply(JobLink *link);
void DispatchReply(const uint8_t *reply, JobLink *link, int length);

}  // namespace sl
