// Fault switches, set from any thread and consumed by the server loop.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "swathboard.h"

namespace swathboard {

struct CodeFaults {
    std::uint32_t refuse = 0;  // packets still to refuse
    std::uint8_t refuse_status = 1;
    std::uint32_t delay = 0;  // packets still to answer late
    std::uint32_t delay_ms = 0;
    std::uint32_t silence = 0;   // packets still to leave unanswered
    std::uint32_t cancel = 0;    // answers still to report a printer-side cancel
    std::uint32_t twice_in = 0;  // counts down to the packet answered twice
};

// Counted in swath packets; 0 = not armed.
struct SwathCountdowns {
    std::uint32_t fault_in = 0;
    SwathFault fault = SwathFault::kPrinterCancel;
    std::uint32_t close_in = 0;
    CloseFault close;
};

struct FaultState {
    mutable std::mutex mutex;
    std::array<CodeFaults, 256> by_code = {};
    SwathCountdowns swaths;
    std::uint16_t stop_print_status = 1;
    // Link requests for the server loop, which owns the sockets.
    std::uint32_t refuse_ms_request = 0;
    bool drop_request = false;
    std::optional<UnsolicitedAnswer> unsolicited_request;
    std::uint32_t extra_answers_sent = 0;
    // Link requests are numbered so a setter can wait until the loop has
    // carried its request out: a test that refuses connections and then
    // connects must be refused.
    std::uint64_t requests_made = 0;
    std::uint64_t requests_done = 0;
    std::condition_variable requests_applied;
};

// What the board does with one packet, decided when its 64 bytes are in.
struct PacketPlan {
    std::optional<std::uint8_t> refuse_status;
    std::optional<std::uint32_t> delay_ms;
    bool silent = false;
    bool report_cancel = false;
    bool answer_twice = false;
    std::optional<SwathFault> swath_fault;
    std::optional<CloseFault> close;
};

// Consumes one count of every fault that applies to a packet of `code`.
// `swath_sn` is the packet's SwathSN (swath packets only).
PacketPlan TakePacketPlan(FaultState *faults, std::uint8_t code, std::uint32_t swath_sn);

struct LinkRequests {
    std::uint32_t refuse_ms = 0;
    bool drop = false;
    std::optional<UnsolicitedAnswer> unsolicited;
    std::uint64_t ticket = 0;  // the last request included
};
LinkRequests TakeLinkRequests(FaultState *faults);
// Called by the loop once it has carried out the requests it took.
void LinkRequestsDone(FaultState *faults, std::uint64_t ticket);

std::uint16_t StopPrintStatus(const FaultState *faults);
// Counts an answer sent that answered no packet.
void CountExtraAnswer(FaultState *faults);

}  // namespace swathboard
