#include "commands.h"

#include "protocol.h"
#include "wire.h"

namespace swathboard {

namespace {

constexpr std::size_t kDebugSubCodeAt = 4;

bool IsKnown(std::uint8_t code) {
    return code == NET_CMD_DEBUG || code == NET_CMD_JOB_CREATE || code == NET_CMD_PRINT_START ||
           code == NET_CMD_SWATH_CREATE || code == NET_CMD_PRINT_END;
}

void AnswerDebug(const std::uint8_t *packet, const AnswerPolicy &policy, Outcome *out) {
    // Only a stop changes the printer's state; the board confirms it by
    // reporting the job as cancelled.
    if (wire::Get16(packet + kDebugSubCodeAt) == NET_DEBUG_STOP)
        out->reply.print_status = policy.stop_print_status;
}

void ApplySwathFault(SwathFault fault, Outcome *out) {
    switch (fault) {
    case SwathFault::kPrinterCancel: out->reply.status = kStatusPrinterCancelled; break;
    case SwathFault::kTooWide: out->reply.status = kStatusTooWide; break;
    case SwathFault::kSequenceError: out->reply.swath_state = SWATH_CREAT_SN_ERROR; break;
    }
}

void AnswerSwath(const PacketPlan &plan, bool serial_taken, const AnswerPolicy &policy, Outcome *out) {
    if (plan.swath_fault) {
        ApplySwathFault(*plan.swath_fault, out);
        return;
    }
    out->duplicate = serial_taken;
    if (serial_taken) {
        // Already printed: acknowledge so the host moves on, but print nothing.
        out->reply.swath_state = policy.repeat_swath_state;
        return;
    }
    out->reply.swath_state = SWATH_CREAT_OK;
    out->store_swath = true;
}

}  // namespace

Outcome AnswerPacket(const std::uint8_t *packet, const PacketPlan &plan, bool serial_taken,
                     const AnswerPolicy &policy) {
    Outcome out;
    const std::uint8_t code = packet[0];
    out.reply.code = code;
    if (plan.refuse_status) {
        out.reply.status = *plan.refuse_status;
        return out;
    }
    if (!IsKnown(code)) {
        out.reply.status = kStatusRefused;
        return out;
    }
    if (code == NET_CMD_DEBUG) AnswerDebug(packet, policy, &out);
    if (code == NET_CMD_SWATH_CREATE) AnswerSwath(plan, serial_taken, policy, &out);
    // The operator cancelled the job on the printer: the answers that carry
    // a print status say so.
    if (plan.report_cancel && (code == NET_CMD_DEBUG || code == NET_CMD_SWATH_CREATE))
        out.reply.print_status = kPrintStatusCancelled;
    return out;
}

}  // namespace swathboard
