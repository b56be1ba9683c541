// Swath packets and their data, the other commands, and the packet log.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "raw_client.h"

namespace {

using namespace std::chrono_literals;
using swathboard::PacketRecord;

constexpr std::uint8_t kSwath = 9;

std::uint32_t Field(const PacketRecord &r, const char *name) {
    std::uint32_t v = 0;
    EXPECT_TRUE(swathboard::FieldValue(r, name, &v)) << name;
    return v;
}

struct Connected {
    sbtest::BoardHandle board;
    sbtest::RawClient client;
    explicit Connected(sbtest::TestAddress a, swathboard::BoardConfig config = {}) {
        board = sbtest::StartTestBoard(a, config);
        EXPECT_EQ(client.Connect(sbtest::TestIp(a)), 0);
    }
};

TEST(Swath, FieldsDecodedAndDataStored) {
    Connected c(sbtest::kAddrSwathStored);
    struct FieldCase {
        const char *name;
        std::size_t at, width;
        std::uint32_t value;
    };
    const FieldCase fields[] = {
        {"area", 8, 4, 123456},   {"length", 12, 4, 789},      {"firing_tag", 29, 1, 0xBF},
        {"direction", 30, 1, 1},  {"Step", 32, 4, 70000},      {"speed", 36, 2, 21000},
        {"Pstart", 38, 2, 1234},  {"Pend", 40, 2, 4321},       {"dir_flag", 42, 1, 0},
        {"NextStart", 44, 2, 99}, {"fire_delay", 46, 2, 1904}, {"FeedUnits", 48, 2, 80},
        {"word56", 56, 4, 0},
    };
    const auto data = sbtest::Pattern(3200, 5);
    sbtest::Packet p = sbtest::SwathPacket(static_cast<std::uint32_t>(data.size()), 1);
    for (const FieldCase &f : fields) sbtest::Put(&p, f.at, f.width, f.value);

    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(c.client.SendPacket(p));
    ASSERT_TRUE(c.client.Send(data.data(), data.size()));
    ASSERT_TRUE(c.client.Read(18, &reply));
    EXPECT_EQ(reply[0], kSwath);
    EXPECT_EQ(reply[2], 0);
    EXPECT_EQ(sbtest::Get(reply, 4, 2), 0u);
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);  // SWATH_CREAT_OK
    EXPECT_EQ(sbtest::Get(reply, 16, 2), sbtest::ReferenceChecksum(reply, 16, kSwath));

    const auto log = swathboard::Packets(c.board.get());
    ASSERT_EQ(log.size(), 1u);
    for (const FieldCase &f : fields) EXPECT_EQ(Field(log[0], f.name), f.value) << f.name;
    EXPECT_EQ(Field(log[0], "Len"), data.size());
    EXPECT_EQ(Field(log[0], "SwathSN"), 1u);
    EXPECT_EQ(log[0].data_len, data.size());
    EXPECT_TRUE(log[0].data_complete);
    EXPECT_TRUE(log[0].stored);

    std::vector<std::uint8_t> stored;
    ASSERT_TRUE(swathboard::StoredSwath(c.board.get(), 1, &stored));
    EXPECT_EQ(stored, data);
}

TEST(Swath, RepeatedSerialIsAnsweredButNotStoredTwice) {
    Connected c(sbtest::kAddrSwathRepeat);
    const auto first = sbtest::Pattern(640, 1);
    const auto again = sbtest::Pattern(320, 2);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 7, first, &reply));
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 7, again, &reply));
    EXPECT_EQ(reply[2], 0);
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 4u);                       // SWATH_CREAT_SN_REPEAT
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 8, {}, &reply));  // feed-only swath
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);

    EXPECT_EQ(swathboard::StoredSwathNumbers(c.board.get()), (std::vector<std::uint32_t>{7, 8}));
    std::vector<std::uint8_t> stored;
    ASSERT_TRUE(swathboard::StoredSwath(c.board.get(), 7, &stored));
    EXPECT_EQ(stored, first);
    const auto log = swathboard::Packets(c.board.get());
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(log[1].duplicate);
    EXPECT_FALSE(log[1].stored);
    EXPECT_EQ(log[1].data_len, again.size());
}

TEST(Swath, NewJobCountsSerialsAfresh) {
    Connected c(sbtest::kAddrSwathNewJob);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, sbtest::Pattern(320, 1), &reply));
    ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::CommandPacket(2), 432, &reply));
    const auto second = sbtest::Pattern(640, 2);
    ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, second, &reply));
    EXPECT_EQ(sbtest::Get(reply, 6, 2), 1u);  // SWATH_CREAT_OK: a new job's first swath
    std::vector<std::uint8_t> stored;
    ASSERT_TRUE(swathboard::StoredSwath(c.board.get(), 1, &stored));
    EXPECT_EQ(stored, second);
    // A refused job leaves the running one alone.
    swathboard::RefuseNext(c.board.get(), 2, 1);
    ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::CommandPacket(2), 432, &reply));
    EXPECT_EQ(swathboard::StoredSwathNumbers(c.board.get()), (std::vector<std::uint32_t>{1}));
}

TEST(Swath, DataSplitAndPipelinedIsReadExactly) {
    Connected c(sbtest::kAddrSwathStreamed);
    // Two swaths and a command in one stream, the first swath's data dribbled
    // in small pieces: the board must cut the stream at exactly Len bytes.
    const auto a = sbtest::Pattern(1000, 3);
    const auto b = sbtest::Pattern(77, 4);
    sbtest::Packet pa = sbtest::SwathPacket(1000, 1);
    pa[1] |= 0x79;
    ASSERT_TRUE(c.client.Send(pa.data(), pa.size()));
    for (std::size_t i = 0; i < a.size(); i += 100) ASSERT_TRUE(c.client.Send(a.data() + i, 100));
    std::vector<std::uint8_t> stream;
    sbtest::Packet pb = sbtest::SwathPacket(77, 2);
    pb[1] |= 0x79;
    stream.insert(stream.end(), pb.begin(), pb.end());
    stream.insert(stream.end(), b.begin(), b.end());
    sbtest::Packet end = sbtest::CommandPacket(18);
    end[1] |= 0x79;
    stream.insert(stream.end(), end.begin(), end.end());
    ASSERT_TRUE(c.client.Send(stream.data(), stream.size()));

    std::vector<std::uint8_t> replies;
    ASSERT_TRUE(c.client.Read(18 + 18 + 14, &replies));
    EXPECT_EQ(replies[0], kSwath);
    EXPECT_EQ(replies[18], kSwath);
    EXPECT_EQ(replies[36], 18);
    std::vector<std::uint8_t> stored;
    ASSERT_TRUE(swathboard::StoredSwath(c.board.get(), 2, &stored));
    EXPECT_EQ(stored, b);
}

TEST(Swath, SenderTagBitsAreRecorded) {
    Connected c(sbtest::kAddrSwathTagBits);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(c.client.SendPacket(sbtest::DebugPacket(23, 1), true));
    ASSERT_TRUE(c.client.Read(18, &reply));
    ASSERT_TRUE(c.client.SendPacket(sbtest::DebugPacket(23, 1), false));
    ASSERT_TRUE(c.client.Read(18, &reply));
    const auto log = swathboard::Packets(c.board.get());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].tag_bits);
    EXPECT_EQ(log[0].raw[1], 0x79);
    EXPECT_FALSE(log[1].tag_bits);
}

TEST(Commands, DebugPrintStatusPerSubCode) {
    Connected c(sbtest::kAddrDebugPrintStatus);
    struct Case {
        std::uint16_t sub_code;
        std::uint16_t print_status;
    };
    const Case cases[] = {{20, 0}, {21, 0}, {23, 0}, {22, 1}};
    for (const Case &k : cases) {
        std::vector<std::uint8_t> reply;
        ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::DebugPacket(k.sub_code, 0x1234), 18, &reply));
        EXPECT_EQ(reply[0], 1);
        EXPECT_EQ(reply[2], 0);
        EXPECT_EQ(sbtest::Get(reply, 4, 2), k.print_status) << k.sub_code;
        EXPECT_EQ(sbtest::Get(reply, 16, 2), sbtest::ReferenceChecksum(reply, 16, 1));
    }
    swathboard::SetStopPrintStatus(c.board.get(), 0);
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::DebugPacket(22, 0x1234), 18, &reply));
    EXPECT_EQ(sbtest::Get(reply, 4, 2), 0u);
    const auto log = swathboard::Packets(c.board.get());
    EXPECT_EQ(Field(log.back(), "sub_code"), 22u);
    EXPECT_EQ(Field(log.back(), "JobId"), 0x1234u);
}

TEST(Commands, PrintStartAndEndAnsweredShort) {
    Connected c(sbtest::kAddrOtherCommands);
    sbtest::Packet start = sbtest::CommandPacket(8);
    sbtest::Put(&start, 4, 2, 0xBEEF);
    sbtest::Put(&start, 20, 4, 35860);
    sbtest::Put(&start, 36, 2, 4802);
    for (const sbtest::Packet &p : {start, sbtest::CommandPacket(18)}) {
        std::vector<std::uint8_t> reply;
        ASSERT_TRUE(sbtest::Exchange(&c.client, p, 14, &reply));
        EXPECT_EQ(reply[0], p[0]);
        EXPECT_EQ(reply[2], 0);
        EXPECT_EQ(sbtest::Get(reply, 12, 2), sbtest::ReferenceChecksum(reply, 12, p[0]));
    }
    EXPECT_TRUE(c.client.Quiet(20));  // no trailing bytes
    const auto log = swathboard::Packets(c.board.get());
    EXPECT_EQ(Field(log[0], "JobId"), 0xBEEFu);
    EXPECT_EQ(Field(log[0], "step_ref"), 35860u);
    EXPECT_EQ(Field(log[0], "step_cal"), 4802u);
}

TEST(Log, JsonLinesFile) {
    const std::string path = ::testing::TempDir() + "swathboard_log_test.jsonl";
    swathboard::BoardConfig config;
    config.log_path = path;
    {
        Connected c(sbtest::kAddrJsonLog, config);
        std::vector<std::uint8_t> reply;
        ASSERT_TRUE(sbtest::Exchange(&c.client, sbtest::CommandPacket(2), 432, &reply));
        ASSERT_TRUE(sbtest::ExchangeSwath(&c.client, 1, sbtest::Pattern(33, 0), &reply));
    }
    std::ifstream in(path);
    std::string job, swath, extra;
    ASSERT_TRUE(std::getline(in, job));
    ASSERT_TRUE(std::getline(in, swath));
    EXPECT_FALSE(std::getline(in, extra));
    EXPECT_NE(job.find("\"name\":\"NET_CMD_JOB_CREATE\""), std::string::npos) << job;
    EXPECT_NE(job.find("\"raw\":\"02790000"), std::string::npos) << job;
    EXPECT_NE(swath.find("\"SwathSN\":1"), std::string::npos) << swath;
    EXPECT_NE(swath.find("\"data_len\":33"), std::string::npos) << swath;
    EXPECT_NE(swath.find("\"swath_state\":1"), std::string::npos) << swath;
    std::remove(path.c_str());
}

}  // namespace
