#include "faults.h"

#include <algorithm>

#include "protocol.h"

namespace swathboard {

namespace {

// True when a countdown reaches zero with this packet.
bool Fires(std::uint32_t *countdown) {
    if (*countdown == 0) return false;
    return --*countdown == 0;
}

bool TakeOne(std::uint32_t *count) {
    if (*count == 0) return false;
    --*count;
    return true;
}

bool CloseFires(SwathCountdowns *s, std::uint32_t swath_sn) {
    if (s->close.command != 0) return false;
    if (s->close.swath_sn == 0) return Fires(&s->close_in);
    if (s->close_in == 0 || s->close.swath_sn != swath_sn) return false;
    s->close_in = 0;
    return true;
}

bool CommandCloseFires(SwathCountdowns *s, std::uint8_t code) {
    if (s->close_in == 0 || s->close.command != code) return false;
    s->close_in = 0;
    return true;
}

void PlanSwath(SwathCountdowns *s, std::uint32_t swath_sn, PacketPlan *plan) {
    if (Fires(&s->fault_in)) plan->swath_fault = s->fault;
    if (CloseFires(s, swath_sn)) plan->close = s->close;
}

}  // namespace

PacketPlan TakePacketPlan(FaultState *faults, std::uint8_t code, std::uint32_t swath_sn) {
    std::lock_guard<std::mutex> lock(faults->mutex);
    CodeFaults &f = faults->by_code[code];
    PacketPlan plan;
    if (TakeOne(&f.refuse)) plan.refuse_status = f.refuse_status;
    if (TakeOne(&f.delay)) plan.delay_ms = f.delay_ms;
    plan.silent = TakeOne(&f.silence);
    plan.report_cancel = TakeOne(&f.cancel);
    plan.answer_twice = Fires(&f.twice_in);
    if (code == NET_CMD_SWATH_CREATE)
        PlanSwath(&faults->swaths, swath_sn, &plan);
    else if (CommandCloseFires(&faults->swaths, code))
        plan.close = faults->swaths.close;
    return plan;
}

LinkRequests TakeLinkRequests(FaultState *faults) {
    std::lock_guard<std::mutex> lock(faults->mutex);
    LinkRequests r{faults->refuse_ms_request, faults->drop_request, faults->unsolicited_request,
                   faults->requests_made};
    faults->refuse_ms_request = 0;
    faults->drop_request = false;
    faults->unsolicited_request.reset();
    return r;
}

void LinkRequestsDone(FaultState *faults, std::uint64_t ticket) {
    {
        std::lock_guard<std::mutex> lock(faults->mutex);
        faults->requests_done = std::max(faults->requests_done, ticket);
    }
    faults->requests_applied.notify_all();
}

void CountExtraAnswer(FaultState *faults) {
    std::lock_guard<std::mutex> lock(faults->mutex);
    ++faults->extra_answers_sent;
}

std::uint16_t StopPrintStatus(const FaultState *faults) {
    std::lock_guard<std::mutex> lock(faults->mutex);
    return faults->stop_print_status;
}

}  // namespace swathboard
