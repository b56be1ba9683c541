#include <gtest/gtest.h>

#include <vector>

#include "shared/checksum.h"

namespace sl {
namespace {

struct ChecksumCase {
    std::vector<uint8_t> data;
    uint16_t type;
    uint16_t expected;
};

TEST(CalcChecksum16, SeededFoldedSum) {
    const ChecksumCase cases[] = {
        // clang-format off
        {{'a', 'b', 'c'}, 0, 0xDAC4},        // 0x7800 + 0x6261 + 0x63
        {{'a', 'b', 'c'}, 0xABCC, 0x0F91},   // seed 0xACCC, one carry folded back
        {{}, 0, 0x7800},                     // empty: the seed word
        {{}, 0xABCC, 0xACCC},
        {{}, 1, 0x7701},                     // 0x7800 - 255 x type, for types below 256
        {{'a', 'b'}, 0, 0xDA61},             // even length: no odd byte
        {{0xFF, 0xFF, 0x01, 0x00}, 0, 0x7801},  // 0x17800 folds to 0x7801
        // clang-format on
    };
    for (const ChecksumCase &c : cases) {
        EXPECT_EQ(CalcChecksum16(c.data.data(), static_cast<uint32_t>(c.data.size()), c.type), c.expected)
            << "length " << c.data.size() << " type " << c.type;
    }
}

TEST(CalcChecksum16, LongBlockKeepsEveryCarry) {
    // 0xFFFF words add nothing to a folded sum; 70,000 of them pass 32 bits.
    const std::vector<uint8_t> data(140000, 0xFF);
    EXPECT_EQ(CalcChecksum16(data.data(), static_cast<uint32_t>(data.size()), 0), 0x7800);
}

TEST(JobIdFromTime, FoldedSumOfTheTimeWords) {
    struct Case {
        PlatTime t;
        uint16_t expected;
    };
    const Case cases[] = {
        // (45 x 256 + 30) + 13 + (5 x 256 + 17) + 2024
        {{2024, 5, 17, 13, 45, 30}, 11550 + 13 + 1297 + 2024},
        // 0xFFFF + 0xFFFF + 2 = 0x20000: the carries fold to 2
        {{2, 0, 0, 0xFFFF, 0xFF, 0xFF}, 2},
        {{0, 0, 0, 0, 0, 0}, 1},  // folded sum 0 is sent as 1
    };
    for (const Case &c : cases) EXPECT_EQ(JobIdFromTime(c.t), c.expected) << c.t.year;
}

}  // namespace
}  // namespace sl
