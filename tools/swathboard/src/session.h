// One host connection: reading packets and swath data, answering them.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "board.h"
#include "faults.h"
#include "protocol.h"

namespace swathboard {

struct CloseRequest {
    bool close = false;
    std::uint32_t refuse_ms = 0;  // stop listening for this long after closing
};

// An answer waiting out the board's answer latency.
struct PendingAnswer {
    std::chrono::steady_clock::time_point due;
    std::vector<std::uint8_t> bytes;
    CloseRequest after;  // what to do once it is out
};

struct Session {
    int fd = -1;
    std::uint32_t number = 0;

    std::array<std::uint8_t, kPacketSize> packet{};
    std::size_t packet_have = 0;
    std::chrono::steady_clock::time_point packet_started;  // its first byte was read
    PacketPlan plan;

    // Swath data after a NET_CMD_SWATH_CREATE packet.
    bool in_data = false;
    std::uint32_t data_len = 0;   // Len from the packet
    std::uint32_t data_stop = 0;  // bytes to read before acting: Len, or a cut point
    bool cut = false;             // the link closes once data_stop bytes are in
    std::vector<std::uint8_t> data;
    std::uint32_t data_have = 0;

    // An answer held back by a delay fault; the board reads nothing more
    // until it is out, as it handles one command at a time.
    bool holding = false;
    std::vector<std::uint8_t> held_reply;
    std::chrono::steady_clock::time_point reply_at;

    // Close the link once the current answer is out.
    bool close_after_reply = false;
    std::uint32_t refuse_ms_after = 0;

    // Answers waiting out BoardConfig::answer_latency_ms, oldest first;
    // reading goes on meanwhile.
    std::deque<PendingAnswer> pending;
};

// Reads whatever has arrived and answers every complete packet.
CloseRequest SessionRead(Board *board, Session *session);
// Sends an answer whose delay has passed (and every answer before it).
CloseRequest SessionSendHeld(Board *board, Session *session);
// Sends the latency-delayed answers that are due, in order.
CloseRequest SessionSendDue(Session *session);
// Sends an answer to no packet now; false when no host is connected or the
// send failed.
bool SessionSendUnsolicited(Board *board, Session *session, const UnsolicitedAnswer &answer);
// Logs a swath cut short by the link going away; the caller closes fd.
void SessionAbandon(Board *board, Session *session);

}  // namespace swathboard
