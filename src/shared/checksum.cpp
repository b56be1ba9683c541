#include "shared/checksum.h"

namespace sl {

namespace {

// The type is mixed into both bytes of the seed so that records of different
// kinds with equal bytes still carry different words.
constexpr uint32_t ChecksumSeed(uint16_t type) {
    const uint32_t t = type;
    return (((~(t + 0xAB87u)) << 8) | (t & 0xFFu)) & 0xFFFFu;
}

static_assert(ChecksumSeed(0) == 0x7800);
static_assert(ChecksumSeed(0xABCC) == 0xACCC);

// End-around carry: adds the carries back in until the sum fits 16 bits.
constexpr uint32_t FoldCarries(uint64_t sum) {
    while (sum > 0xFFFFu) sum = (sum >> 16) + (sum & 0xFFFFu);
    return static_cast<uint32_t>(sum);
}

}  // namespace

uint16_t CalcChecksum16(const uint8_t *data, uint32_t length, uint16_t type) {
    // 64 bits: a 32-bit sum would wrap (and lose carries) past 65,537 words.
    uint64_t sum = ChecksumSeed(type);
    for (uint32_t i = 0; i + 1 < length; i += 2) sum += data[i] | (uint32_t{data[i + 1]} << 8);
    if (length & 1) sum += data[length - 1];
    return static_cast<uint16_t>(FoldCarries(sum));
}

uint16_t JobIdFromTime(const PlatTime &t) {
    const uint16_t words[4] = {
        static_cast<uint16_t>(t.minute * 256 + t.second),
        t.hour,
        static_cast<uint16_t>(t.month * 256 + t.day),
        t.year,
    };
    uint64_t sum = 0;
    for (uint16_t w : words) sum += w;
    const uint32_t id = FoldCarries(sum);
    // A job id is never 0.
    return static_cast<uint16_t>(id == 0 ? 1 : id);
}

}  // namespace sl
