// JSON-lines form of a packet record, for logs read after a run.
#include <cstdio>
#include <string>

#include "packet_log.h"
#include "protocol.h"

namespace swathboard {

namespace {

const char *TimingName(ReplyTiming t) {
    switch (t) {
    case ReplyTiming::kNow: return "now";
    case ReplyTiming::kLate: return "late";
    case ReplyTiming::kNever: return "never";
    case ReplyTiming::kDropped: return "dropped";
    }
    return "?";
}

std::string Hex(const std::array<std::uint8_t, kPacketSize> &bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

std::string Fields(const PacketRecord &r) {
    std::string out = "{";
    for (std::size_t i = 0; i < r.fields.size(); ++i) {
        if (i > 0) out += ",";
        // Field names are fixed identifiers, so they need no escaping.
        out += "\"" + std::string(r.fields[i].name) + "\":" + std::to_string(r.fields[i].value);
    }
    return out + "}";
}

const char *Bool(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string PacketJson(const PacketRecord &r) {
    char head[256];
    std::snprintf(
        head, sizeof head,
        "{\"index\":%llu,\"connection\":%u,\"time_us\":%llu,\"first_byte_us\":%llu,\"code\":%u,"
        "\"name\":\"%s\",\"tag_bits\":%s,",
        static_cast<unsigned long long>(r.index), r.connection, static_cast<unsigned long long>(r.time_us),
        static_cast<unsigned long long>(r.first_byte_us), r.code, CommandName(r.code), Bool(r.tag_bits));
    char tail[320];
    std::snprintf(tail, sizeof tail,
                  ",\"data_len\":%u,\"data_complete\":%s,\"duplicate\":%s,\"stored\":%s,"
                  "\"reply\":{\"timing\":\"%s\",\"status\":%u,\"print_status\":%u,\"swath_state\":%u}}",
                  r.data_len, Bool(r.data_complete), Bool(r.duplicate), Bool(r.stored), TimingName(r.timing),
                  r.status, r.print_status, r.swath_state);
    return std::string(head) + "\"raw\":\"" + Hex(r.raw) + "\",\"fields\":" + Fields(r) + tail;
}

}  // namespace swathboard
