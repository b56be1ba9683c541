#include "packet_decode.h"

#include <span>

#include "protocol.h"
#include "wire.h"

namespace swathboard {

namespace {

struct FieldLayout {
    const char *name;
    std::uint8_t offset;
    std::uint8_t width;
};

constexpr FieldLayout kDebugFields[] = {
    {"sub_code", 4, 2},
    {"JobId", 6, 2},
};

constexpr FieldLayout kJobCreateFields[] = {
    {"JobId", 4, 2}, {"b6", 6, 1},   {"d4c", 7, 1},  {"hires", 8, 2}, {"w10", 10, 2}, {"resolution", 12, 2},
    {"VSD", 14, 2},  {"w26", 26, 2}, {"w28", 28, 2}, {"tag", 30, 1},  {"w38", 38, 2},
};

constexpr FieldLayout kPrintStartFields[] = {
    {"JobId", 4, 2},       {"b6", 6, 1},   {"d4c", 7, 1},     {"hires", 8, 2},     {"w10", 10, 2},
    {"resolution", 12, 2}, {"VSD", 14, 2}, {"date", 16, 4},   {"step_ref", 20, 4}, {"w26", 26, 2},
    {"w28", 28, 2},        {"tag", 30, 1}, {"Colors", 31, 1}, {"b32", 32, 1},      {"b33", 33, 1},
    {"step_cal", 36, 2},   {"w38", 38, 2},
};

constexpr FieldLayout kPrintEndFields[] = {
    {"JobId", 4, 2},
    {"b6", 6, 1},
    {"d4c", 7, 1},
    {"tag", 30, 1},
};

constexpr FieldLayout kSwathFields[] = {
    {"Len", 4, 4},        {"area", 8, 4},      {"length", 12, 4},    {"firing_tag", 29, 1},
    {"direction", 30, 1}, {"Step", 32, 4},     {"speed", 36, 2},     {"Pstart", 38, 2},
    {"Pend", 40, 2},      {"dir_flag", 42, 1}, {"NextStart", 44, 2}, {"fire_delay", 46, 2},
    {"FeedUnits", 48, 2}, {"SwathSN", 52, 4},  {"word56", 56, 4},
};

constexpr std::size_t kSwathLenAt = 4;
constexpr std::size_t kSwathSerialAt = 52;

std::span<const FieldLayout> FieldsOf(std::uint8_t code) {
    switch (code) {
    case NET_CMD_DEBUG: return kDebugFields;
    case NET_CMD_JOB_CREATE: return kJobCreateFields;
    case NET_CMD_PRINT_START: return kPrintStartFields;
    case NET_CMD_PRINT_END: return kPrintEndFields;
    case NET_CMD_SWATH_CREATE: return kSwathFields;
    default: return {};
    }
}

}  // namespace

std::vector<NamedField> DecodePacket(const std::uint8_t *packet) {
    std::vector<NamedField> fields;
    for (const FieldLayout &f : FieldsOf(packet[0])) {
        fields.push_back({f.name, wire::Get(packet + f.offset, f.width)});
    }
    return fields;
}

std::uint32_t SwathDataLength(const std::uint8_t *packet) { return wire::Get32(packet + kSwathLenAt); }

std::uint32_t SwathSerial(const std::uint8_t *packet) { return wire::Get32(packet + kSwathSerialAt); }

const char *CommandName(std::uint8_t code) {
    switch (code) {
    case NET_CMD_DEBUG: return "NET_CMD_DEBUG";
    case NET_CMD_JOB_CREATE: return "NET_CMD_JOB_CREATE";
    case NET_CMD_PRINT_START: return "NET_CMD_PRINT_START";
    case NET_CMD_SWATH_CREATE: return "NET_CMD_SWATH_CREATE";
    case NET_CMD_PRINT_END: return "NET_CMD_PRINT_END";
    default: return "unknown";
    }
}

bool FieldValue(const PacketRecord &record, std::string_view name, std::uint32_t *value) {
    for (const NamedField &f : record.fields) {
        if (f.name == name) {
            *value = f.value;
            return true;
        }
    }
    return false;
}

}  // namespace swathboard
