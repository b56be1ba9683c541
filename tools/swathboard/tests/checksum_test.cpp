#include <gtest/gtest.h>

#include <vector>

#include "checksum.h"
#include "raw_client.h"

namespace {

struct ChecksumCase {
    std::vector<std::uint8_t> bytes;
    std::uint16_t type;
    std::uint16_t expected;
};

TEST(Checksum, KnownValues) {
    const ChecksumCase cases[] = {
        {{}, 0, 0x7800},                        // bare seed
        {{}, 9, 0x7800 - 255 * 9},              // seed for a small type
        {{'a', 'b', 'c'}, 0, 0xDAC4},           // 0x7800 + 0x6261 + 0x63
        {{0x01}, 1, 0x7701 + 1},                // odd length: last byte alone
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0, 0x7800},  // carries folded back in
        {{}, 0x1FF, 0x79FF},                    // wide type: both seed halves from the formula
    };
    for (const ChecksumCase &c : cases) {
        EXPECT_EQ(swathboard::CalcChecksum16(c.bytes.data(), c.bytes.size(), c.type), c.expected)
            << "type " << c.type << " length " << c.bytes.size();
        EXPECT_EQ(sbtest::ReferenceChecksum(c.bytes, c.bytes.size(), c.type), c.expected);
    }
}

}  // namespace
