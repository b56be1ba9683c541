// The public fault switches: each takes the fault lock, changes one
// setting and wakes the server loop so link changes happen at once.
#include <chrono>
#include <mutex>

#include "board.h"
#include "swathboard.h"

namespace swathboard {

namespace {

template <typename Change>
void Update(Board *board, Change change) {
    {
        std::lock_guard<std::mutex> lock(board->faults.mutex);
        change(board->faults);
    }
    WakeServer(board);
}

// Link changes are carried out by the server loop; wait until it has, so
// the caller sees the effect when this returns.
template <typename Change>
void RequestLinkChange(Board *board, Change change) {
    constexpr auto kLoopLatency = std::chrono::seconds(2);
    std::unique_lock<std::mutex> lock(board->faults.mutex);
    change(board->faults);
    const std::uint64_t ticket = ++board->faults.requests_made;
    WakeServer(board);
    board->faults.requests_applied.wait_for(lock, kLoopLatency,
                                            [&] { return board->faults.requests_done >= ticket; });
}

}  // namespace

void RefuseNext(Board *board, std::uint8_t code, std::uint32_t count, std::uint8_t status) {
    Update(board, [&](FaultState &f) {
        f.by_code[code].refuse = count;
        f.by_code[code].refuse_status = status;
    });
}

void DelayNext(Board *board, std::uint8_t code, std::uint32_t count, std::uint32_t delay_ms) {
    Update(board, [&](FaultState &f) {
        f.by_code[code].delay = count;
        f.by_code[code].delay_ms = delay_ms;
    });
}

void SilenceNext(Board *board, std::uint8_t code, std::uint32_t count) {
    Update(board, [&](FaultState &f) { f.by_code[code].silence = count; });
}

void CancelNext(Board *board, std::uint8_t code, std::uint32_t count) {
    Update(board, [&](FaultState &f) { f.by_code[code].cancel = count; });
}

void ExtraAnswerNext(Board *board, std::uint8_t code, std::uint32_t nth) {
    Update(board, [&](FaultState &f) { f.by_code[code].twice_in = nth; });
}

void SendUnsolicited(Board *board, const UnsolicitedAnswer &answer) {
    RequestLinkChange(board, [&](FaultState &f) { f.unsolicited_request = answer; });
}

std::uint32_t ExtraAnswersSent(const Board *board) {
    std::lock_guard<std::mutex> lock(board->faults.mutex);
    return board->faults.extra_answers_sent;
}

void InjectSwathFault(Board *board, SwathFault fault, std::uint32_t nth_swath) {
    Update(board, [&](FaultState &f) {
        f.swaths.fault = fault;
        f.swaths.fault_in = nth_swath;
    });
}

void ArmClose(Board *board, const CloseFault &fault) {
    Update(board, [&](FaultState &f) {
        f.swaths.close = fault;
        f.swaths.close_in = fault.swath_sn || fault.command ? 1 : fault.nth_swath;
    });
}

void RefuseConnections(Board *board, std::uint32_t ms) {
    RequestLinkChange(board, [&](FaultState &f) { f.refuse_ms_request = ms; });
}

void DropConnection(Board *board) {
    RequestLinkChange(board, [&](FaultState &f) { f.drop_request = true; });
}

void SetStopPrintStatus(Board *board, std::uint16_t print_status) {
    Update(board, [&](FaultState &f) { f.stop_print_status = print_status; });
}

void ClearFaults(Board *board) {
    Update(board, [&](FaultState &f) {
        f.by_code = {};
        f.swaths = {};
    });
}

}  // namespace swathboard

namespace swathboard {

void ArmConfiguredFaults(Board *board) {
    for (const CommandFault &f : board->config.command_faults) {
        switch (f.kind) {
        case CommandFault::kRefuse:
            RefuseNext(board, f.code, f.count, static_cast<std::uint8_t>(f.value));
            break;
        case CommandFault::kDelay: DelayNext(board, f.code, f.count, f.value); break;
        case CommandFault::kSilence: SilenceNext(board, f.code, f.count); break;
        case CommandFault::kAnswerTwice: ExtraAnswerNext(board, f.code, f.count); break;
        }
    }
    if (board->config.swath_fault) {
        InjectSwathFault(board, board->config.swath_fault->fault, board->config.swath_fault->nth_swath);
    }
    if (board->config.close) ArmClose(board, *board->config.close);
    if (board->config.unsolicited)
        board->unsolicited_at =
            board->started + std::chrono::milliseconds(board->config.unsolicited->after_ms);
}

}  // namespace swathboard
