// Each injected fault, seen from the host side of the link.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "raw_client.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using swathboard::ReplyTiming;

struct Connected {
    sbtest::BoardHandle board;
    sbtest::RawClient client;
    explicit Connected(sbtest::TestAddress a) {
        board = sbtest::StartTestBoard(a);
        EXPECT_EQ(client.Connect(sbtest::TestIp(a)), 0);
    }
};

std::size_t ReplyLength(std::uint8_t code) { return code == 2 ? 432 : (code == 1 || code == 9) ? 18 : 14; }

// A refusal lasts until the board listens again.
bool WaitUntilConnects(sbtest::RawClient *c, const std::string &ip) {
    const auto until = Clock::now() + 5s;
    while (c->Connect(ip) != 0) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

sbtest::Packet PacketFor(std::uint8_t code) {
    return code == 9   ? sbtest::SwathPacket(0, 1)
           : code == 1 ? sbtest::DebugPacket(23, 1)
                       : sbtest::CommandPacket(code);
}

TEST(Faults, RefuseNextCommandsOfACode) {
    Connected c(sbtest::kAddrRefuse);
    struct Case {
        std::uint8_t code;
        std::uint32_t count;
        std::uint8_t status;
    };
    const Case cases[] = {{2, 2, 1}, {2, 1, 8}, {8, 1, 1}, {1, 1, 1}, {9, 2, 1}};
    for (const Case &k : cases) {
        SCOPED_TRACE(int(k.code));
        swathboard::RefuseNext(c.board.get(), k.code, k.count, k.status);
        std::vector<std::uint8_t> reply;
        for (std::uint32_t i = 0; i < k.count; ++i) {
            ASSERT_TRUE(sbtest::Exchange(&c.client, PacketFor(k.code), ReplyLength(k.code), &reply));
            EXPECT_EQ(reply[2], k.status);
        }
        ASSERT_TRUE(sbtest::Exchange(&c.client, PacketFor(k.code), ReplyLength(k.code), &reply));
        EXPECT_EQ(reply[2], 0);
    }
    // A refused swath is not printed; its resend is a fresh swath.
    EXPECT_EQ(swathboard::StoredSwathNumbers(c.board.get()), (std::vector<std::uint32_t>{1}));
}

TEST(Faults, DelayedAnswerComesLate) {
    Connected c(sbtest::kAddrDelay);
    constexpr std::uint32_t kDelayMs = 120;
    swathboard::DelayNext(c.board.get(), 8, 1, kDelayMs);
    std::vector<std::uint8_t> reply;
    const auto t0 = Clock::now();
    ASSERT_TRUE(c.client.SendPacket(sbtest::CommandPacket(8)));
    // The board reads nothing more while the answer is held back.
    ASSERT_TRUE(c.client.SendPacket(sbtest::CommandPacket(18)));
    ASSERT_TRUE(c.client.Read(14, &reply));
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(kDelayMs));
    EXPECT_EQ(reply[0], 8);
    ASSERT_TRUE(c.client.Read(14, &reply));
    EXPECT_EQ(reply[0], 18);
    const auto log = swathboard::Packets(c.board.get());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].timing, ReplyTiming::kLate);
    EXPECT_EQ(log[1].timing, ReplyTiming::kNow);
}

// A slow board: it reads on while its answers wait, and answers in order.
TEST(Faults, AnswerLatencyDelaysEveryAnswerInOrder) {
    constexpr auto kLatency = 1000ms;
    swathboard::BoardConfig config;
    config.answer_latency_ms = static_cast<std::uint32_t>(kLatency.count());
    const auto board = sbtest::StartTestBoard(sbtest::kAddrAnswerLatency, config);
    sbtest::RawClient client;
    ASSERT_EQ(client.Connect(sbtest::TestIp(sbtest::kAddrAnswerLatency)), 0);

    const auto data = sbtest::Pattern(100000, 4);
    const auto t0 = Clock::now();
    ASSERT_TRUE(client.SendPacket(sbtest::SwathPacket(static_cast<std::uint32_t>(data.size()), 1)));
    ASSERT_TRUE(client.Send(data.data(), data.size()));
    ASSERT_TRUE(client.SendPacket(sbtest::CommandPacket(8)));
    ASSERT_TRUE(swathboard::WaitForPackets(board.get(), 8, 1, 5s));
    if (Clock::now() - t0 < kLatency) {
        EXPECT_TRUE(client.Quiet(0)) << "answered before its latency";
    }

    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(client.Read(18, &reply, 5000));
    EXPECT_GE(Clock::now() - t0, kLatency);
    EXPECT_EQ(reply[0], 9);
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);
    ASSERT_TRUE(client.Read(14, &reply, 5000));
    EXPECT_EQ(reply[0], 8);
    EXPECT_EQ(swathboard::StoredSwathNumbers(board.get()), (std::vector<std::uint32_t>{1}));
}

TEST(Faults, SilencedCommandIsNeverAnswered) {
    Connected c(sbtest::kAddrSilence);
    swathboard::SilenceNext(c.board.get(), 18, 1);
    ASSERT_TRUE(c.client.SendPacket(sbtest::CommandPacket(18)));
    ASSERT_TRUE(swathboard::WaitForPackets(c.board.get(), 18, 1, 2s));
    EXPECT_TRUE(c.client.Quiet(50));
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::CommandPacket(18), 14, &reply));
    EXPECT_EQ(reply[0], 18);
    EXPECT_EQ(swathboard::Packets(c.board.get())[0].timing, ReplyTiming::kNever);
}

TEST(Faults, CloseAfterNthSwath) {
    Connected c(sbtest::kAddrCloseAfterSwaths);
    swathboard::ArmClose(c.board.get(), {2, -1, 0});
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, sbtest::Pattern(64, 1), &reply));
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 2, sbtest::Pattern(64, 2), &reply));
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);  // answered, then the link goes
    EXPECT_TRUE(c.client.ClosedByPeer());
    EXPECT_EQ(swathboard::StoredSwathNumbers(c.board.get()), (std::vector<std::uint32_t>{1, 2}));
}

TEST(Faults, CloseInTheMiddleOfSwathData) {
    Connected c(sbtest::kAddrCloseMidData);
    swathboard::ArmClose(c.board.get(), {1, 100, 0});
    const auto data = sbtest::Pattern(1000, 9);
    ASSERT_TRUE(c.client.SendPacket(sbtest::SwathPacket(1000, 1)));
    c.client.Send(data.data(), data.size());  // may fail once the board has gone
    EXPECT_TRUE(c.client.ClosedByPeer());
    const auto log = swathboard::Packets(c.board.get());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].data_len, 100u);
    EXPECT_FALSE(log[0].data_complete);
    EXPECT_EQ(log[0].timing, ReplyTiming::kDropped);
    EXPECT_TRUE(swathboard::StoredSwathNumbers(c.board.get()).empty());

    // The host reconnects and resends; the board takes it as new.
    ASSERT_EQ(c.client.Connect(sbtest::TestIp(sbtest::kAddrCloseMidData)), 0);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, data, &reply));
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);
}

TEST(Faults, CloseUnderAGivenSwath) {
    Connected c(sbtest::kAddrCloseUnderSwath);
    swathboard::ArmClose(c.board.get(), {1, 100, 0, 2});
    std::vector<std::uint8_t> reply;
    const auto data = sbtest::Pattern(1000, 3);
    // Swath 1 and a resent copy of it pass; the cut waits for swath 2.
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, data, &reply));
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, data, &reply));
    ASSERT_TRUE(c.client.SendPacket(sbtest::SwathPacket(1000, 2)));
    c.client.Send(data.data(), data.size());  // may fail once the board has gone
    EXPECT_TRUE(c.client.ClosedByPeer());
    const auto log = swathboard::Packets(c.board.get());
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2].data_len, 100u);
    EXPECT_EQ(log[2].timing, ReplyTiming::kDropped);
    EXPECT_EQ(swathboard::StoredSwathNumbers(c.board.get()), (std::vector<std::uint32_t>{1}));
}

TEST(Faults, CloseOnACommand) {
    struct Case {
        std::uint8_t command;
        std::int64_t after_data_bytes;  // -1: after the answer; 0: before it
        std::uint32_t refuse_ms;
    };
    const Case cases[] = {{2, -1, 0}, {2, 0, 0}, {8, 0, 0}, {18, -1, 0}, {18, 0, 200}, {1, 0, 0}};
    auto board = sbtest::StartTestBoard(sbtest::kAddrCloseOnCommand);
    const std::string ip = sbtest::TestIp(sbtest::kAddrCloseOnCommand);
    for (const Case &k : cases) {
        SCOPED_TRACE(std::to_string(k.command) + " after " + std::to_string(k.after_data_bytes));
        swathboard::CloseFault fault;
        fault.after_data_bytes = k.after_data_bytes;
        fault.refuse_ms = k.refuse_ms;
        fault.command = k.command;
        swathboard::ArmClose(board.get(), fault);
        sbtest::RawClient client;
        ASSERT_EQ(client.Connect(ip), 0);
        // A swath passes: the fault waits for its command.
        std::vector<std::uint8_t> reply;
        ASSERT_TRUE(sbtest::ExchangeSwath(&client, 1, sbtest::Pattern(64, 1), &reply));
        ASSERT_TRUE(client.SendPacket(PacketFor(k.command)));
        if (k.after_data_bytes < 0) {
            ASSERT_TRUE(client.Read(ReplyLength(k.command), &reply));
            EXPECT_EQ(reply[0], k.command);
        }
        EXPECT_TRUE(client.ClosedByPeer());
        const auto log = swathboard::Packets(board.get());
        EXPECT_EQ(log.back().code, k.command);
        EXPECT_EQ(log.back().timing, k.after_data_bytes < 0 ? ReplyTiming::kNow : ReplyTiming::kDropped);
        if (k.refuse_ms > 0) {
            sbtest::RawClient refused;
            EXPECT_NE(refused.Connect(ip), 0);
        }
        // Used up: the next copy on a new link is answered.
        ASSERT_TRUE(WaitUntilConnects(&client, ip));
        ASSERT_TRUE(sbtest::Exchange(&client, PacketFor(k.command), ReplyLength(k.command), &reply));
    }
}

TEST(Faults, CancelNextReportsAPrinterCancel) {
    Connected c(sbtest::kAddrCancelNext);
    swathboard::CancelNext(c.board.get(), 1, 2);
    std::vector<std::uint8_t> reply;
    for (const std::uint32_t print_status : {1u, 1u, 0u}) {
        ASSERT_TRUE(sbtest::Exchange(&c.client, PacketFor(1), 18, &reply));
        EXPECT_EQ(reply[2], 0);
        EXPECT_EQ(sbtest::Get(reply, 4, 2), print_status);
    }
    swathboard::CancelNext(c.board.get(), 9, 1);
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, sbtest::Pattern(64, 1), &reply));
    EXPECT_EQ(sbtest::Get(reply, 4, 2), 1u);
}

// One answer too many: the nth next command of a code is answered twice.
TEST(Faults, ExtraAnswerFollowsTheFirst) {
    Connected c(sbtest::kAddrExtraAnswer);
    swathboard::ExtraAnswerNext(c.board.get(), 1, 2);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::Exchange(&c.client, PacketFor(1), 18, &reply));
    EXPECT_TRUE(c.client.Quiet(50));
    ASSERT_TRUE(sbtest::Exchange(&c.client, PacketFor(1), 18, &reply));
    ASSERT_TRUE(c.client.Read(18, &reply));  // the same answer again
    EXPECT_EQ(reply[0], 1);
    EXPECT_EQ(reply[2], 0);
    EXPECT_TRUE(c.client.Quiet(50));
    EXPECT_EQ(swathboard::ExtraAnswersSent(c.board.get()), 1u);
}

// An answer to no packet, sent when asked, or from the configuration once
// its moment has come.
TEST(Faults, UnsolicitedAnswerAnswersNoPacket) {
    swathboard::BoardConfig config;
    config.unsolicited = swathboard::UnsolicitedAnswer{9, 0, 100};
    auto board = sbtest::StartTestBoard(sbtest::kAddrUnsolicited, config);
    sbtest::RawClient client;
    ASSERT_EQ(client.Connect(sbtest::TestIp(sbtest::kAddrUnsolicited)), 0);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(client.Read(18, &reply));
    EXPECT_EQ(reply[0], 9);
    EXPECT_EQ(reply[2], 0);
    swathboard::SendUnsolicited(board.get(), {1, 3, 0});
    ASSERT_TRUE(client.Read(18, &reply));
    EXPECT_EQ(reply[0], 1);
    EXPECT_EQ(reply[2], 3);
    EXPECT_TRUE(client.Quiet(50));
    EXPECT_EQ(swathboard::ExtraAnswersSent(board.get()), 2u);
    EXPECT_TRUE(swathboard::Packets(board.get()).empty());
}

TEST(Faults, LaterJobCreateAnswersCarryLaterSettings) {
    swathboard::BoardConfig config;
    swathboard::ParamPreset later = config.preset;
    later.fw_version = 200;
    config.later_job_create_presets = {later};
    auto board = sbtest::StartTestBoard(sbtest::kAddrLaterPresets, config);
    sbtest::RawClient client;
    ASSERT_EQ(client.Connect(sbtest::TestIp(sbtest::kAddrLaterPresets)), 0);
    std::vector<std::uint8_t> reply;
    for (const std::uint32_t version : {700u, 200u, 200u}) {
        ASSERT_TRUE(sbtest::Exchange(&client, sbtest::CommandPacket(2), 432, &reply));
        EXPECT_EQ(reply[84] + 256u * (reply[85] & 0x3F), version);
    }
}

TEST(Faults, SwathFaultOnNthSwath) {
    Connected c(sbtest::kAddrSwathFaults);
    struct Case {
        swathboard::SwathFault fault;
        std::uint8_t status;
        std::uint16_t state;
    };
    const Case cases[] = {
        {swathboard::SwathFault::kPrinterCancel, 8, 0},
        {swathboard::SwathFault::kTooWide, 6, 0},
        {swathboard::SwathFault::kSequenceError, 0, 3},
    };
    std::uint32_t sn = 1;
    for (const Case &k : cases) {
        swathboard::InjectSwathFault(c.board.get(), k.fault, 2);
        std::vector<std::uint8_t> reply;
        ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, sn++, sbtest::Pattern(16, 0), &reply));
        EXPECT_EQ(reply[2], 0);
        EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);
        const std::uint32_t faulted = sn++;
        ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, faulted, sbtest::Pattern(16, 0), &reply));
        EXPECT_EQ(reply[2], k.status) << faulted;
        EXPECT_EQ(sbtest::Get(reply, 6, 2), k.state) << faulted;
        std::vector<std::uint8_t> unused;
        EXPECT_FALSE(swathboard::StoredSwath(c.board.get(), faulted, &unused));
    }
}

TEST(Faults, ClearFaultsDisarmsEverything) {
    Connected c(sbtest::kAddrClearFaults);
    swathboard::RefuseNext(c.board.get(), 8, 5);
    swathboard::SilenceNext(c.board.get(), 18, 5);
    swathboard::InjectSwathFault(c.board.get(), swathboard::SwathFault::kTooWide, 1);
    swathboard::ArmClose(c.board.get(), {1, 0, 0});
    swathboard::ClearFaults(c.board.get());
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::CommandPacket(8), 14, &reply));
    EXPECT_EQ(reply[2], 0);
    ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::CommandPacket(18), 14, &reply));
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, sbtest::Pattern(8, 0), &reply));
    EXPECT_EQ(reply[2], 0);
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);
}

TEST(Faults, OversizedSwathDropsTheLink) {
    Connected c(sbtest::kAddrOversizedSwath);
    ASSERT_TRUE(c.client.SendPacket(sbtest::SwathPacket(0xFFFFFFFFu, 1)));
    EXPECT_TRUE(c.client.ClosedByPeer());
    const auto log = swathboard::Packets(c.board.get());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_FALSE(log[0].data_complete);
}

}  // namespace
