// Reply framing and the answer chosen per command, without sockets.
#include <gtest/gtest.h>

#include "commands.h"
#include "raw_client.h"
#include "replies.h"

namespace {

using swathboard::ParamPreset;

TEST(Replies, LengthAndChecksumPerCode) {
    struct Case {
        std::uint8_t code;
        std::size_t checksum_at;
    };
    const Case cases[] = {{1, 16}, {9, 16}, {2, 430}, {8, 12}, {18, 12}, {5, 12}};
    for (const ParamPreset &preset : {swathboard::OlderPreset(), swathboard::NewerAlignPreset()}) {
        for (const Case &c : cases) {
            const auto reply = swathboard::BuildReply({c.code, 0, 1, 1}, preset);
            ASSERT_EQ(reply.size(), c.checksum_at + 2) << int(c.code);
            EXPECT_EQ(reply[0], c.code);
            EXPECT_EQ(sbtest::Get(reply, c.checksum_at, 2),
                      sbtest::ReferenceChecksum(reply, c.checksum_at, c.code))
                << int(c.code);
        }
    }
}

TEST(Replies, AnswerPerCommandAndFault) {
    using swathboard::PacketPlan;
    using swathboard::SwathFault;
    struct Case {
        const char *what;
        sbtest::Packet packet;
        PacketPlan plan;
        bool serial_taken;
        std::uint8_t status;
        std::uint16_t print_status;
        std::uint16_t swath_state;
        bool store;
    };
    PacketPlan refuse8;
    refuse8.refuse_status = 8;
    PacketPlan cancel;
    cancel.swath_fault = SwathFault::kPrinterCancel;
    PacketPlan wide;
    wide.swath_fault = SwathFault::kTooWide;
    PacketPlan sn_error;
    sn_error.swath_fault = SwathFault::kSequenceError;
    const Case cases[] = {
        {"stop", sbtest::DebugPacket(22, 7), {}, false, 0, 1, 0, false},
        {"pause", sbtest::DebugPacket(20, 7), {}, false, 0, 0, 0, false},
        {"sync", sbtest::DebugPacket(23, 7), {}, false, 0, 0, 0, false},
        {"print start", sbtest::CommandPacket(8), {}, false, 0, 0, 0, false},
        {"unknown code", sbtest::CommandPacket(5), {}, false, 1, 0, 0, false},
        {"job hanging", sbtest::CommandPacket(2), refuse8, false, 8, 0, 0, false},
        {"new swath", sbtest::SwathPacket(10, 1), {}, false, 0, 0, 1, true},
        {"repeated swath", sbtest::SwathPacket(10, 1), {}, true, 0, 0, 4, false},
        {"printer cancel", sbtest::SwathPacket(10, 1), cancel, false, 8, 0, 0, false},
        {"too wide", sbtest::SwathPacket(10, 1), wide, false, 6, 0, 0, false},
        {"sequence error", sbtest::SwathPacket(10, 1), sn_error, false, 0, 0, 3, false},
    };
    for (const Case &c : cases) {
        const auto out = swathboard::AnswerPacket(c.packet.data(), c.plan, c.serial_taken, {1, 4});
        EXPECT_EQ(out.reply.status, c.status) << c.what;
        EXPECT_EQ(out.reply.print_status, c.print_status) << c.what;
        EXPECT_EQ(out.reply.swath_state, c.swath_state) << c.what;
        EXPECT_EQ(out.store_swath, c.store) << c.what;
    }
}

}  // namespace
