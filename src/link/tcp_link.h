// The TCP connection to the board.
#pragma once

#include <atomic>
#include <cstdint>

#include "shared/records.h"
#include "shared/status.h"

namespace sl {

constexpr uint16_t kBoardPort = 4000;

// Pauses of a reconnection: the board needs this long to let the old
// connection go before it takes a new one, and to settle on the new one
// before the first packet.
constexpr uint32_t kReconnectPauseMs = 2000;
constexpr uint32_t kReconnectSettleMs = 500;

// Connects to the board at the link's addresses; NoBoard, saying which,
// when the PC does not hold its address or the board does not answer (no
// socket is left open).
[[nodiscard]] Status CreateConnection(LinkContext *link);
// Every connection counts its packets and replies from zero: nothing sent on
// an earlier one is answered on it.
void RestartAnswerCount(LinkContext *link);
// Forgets, drains and closes `s` (nothing when it is already invalid).
void CloseConnection(LinkContext *link, PlatSocket s);
// How a reconnection ended.
enum class Reconnect : uint8_t {
    Connected,  // a new connection stands (made here, or by the thread that was reconnecting)
    Stopped,    // the board stopped the job: the link is left as it is
    Ended,      // the job ended or was aborted: no connection was made
};
Reconnect ReplaceConnection(LinkContext *link);
// Both send all `length` bytes: the count sent, or the platform's
// (negative) error.
int LinkSendCommand(PlatSocket s, uint8_t *packet, int length);
int LinkSendData(PlatSocket s, const uint8_t *data, int length);
// One blocking receive of at most `cap` bytes on the link's current socket:
// bytes, 0 when the board closed the connection, or the platform's
// (negative) error. A close on another thread waits until it has returned,
// so the handle is never released (and handed out again) under it.
int LinkReceive(LinkContext *link, uint8_t *buf, int cap);
void PickBoardMac(LinkAddresses *addresses, const char *boardIP);
// The host-order value of an IPv4 text (plat_parse_ipv4), 0 when it is none.
uint32_t IPTextToValue(const char *text);
void IPValueToText(uint32_t value, char out[128]);

}  // namespace sl
