#include "address_record.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace swathprint {

namespace {

// Layout of the 288-byte status record (little-endian).
constexpr size_t kRecordSize = 288;
constexpr size_t kMarkOffset = 156;
constexpr size_t kPcOffset = 160;
constexpr size_t kBoardOffset = 164;
constexpr size_t kChecksummedBytes = 280;
constexpr size_t kChecksumOffset = 284;
constexpr uint32_t kAddressMark = 0xA6CF9968;
constexpr std::array<uint8_t, 16> kActiveTag = {0x63, 0x26, 0x04, 0x1C, 0x03, 0x05, 0x09, 0x2D,
                                                0x04, 0x20, 0x09, 0x04, 0x03, 0x5E, 0x02, 0x03};
constexpr uint32_t kStatusSeed = 0x7800;  // the folded sum's seed for the status file

void PutLE32(uint8_t *at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Seeded folded sum of little-endian 16-bit words.
uint16_t FoldedSum(const uint8_t *data, size_t length, uint32_t seed) {
    uint64_t sum = seed;
    for (size_t i = 0; i + 1 < length; i += 2) sum += data[i] | (data[i + 1] << 8);
    if (length % 2) sum += data[length - 1];
    while (sum > 0xFFFF) sum = (sum >> 16) + (sum & 0xFFFF);
    return static_cast<uint16_t>(sum);
}

}  // namespace

bool ParseIPv4(const std::string &text, uint32_t *address) {
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return false;
    if (a > 255 || b > 255 || c > 255 || d > 255) return false;
    *address = (a << 24) | (b << 16) | (c << 8) | d;
    return true;
}

bool WriteAddressRecord(const std::string &folder, uint32_t pc, uint32_t board, std::string *error) {
    std::array<uint8_t, kRecordSize> rec{};
    std::memcpy(rec.data(), kActiveTag.data(), kActiveTag.size());
    PutLE32(&rec[kMarkOffset], kAddressMark);
    PutLE32(&rec[kPcOffset], pc);
    PutLE32(&rec[kBoardOffset], board);
    const uint16_t sum = FoldedSum(rec.data(), kChecksummedBytes, kStatusSeed);
    rec[kChecksumOffset] = static_cast<uint8_t>(sum);
    rec[kChecksumOffset + 1] = static_cast<uint8_t>(sum >> 8);

    const std::string path = folder + "/printcfg.cfg";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(rec.data()), rec.size());
    if (out.flush()) return true;
    *error = "cannot write " + path;
    return false;
}

}  // namespace swathprint
