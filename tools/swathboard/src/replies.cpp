#include "replies.h"

#include "checksum.h"
#include "param_block.h"
#include "protocol.h"
#include "wire.h"

namespace swathboard {

namespace {

bool CarriesPrintStatus(std::uint8_t code) { return code == NET_CMD_DEBUG || code == NET_CMD_SWATH_CREATE; }

void WriteHeader(const ReplyHeader &header, std::uint16_t selector, std::uint8_t *reply) {
    reply[kReplyCode] = header.code;
    reply[kReplySelectorLow] = static_cast<std::uint8_t>(selector & 0xFF);
    reply[kReplyStatus] = header.status;
    reply[kReplySelectorHigh] = static_cast<std::uint8_t>(selector >> 8);
    if (CarriesPrintStatus(header.code)) {
        wire::Put16(reply + kReplyPrintStatus, header.print_status);
        wire::Put16(reply + kReplySwathState, header.swath_state);
    }
}

}  // namespace

std::vector<std::uint8_t> BuildReply(const ReplyHeader &header, const ParamPreset &preset) {
    const std::size_t sum_at = ChecksumOffset(header.code);
    std::vector<std::uint8_t> reply(sum_at + 2, 0);
    WriteHeader(header, LayoutSelector(preset), reply.data());
    if (header.code == NET_CMD_JOB_CREATE) WriteParamBlock(preset, reply.data());
    wire::Put16(reply.data() + sum_at, CalcChecksum16(reply.data(), sum_at, header.code));
    return reply;
}

std::vector<std::uint8_t> JobCreateAnswer(const ParamPreset &preset, std::uint8_t status) {
    return BuildReply({NET_CMD_JOB_CREATE, status, 0, 0}, preset);
}

}  // namespace swathboard
