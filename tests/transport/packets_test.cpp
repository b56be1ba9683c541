#include <array>
#include <cstring>
#include <fstream>
#include <iterator>

#include "pipeline/alignment.h"
#include "pipeline/pass_separation.h"
#include "transport/command_protocol.h"
#include "transport/net_codes.h"
#include "transport/packets.h"
#include "transport_fixture.h"

namespace sl::test {
namespace {

class Packets : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        job_.mode.xdpi = 720;
        job_.mode.ydpi = 720;
        job_.mode.pass = 4;
        job_.mode.vsd = 0;
        job_.prop.Reserved = 0;
        job_.prop.Colors = 6;
        job_.board.d4c = 5;
        job_.board.CurFWVersion = 300;
        job_.board.SpeedValue = 42;
        StoreStepCalibration(&job_.board, 4, 4811);
    }
    const uint8_t *Packet() { return link_->command.packet; }
    void Answered() { link_->command.CmdStatus = kCmdAnswered; }
};

TEST_F(Packets, JobCreateWritesItsLayoutAndANewJobId) {
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_JOB_CREATE));
    const uint8_t *p = Packet();
    EXPECT_EQ(U16(p, 0), 2);
    EXPECT_NE(link_->JobId.load(), 0);
    EXPECT_EQ(U16(p, 4), link_->JobId.load());
    EXPECT_EQ(p[6], 3);
    EXPECT_EQ(p[7], 5);
    EXPECT_EQ(U16(p, 8), 0x0080);
    EXPECT_EQ(U16(p, 10), 11068);
    EXPECT_EQ(U16(p, 12), 2 | 4 << 4 | 4 << 8);  // XRES 720 -> 2, YRES 720 -> 4, 4 passes
    EXPECT_EQ(U16(p, 14), VsdCode(&job_.mode, DotSizeClass(&job_)));
    EXPECT_EQ(U16(p, 26), 0);
    EXPECT_EQ(U16(p, 28), 213);
    EXPECT_EQ(p[30], 102);
    EXPECT_EQ(U16(p, 38), 0);
    EXPECT_EQ(link_->command.CmdStatus.load(), kCmdPending);
}

TEST_F(Packets, APendingCommandIsNeverOverwritten) {
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_JOB_CREATE));
    std::array<uint8_t, 64> before;
    std::copy_n(Packet(), 64, before.begin());
    EXPECT_FALSE(BuildNetCommand(link_.get(), NET_DEBUG_SYNCY));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), Packet()));
    EXPECT_FALSE(BuildNetCommand(link_.get(), 99));  // unknown code: nothing built
    Answered();
    EXPECT_FALSE(BuildNetCommand(link_.get(), 99));
    EXPECT_EQ(link_->command.CmdStatus.load(), kCmdAnswered);
}

TEST_F(Packets, PrintStartSavesTheBlockAndCarriesTheJobSettings) {
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_JOB_CREATE));
    Answered();
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_PRINT_START));
    const uint8_t *p = Packet();
    const PlatTime utc = plat_utc_time();
    EXPECT_EQ(U16(p, 0), 8);
    EXPECT_EQ(U16(p, 4), link_->JobId.load());
    EXPECT_EQ(p[6], 3);
    EXPECT_EQ(p[7], 5);
    EXPECT_EQ(U16(p, 12), 2 | 4 << 4 | 4 << 8);
    EXPECT_EQ(U32(p, 16), uint32_t{utc.year} * 65536 + utc.month * 256 + utc.day);
    EXPECT_EQ(U32(p, 20), 35860u);
    EXPECT_EQ(p[30], 104);
    EXPECT_EQ(p[31], 6);
    EXPECT_EQ(p[32], 6);  // firmware 250 or later
    EXPECT_EQ(p[33], 0x30);
    EXPECT_EQ(U16(p, 36), 4811);
    EXPECT_EQ(U16(p, 38), 0);

    std::ifstream in(dir_ + "/SaveParafile.cfg", std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(file.size(), 428u);
    EXPECT_EQ(U16(file.data(), 0), link_->JobId.load());
    EXPECT_EQ(U16(file.data(), 2) | U16(file.data(), 4) | U16(file.data(), 6), 0);
    EXPECT_EQ(std::memcmp(file.data() + 8, &job_.board, sizeof job_.board), 0);

    Answered();
    job_.board.CurFWVersion = 249;
    StoreStepCalibration(&job_.board, 4, 0);
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_PRINT_START));
    EXPECT_EQ(Packet()[32], 4);
    EXPECT_EQ(U16(Packet(), 36), 1);  // a stored 0 is sent as 1
}

TEST_F(Packets, LaterCommandsKeepTheBytesTheyDoNotWrite) {
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_JOB_CREATE));
    Answered();
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_PRINT_START));
    Answered();
    std::array<uint8_t, 64> start;
    std::copy_n(Packet(), 64, start.begin());

    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_PRINT_END));
    const uint8_t *p = Packet();
    EXPECT_EQ(U16(p, 0), 18);
    EXPECT_EQ(U16(p, 4), link_->JobId.load());
    EXPECT_EQ(p[30], 101);
    for (int i = 8; i < 30; ++i) EXPECT_EQ(p[i], start[i]) << i;
    for (int i = 31; i < 64; ++i) EXPECT_EQ(p[i], start[i]) << i;
    Answered();

    std::copy_n(Packet(), 64, start.begin());
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_DEBUG_PAUSE));
    EXPECT_EQ(U16(p, 0), 1);
    EXPECT_EQ(U16(p, 4), 20);
    EXPECT_EQ(U16(p, 6), link_->JobId.load());
    for (int i = 8; i < 64; ++i) EXPECT_EQ(p[i], start[i]) << i;
}

TEST_F(Packets, JobResetLeavesASyncInPayloadWordZero) {
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_PRINT_END));
    uint8_t carried[64];
    std::copy_n(link_->command.packet, 64, carried);
    NewLink(carried);  // the next job's record
    EXPECT_EQ(link_->command.CmdStatus.load(), kCmdIdle);
    EXPECT_EQ(U16(Packet(), 4), 23);
    EXPECT_EQ(Packet()[30], 101);  // the rest of the record stays
}

struct SwathPacketCase {
    uint16_t mode;
    uint16_t fw;
    uint8_t tag;
    uint16_t fireDelay;
    bool feedUnits;
};

TEST_F(Packets, SwathPacketFromTheEntry) {
    const SwathPacketCase cases[] = {
        {0, 700, 1, 0, true},
        {1, 300, 0xBB, 5, false},
        {2, 366, 0xBF, 66666 / 42, true},
        {1, 669, 0xBB, 5, false},
    };
    job_.pass.softendots = 90;
    job_.prop.Width = 7200;
    job_.mode.xdpi = 360;
    SwathEntry e;
    e.Len = 6400;
    e.Pstart = 0x12345;
    e.Pend = 300;
    e.NextStart = 0x10010;
    e.Step = 504;
    e.Direction = 1;
    e.FeedUnits = 777;
    e.Data = e.Buffer = nullptr;
    link_->queue.Slots[0].State = 1;
    uint32_t sn = 1;
    for (const SwathPacketCase &c : cases) {
        SCOPED_TRACE(c.mode);
        job_.board.CurFWVersion = c.fw;
        e.Mode = c.mode;
        uint8_t p[64];
        std::fill(p, p + 64, 0xAA);
        BuildSwathPacket(p, &e, link_.get());
        EXPECT_EQ(U16(p, 0), 9);
        EXPECT_EQ(U16(p, 2), 0);  // reserved bytes are zero, never stale
        EXPECT_EQ(U32(p, 4), 6400u);
        EXPECT_EQ(p[29], c.tag);
        EXPECT_EQ(p[30], 1);
        EXPECT_EQ(p[42], 0);
        EXPECT_EQ(U32(p, 32), 504u);
        EXPECT_EQ(U16(p, 36), 42 * 600);
        EXPECT_EQ(U16(p, 38), 0x2345);
        EXPECT_EQ(U16(p, 40), 300);
        EXPECT_EQ(U16(p, 44), 0x0010);
        EXPECT_EQ(U16(p, 46), c.fireDelay);
        EXPECT_EQ(U16(p, 48), c.feedUnits ? 777 : 0);
        EXPECT_EQ(U32(p, 52), sn++);
    }
    EXPECT_EQ(link_->SwathSN.load(), sn);
}

TEST_F(Packets, PrintedAreaAndLengthFollowThePassCounter) {
    job_.pass.softendots = 90;
    job_.prop.Width = 7200;
    job_.mode.xdpi = 360;
    job_.pass.seq = 40;
    SwathEntry *e = QueueGetEmpty(link_.get());
    e->Len = 0;
    e->Mode = 0;
    QueueSetReady(link_.get(), e);
    job_.pass.seq = 99;  // later passes do not change a published swath
    uint8_t p[64];
    BuildSwathPacket(p, e, link_.get());
    // 40 x 90 x 7200 / (360 x 360) = 200 in^2 = 12.9 hundredths of a m^2
    EXPECT_EQ(U32(p, 8), 12u);
    // 40 x 90 / 360 = 10 in -> 2.54 tenths of m
    EXPECT_EQ(U32(p, 12), 2u);
    job_.pass.seq = 0;
}

}  // namespace
}  // namespace sl::test
