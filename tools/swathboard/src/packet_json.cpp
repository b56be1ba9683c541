// JSON-lines form of a packet record, for logs read after a run. The keys
// keep the order they always had, so a line reads the same as before.
#include <string>

#include <nlohmann/json.hpp>

#include "packet_log.h"
#include "protocol.h"

namespace swathboard {

namespace {

using Json = nlohmann::ordered_json;

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

Json Fields(const PacketRecord &r) {
    Json fields = Json::object();
    for (const auto &field : r.fields) fields[std::string(field.name)] = field.value;
    return fields;
}

}  // namespace

std::string PacketJson(const PacketRecord &r) {
    const Json line = {
        {"index", r.index},
        {"connection", r.connection},
        {"time_us", r.time_us},
        {"first_byte_us", r.first_byte_us},
        {"code", r.code},
        {"name", CommandName(r.code)},
        {"tag_bits", r.tag_bits},
        {"raw", Hex(r.raw)},
        {"fields", Fields(r)},
        {"data_len", r.data_len},
        {"data_complete", r.data_complete},
        {"duplicate", r.duplicate},
        {"stored", r.stored},
        {"reply",
         {{"timing", TimingName(r.timing)},
          {"status", r.status},
          {"print_status", r.print_status},
          {"swath_state", r.swath_state}}},
    };
    return line.dump();
}

}  // namespace swathboard
