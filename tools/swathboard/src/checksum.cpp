#include "checksum.h"

#include "wire.h"

namespace swathboard {

namespace {

// The seed mixes the type into both bytes so that replies of different
// commands with equal bytes still carry different words.
constexpr std::uint32_t Seed(std::uint16_t type) {
    const std::uint32_t t = type;
    const std::uint32_t high = (~(t + 0xAB87u)) << 8;
    return (high | (t & 0xFFu)) & 0xFFFFu;
}

static_assert(Seed(0) == 0x7800);
static_assert(Seed(2) == (0x7800 - 255 * 2));

constexpr std::uint64_t Fold(std::uint64_t sum) {
    while (sum > 0xFFFFu) sum = (sum >> 16) + (sum & 0xFFFFu);
    return sum;
}

}  // namespace

std::uint16_t CalcChecksum16(const std::uint8_t *data, std::size_t length, std::uint16_t type) {
    std::uint64_t sum = Seed(type);
    for (std::size_t i = 0; i + 1 < length; i += 2) sum += wire::Get16(data + i);
    if (length % 2 != 0) sum += data[length - 1];
    return static_cast<std::uint16_t>(Fold(sum));
}

}  // namespace swathboard
