// IPv4 text, on every system: the system's parser for dotted quads, and the
// forms the library always accepted from setting files beside them.
#include <cstdint>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

struct AddressCase {
    const char *text;
    uint32_t value;
};

TEST(PlatformIPv4, AcceptedFormsAndTheirValues) {
    const AddressCase cases[] = {
        {"127.0.0.1", 0x7F000001u},
        {"196.12.0.25", 0xC40C0019u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"0.0.0.0", 0u},
        {"192.168.001.010", 0xC0A8010Au},  // leading zeros: decimal, as before
        {"10.1", 0x0A010000u},             // missing parts are 0
        {"10", 0x0A000000u},
        {" 192.0.2.7\r\n", 0xC0000207u},  // a line as a setting file holds it
    };
    for (const AddressCase &c : cases) {
        uint32_t value = 0xDEADBEEFu;
        EXPECT_EQ(sl::plat_parse_ipv4(c.text, &value), 0) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(PlatformIPv4, RejectsWhatIsNoAddressAndLeavesTheValue) {
    // The old reader turned each of these into some address silently.
    const char *const rejected[] = {"",   "   ",        "256.0.0.1", "1.2.3.4.5",  "1..2",     "1.",
                                    ".1", "1234.1.1.1", "a.b.c.d",   "127.0.0.1x", "1.2.3.-4", "0x7f.0.0.1"};
    for (const char *text : rejected) {
        uint32_t value = 0x12345678u;
        EXPECT_EQ(sl::plat_parse_ipv4(text, &value), sl::kPlatBadAddress) << '"' << text << '"';
        EXPECT_EQ(value, 0x12345678u) << text;
    }
    uint32_t value = 0;
    EXPECT_EQ(sl::plat_parse_ipv4(nullptr, &value), sl::kPlatBadAddress);
}

}  // namespace
