// Connection handling: one link at a time, refusing links, bad addresses.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "raw_client.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Connects, retrying while refused, until `limit`; returns the time taken
// or nothing.
bool ConnectWithin(sbtest::RawClient *c, const std::string &ip, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (c->Connect(ip) == 0) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(Connections, NewConnectionReplacesTheOld) {
    auto board = sbtest::StartTestBoard(sbtest::kAddrReplace);
    const std::string ip = sbtest::TestIp(sbtest::kAddrReplace);
    sbtest::RawClient first, second;
    ASSERT_EQ(first.Connect(ip), 0);
    ASSERT_TRUE(swathboard::WaitForConnections(board.get(), 1, 2s));
    ASSERT_EQ(second.Connect(ip), 0);
    EXPECT_TRUE(first.ClosedByPeer());
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::Exchange(&second, sbtest::CommandPacket(8), 14, &reply));
    EXPECT_EQ(swathboard::ConnectionCount(board.get()), 2u);
    EXPECT_EQ(swathboard::Packets(board.get())[0].connection, 2u);
}

TEST(Connections, RefusedForATimeThenAcceptedAgain) {
    auto board = sbtest::StartTestBoard(sbtest::kAddrRefuseConnections);
    const std::string ip = sbtest::TestIp(sbtest::kAddrRefuseConnections);
    sbtest::RawClient client;
    ASSERT_EQ(client.Connect(ip), 0);
    // Only an accepted link survives: closing the listener resets the backlog.
    ASSERT_TRUE(swathboard::WaitForConnections(board.get(), 1, 2s));
    constexpr auto kRefuse = 200ms;
    const auto t0 = Clock::now();
    swathboard::RefuseConnections(board.get(), kRefuse.count());
    // The link in hand stays up; only new ones are refused.
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::Exchange(&client, sbtest::CommandPacket(8), 14, &reply));
    sbtest::RawClient other;
    EXPECT_EQ(other.Connect(ip), ECONNREFUSED);
    ASSERT_TRUE(ConnectWithin(&other, ip, 2s));
    EXPECT_GE(Clock::now() - t0, kRefuse);
    ASSERT_TRUE(sbtest::Exchange(&other, sbtest::CommandPacket(8), 14, &reply));
}

TEST(Connections, RefusedAtStart) {
    swathboard::BoardConfig config;
    config.refuse_connections_ms_at_start = 150;
    const auto t0 = Clock::now();
    auto board = sbtest::StartTestBoard(sbtest::kAddrRefuseAtStart, config);
    const std::string ip = sbtest::TestIp(sbtest::kAddrRefuseAtStart);
    sbtest::RawClient client;
    EXPECT_EQ(client.Connect(ip), ECONNREFUSED);
    ASSERT_TRUE(ConnectWithin(&client, ip, 2s));
    EXPECT_GE(Clock::now() - t0, 150ms);
}

TEST(Connections, CloseAfterSwathThenRefuse) {
    auto board = sbtest::StartTestBoard(sbtest::kAddrCloseThenRefuse);
    const std::string ip = sbtest::TestIp(sbtest::kAddrCloseThenRefuse);
    swathboard::ArmClose(board.get(), {1, -1, 150});
    sbtest::RawClient client;
    ASSERT_EQ(client.Connect(ip), 0);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::ExchangeSwath(&client, 1, sbtest::Pattern(10, 0), &reply));
    EXPECT_TRUE(client.ClosedByPeer());
    EXPECT_EQ(client.Connect(ip), ECONNREFUSED);
    ASSERT_TRUE(ConnectWithin(&client, ip, 2s));
}

TEST(Connections, DropClosesTheCurrentLink) {
    auto board = sbtest::StartTestBoard(sbtest::kAddrDrop);
    sbtest::RawClient client;
    ASSERT_EQ(client.Connect(sbtest::TestIp(sbtest::kAddrDrop)), 0);
    ASSERT_TRUE(swathboard::WaitForConnections(board.get(), 1, 2s));
    swathboard::DropConnection(board.get());
    EXPECT_TRUE(client.ClosedByPeer());
}

TEST(Connections, OnlyLoopbackAddressesAreServed) {
    const char *refused[] = {"10.0.0.1",  "0.0.0.0",     "196.12.0.25", "128.0.0.1",
                             "localhost", "127.0.0.256", "127.1",       ""};
    for (const char *ip : refused) {
        swathboard::BoardConfig config;
        config.ip = ip;
        std::string error;
        EXPECT_EQ(swathboard::StartBoard(config, &error), nullptr) << ip;
        EXPECT_FALSE(error.empty()) << ip;
        EXPECT_FALSE(swathboard::IsLoopbackAddress(ip)) << ip;
    }
    EXPECT_TRUE(swathboard::IsLoopbackAddress("127.0.0.200"));
    EXPECT_TRUE(swathboard::IsLoopbackAddress("127.255.1.2"));
}

}  // namespace
