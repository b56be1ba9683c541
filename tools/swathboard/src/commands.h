// What the board answers to each command, faults applied.
#pragma once

#include <cstdint>

#include "faults.h"
#include "replies.h"

namespace swathboard {

struct AnswerPolicy {
    std::uint16_t stop_print_status = 1;   // print status answering NET_DEBUG_STOP
    std::uint16_t repeat_swath_state = 4;  // swath state for a SwathSN already taken
};

struct Outcome {
    ReplyHeader reply;
    bool duplicate = false;    // swath whose SwathSN is already stored
    bool store_swath = false;  // swath accepted for printing
};

// `serial_taken` says whether a swath packet's SwathSN is already stored.
Outcome AnswerPacket(const std::uint8_t *packet, const PacketPlan &plan, bool serial_taken,
                     const AnswerPolicy &policy);

}  // namespace swathboard
