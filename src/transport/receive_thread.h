// The receive thread: the only reader on the link.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

constexpr int kReceiveBufferBytes = 1500;

int ReceiveThread(void *link);
// Length of a reply to `code`, its closing checksum word included.
int ReplyLength(uint8_t code);
// Hands every complete reply in the bytes gathered so far (n at most
// kReceiveBufferBytes more) to DispatchReply: TCP may split one reply or join
// two, so a partial reply waits for the next call.
void TakeReplies(const uint8_t *data, int n, LinkContext *link);
// Forgets a partial reply (a new connection starts at a reply's first byte).
void DropPartialReply();
void DispatchReply(const uint8_t *reply, LinkContext *link, int length);

}  // namespace sl
