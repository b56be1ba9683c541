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

constexpr int kReceiveBufferBytes = 1500;

int StartLinkThreads(LinkContext *link);
// Ends the threads cooperatively: raises PrintEndFlag and shuts the socket
// down (which wakes a blocked receive), then joins them.
void StopLinkThreads(LinkContext *link);

// Closes the job on the link: unless the board stopped it, sends the held-back
// swath, waits for the queue to drain and ends the job on the board; then
// stops the threads and closes the connection.
void CloseJobLink(LinkContext *link);

// Transmit thread.
int TransmitThread(void *link);
// One step of the print-state machine; builds the step's command, if any.
uint8_t PrintStateStep(LinkContext *link, uint8_t state);
// What one command step of the transmit thread did.
enum class TxCommand : uint8_t {
    Idle,  // nothing to send
    Busy,  // a command went out, or the link is paused or changing state
    Stop,  // the job's link is over (or the command could not be sent)
};
TxCommand Kt_TxSendCommand(LinkContext *link);
// What one swath step did.
enum class TxSwath : uint8_t {
    NoneReady,
    Sent,     // sent, answered and released
    NotSent,  // abandoned for now; it stays queued
};
TxSwath Kt_TxSendSwath(LinkContext *link);
// True when the swath was sent and answered; false when it was abandoned.
[[nodiscard]] bool SendSwath(LinkContext *link, SwathEntry *e);

// Receive thread.
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
