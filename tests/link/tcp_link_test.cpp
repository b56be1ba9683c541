#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "fake_board.h"
#include "link/host_network.h"
#include "link/tcp_link.h"
#include "platform/platform.h"
#include "support/test_addresses.h"
#include "transport/command_protocol.h"

namespace sl::test {
namespace {

using namespace std::chrono_literals;

// What a printer holds for its jobs' links, and the link of one job.
LinkAddresses gAddresses;
JobRequests gRequests;

struct TestLink : LinkContext {
    TestLink() {
        requests = &gRequests;
        addresses = &gAddresses;
        answered = plat_signal_new();
        changed = plat_signal_new();
    }
    ~TestLink() {
        plat_signal_free(answered);
        plat_signal_free(changed);
    }
};
std::unique_ptr<TestLink> gCurrent = std::make_unique<TestLink>();
TestLink &Rec() { return *gCurrent; }

TEST(IPText, DottedQuadBothWays) {
    EXPECT_EQ(IPTextToValue("196.12.0.25"), 0xC40C0019u);
    EXPECT_EQ(IPTextToValue("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(IPTextToValue("10.1"), 0x0A010000u);  // missing parts are 0
    char text[128];
    IPValueToText(0xC40C00BC, text);
    EXPECT_STREQ(text, "196.12.0.188");
}

TEST(PickBoardMac, LastOctetModuloHundredPicksTheRow) {
    const struct {
        const char *ip;
        const char *mac;
        uint8_t last;
    } cases[] = {
        {"196.12.0.125", "00-60-03-6e-21-04", 0x04},
        {"196.12.0.101", "00-60-03-6e-21-0b", 0x0b},
        {"196.12.0.16", "00-60-03-6e-21-1a", 0x1a},
        {"196.12.0.7", "00-60-03-6e-21-04", 0x04},  // no key: row 0
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ip);
        PickBoardMac(&gAddresses, c.ip);
        EXPECT_STREQ(gAddresses.boardMacText, c.mac);
        EXPECT_EQ(gAddresses.boardMac[5], c.last);
        EXPECT_EQ(gAddresses.boardMac[0], 0x00);
        EXPECT_EQ(gAddresses.boardMac[3], 0x6e);
    }
}

TEST(EnsureLocalAddress, AnswersFromTheInterfacesAndChangesNothing) {
    EXPECT_EQ(EnsureLocalAddress("127.0.0.1", TestIp(kAddrLocalCheckBoard).c_str()), 1);
    EXPECT_EQ(EnsureLocalAddress(TestIp(kAddrSilentBoard).c_str(), TestIp(kAddrLocalCheckBoard).c_str()), 0);
}

class Link : public ::testing::Test {
protected:
    void Use(const char *board) {
        std::strcpy(gAddresses.localIp, "127.0.0.1");
        std::strcpy(gAddresses.boardIp, board);
    }
    // Every case starts with a fresh link, as every job does.
    void SetUp() override {
        gRequests.abort = false;
        gRequests.pause = false;
        gCurrent = std::make_unique<TestLink>();
    }
    void TearDown() override {
        CloseConnection(&Rec(), Rec().socket.load());
        gCurrent.reset();
    }
};

TEST_F(Link, CommandsLeaveWithTheSenderTagAndDataUnchanged) {
    Use(TestIp(kAddrLinkCommands).c_str());
    FakeBoard board(TestIp(kAddrLinkCommands));
    ASSERT_TRUE(board.ok());
    ASSERT_TRUE(CreateConnection(&Rec()).ok());
    ASSERT_NE(Rec().socket.load(), kInvalidSocket);

    uint8_t a[64] = {9, 0x00};
    uint8_t b[64] = {1, 0x86};
    EXPECT_EQ(LinkSendCommand(Rec().socket, a, 64), 64);
    EXPECT_EQ(LinkSendCommand(Rec().socket, b, 64), 64);
    EXPECT_EQ(a[1], 0x79);  // the tag stays in the caller's packet
    std::vector<uint8_t> data(3 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> got;
    std::thread reader([&] { got = board.Read(128 + data.size()); });
    // Larger than the socket buffers: the send is completed, never partial.
    EXPECT_EQ(LinkSendData(Rec().socket, data.data(), static_cast<int>(data.size())),
              static_cast<int>(data.size()));
    reader.join();
    ASSERT_EQ(got.size(), 128 + data.size());
    EXPECT_EQ(got[1], 0x79);
    EXPECT_EQ(got[65], 0xFF);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin() + 128));
}

TEST_F(Link, NoBoardMeansNoConnectionAndNoSocket) {
    Use(TestIp(kAddrLinkNoBoard).c_str());
    const Status unanswered = CreateConnection(&Rec());
    EXPECT_EQ(unanswered.code, StatusCode::NoBoard);
    EXPECT_STREQ(unanswered.reason, "the board does not answer");
    EXPECT_EQ(Rec().socket.load(), kInvalidSocket);
    Use(TestIp(kAddrLinkNoBoard).c_str());
    std::strcpy(gAddresses.localIp,
                TestIp(kAddrSilentBoard).c_str());  // the PC does not hold it: no socket at all
    FakeBoard board(TestIp(kAddrLinkNoBoard));
    EXPECT_STREQ(CreateConnection(&Rec()).reason, "the PC does not hold the address set for it");
    EXPECT_EQ(board.Connections(), 0);
}

TEST_F(Link, ClosingWakesAReceiveBlockedInAnotherThread) {
    Use(TestIp(kAddrLinkCloseWakesReceive).c_str());
    FakeBoard board(TestIp(kAddrLinkCloseWakesReceive));
    ASSERT_TRUE(CreateConnection(&Rec()).ok());
    const PlatSocket s = Rec().socket;
    std::atomic<int> got{99};
    std::thread rx([&] {
        uint8_t buf[1500];
        got = LinkReceive(&Rec(), buf, sizeof buf);
    });
    std::this_thread::sleep_for(20ms);
    CloseConnection(&Rec(), s);
    rx.join();
    EXPECT_LE(got.load(), 0);
    EXPECT_EQ(Rec().socket.load(), kInvalidSocket);
}

TEST_F(Link, TwoFailingThreadsMakeOneReconnection) {
    Use(TestIp(kAddrLinkOneReconnection).c_str());
    FakeBoard board(TestIp(kAddrLinkOneReconnection));
    ASSERT_TRUE(CreateConnection(&Rec()).ok());
    ASSERT_TRUE(WaitFor([&] { return board.Connections() == 1; }));
    Reconnect r1 = Reconnect::Ended, r2 = Reconnect::Ended;
    std::atomic<bool> go{false};
    std::thread a([&] {
        while (!go) std::this_thread::yield();
        r1 = ReplaceConnection(&Rec());
    });
    std::thread b([&] {
        while (!go) std::this_thread::yield();
        r2 = ReplaceConnection(&Rec());
    });
    go = true;
    a.join();
    b.join();
    EXPECT_EQ(r1, Reconnect::Connected);
    EXPECT_EQ(r2, Reconnect::Connected);
    EXPECT_EQ(Rec().reconnecting.load(), 0u);
    // One reconnection, not two: the first connect and the one it replaced.
    EXPECT_TRUE(WaitFor([&] { return board.Connections() == 2; }));
}

TEST_F(Link, ReconnectionEndsWithTheJob) {
    Use(TestIp(kAddrLinkReconnectionEnds).c_str());
    // A stopped link is left alone.
    Rec().PrintStopFlag = true;
    Rec().socket = 12345;
    EXPECT_EQ(ReplaceConnection(&Rec()), Reconnect::Stopped);
    EXPECT_EQ(Rec().socket.load(), 12345);
    Rec().socket = kInvalidSocket;
    Rec().PrintStopFlag = false;

    // Abort while no board answers: the link ends.
    std::thread abort([] {
        std::this_thread::sleep_for(50ms);
        gRequests.abort = 1;
    });
    EXPECT_EQ(ReplaceConnection(&Rec()), Reconnect::Ended);
    abort.join();
    EXPECT_EQ(Rec().PrintEndFlag.load(), 1u);
    EXPECT_EQ(Rec().reconnecting.load(), 1u);  // a give-up leaves the flag for the next job

    // A thread waiting on that give-up does not wait forever.
    EXPECT_EQ(ReplaceConnection(&Rec()), Reconnect::Ended);
}

TEST_F(Link, AWaitingThreadStopsAtTheEndOfTheJob) {
    Rec().reconnecting = true;
    std::atomic<bool> returned{false};
    Reconnect r = Reconnect::Connected;
    std::thread waiter([&] {
        r = ReplaceConnection(&Rec());
        returned = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(returned.load());
    Rec().PrintEndFlag = true;
    waiter.join();
    EXPECT_EQ(r, Reconnect::Ended);
}

}  // namespace
}  // namespace sl::test
