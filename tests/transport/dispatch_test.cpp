#include <string>

#include "link/tcp_link.h"
#include "platform/platform.h"
#include "transport/command_protocol.h"
#include "transport/net_codes.h"
#include "transport/receive_thread.h"
#include "transport_fixture.h"

namespace sl::test {
namespace {

std::string gLastBox;
void CatchBox(const char *caption, const char *text) { gLastBox = std::string(caption) + "|" + text; }

class Dispatch : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        link_->ReplyOk = false;
        // Every reply below answers a packet sent before it, unless a case
        // counts its packets itself.
        link_->PacketsSent = 100;
        gLastBox.clear();
        plat_set_message_sink(CatchBox);
    }
    void TearDown() override {
        plat_set_message_sink(nullptr);
        TransportTest::TearDown();
    }
    static std::vector<uint8_t> Reply(uint8_t code, uint8_t status, uint16_t printStatus = 0,
                                      uint16_t swathState = 1) {
        std::vector<uint8_t> r(ReplyLength(code), 0);
        r[0] = code;
        r[2] = status;
        r[4] = static_cast<uint8_t>(printStatus);
        r[6] = static_cast<uint8_t>(swathState);
        return r;
    }
    // An older-layout answer with the classic markers and firmware 300.
    static std::vector<uint8_t> JobCreateReply(bool goodMarkers) {
        std::vector<uint8_t> r = Reply(NET_CMD_JOB_CREATE, 0);
        r[84] = 300 & 0xFF;
        r[85] = 300 >> 8;
        if (goodMarkers) {
            r[14] = 15;
            r[95] = 29;
            r[94] = 29;
        }
        return r;
    }
    void Take(const std::vector<uint8_t> &r) {
        DispatchReply(r.data(), link_.get(), static_cast<int>(r.size()));
    }
};

TEST(ReplyLength, ChecksumWordClosesEachReply) {
    EXPECT_EQ(ReplyLength(NET_CMD_DEBUG), 18);
    EXPECT_EQ(ReplyLength(NET_CMD_SWATH_CREATE), 18);
    EXPECT_EQ(ReplyLength(NET_CMD_JOB_CREATE), 432);
    EXPECT_EQ(ReplyLength(NET_CMD_PRINT_START), 14);
    EXPECT_EQ(ReplyLength(NET_CMD_PRINT_END), 14);
}

TEST_F(Dispatch, OnlyTheAnswerToTheLastCommandCompletesOrRefusesIt) {
    link_->LastCmd = NET_CMD_PRINT_START;
    Take(Reply(NET_CMD_DEBUG, 1));
    EXPECT_EQ(link_->ResendReq.load(), 0u);
    EXPECT_EQ(link_->ReplyOk.load(), 0u);
    Take(Reply(NET_CMD_PRINT_START, 1));
    EXPECT_EQ(link_->ResendReq.load(), 1u);
    EXPECT_EQ(link_->ReplyOk.load(), 0u);
    Take(Reply(NET_CMD_PRINT_START, 0));
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
    EXPECT_EQ(link_->PrintEndFlag.load(), 0u);
}

TEST_F(Dispatch, PrintEndAnswerEndsTheLink) {
    link_->LastCmd = NET_CMD_PRINT_END;
    Take(Reply(NET_CMD_PRINT_END, 0));
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
    EXPECT_EQ(link_->PrintEndFlag.load(), 1u);
}

TEST_F(Dispatch, JobCreateBlockIsTakenOnlyWithGoodMarkers) {
    link_->LastCmd = NET_CMD_JOB_CREATE;
    Take(JobCreateReply(false));
    EXPECT_EQ(link_->ReplyOk.load(), 0u);
    EXPECT_EQ(job_.board.CurFWVersion, 0);
    EXPECT_EQ(job_.board.sig[0], 0);

    Take(JobCreateReply(true));
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
    EXPECT_EQ(job_.board.CurFWVersion, 300);
    EXPECT_EQ(job_.board.sig[0], 0x55);

    // The extended marker triple is good as well.
    job_.board = UISetupPara{};
    link_->ReplyOk = false;
    auto r = JobCreateReply(false);
    r[14] = 0xEF;
    r[95] = 0xC9;
    r[94] = 0xB8;
    Take(r);
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
    EXPECT_EQ(job_.board.CurFWVersion, 300);
}

TEST_F(Dispatch, ALateJobCreateAnswerDoesNotRewriteTheSettings) {
    link_->LastCmd = NET_CMD_SWATH_CREATE;
    Take(JobCreateReply(true));
    EXPECT_EQ(job_.board.CurFWVersion, 0);
}

// Two copies of the previous swath are still unanswered when the next one
// goes out: their answers come first and settle nothing for it.
TEST_F(Dispatch, AnswersToEarlierCopiesSettleNothing) {
    link_->PacketsSent = 2;
    AwaitAnswer(link_.get(), NET_CMD_SWATH_CREATE);
    link_->PacketsSent = 3;
    Take(Reply(NET_CMD_SWATH_CREATE, 0, 0, SWATH_CREAT_SN_REPEAT));
    Take(Reply(NET_CMD_SWATH_CREATE, 1));
    EXPECT_EQ(link_->ReplyOk.load(), 0u);
    EXPECT_EQ(link_->ResendReq.load(), 0u);
    Take(Reply(NET_CMD_SWATH_CREATE, 0));
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
}

// One answer too many: once a reply comes with every packet answered, no
// later reply of the connection completes or refuses anything, even one
// that looks like the outstanding command's; a new connection's count
// believes answers again.
TEST_F(Dispatch, AnAnswerTooManyPutsTheCountOutOfStep) {
    link_->PacketsSent = 0;
    AwaitAnswer(link_.get(), NET_CMD_SWATH_CREATE);
    link_->PacketsSent = 1;
    Take(Reply(NET_CMD_SWATH_CREATE, 0));
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
    EXPECT_FALSE(CountOutOfStep(link_.get()));
    Take(Reply(NET_CMD_SWATH_CREATE, 0));  // answers no packet
    EXPECT_TRUE(CountOutOfStep(link_.get()));

    AwaitAnswer(link_.get(), NET_CMD_SWATH_CREATE);
    link_->PacketsSent = 2;
    Take(Reply(NET_CMD_SWATH_CREATE, 1));
    Take(Reply(NET_CMD_SWATH_CREATE, 0));
    EXPECT_EQ(link_->ResendReq.load(), 0u);
    EXPECT_EQ(link_->ReplyOk.load(), 0u);

    RestartAnswerCount(link_.get());
    EXPECT_FALSE(CountOutOfStep(link_.get()));
    AwaitAnswer(link_.get(), NET_CMD_SWATH_CREATE);
    link_->PacketsSent = 1;
    Take(Reply(NET_CMD_SWATH_CREATE, 0));
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
}

// An answer a silent board never sent, when the job is being cancelled: the
// cancel goes out on the connection the job has, instead of a reconnection
// that would end the job first.
TEST_F(Dispatch, LostAnswersBeforeTheCancelAreGivenUp) {
    link_->PacketsSent = 3;
    link_->RepliesRead = 2;
    requests_.abort = 1;
    EXPECT_TRUE(SettleEarlierAnswers(link_.get()));
    EXPECT_EQ(link_->RepliesRead.load(), 3u);
    EXPECT_EQ(link_->socket.load(), kInvalidSocket);  // no new connection was made
}

TEST_F(Dispatch, OnlyTheFirstGoodJobCreateAnswerIsDecoded) {
    link_->LastCmd = NET_CMD_JOB_CREATE;
    Take(JobCreateReply(true));
    ASSERT_EQ(job_.board.CurFWVersion, 300);
    job_.board.CurFWVersion = 301;  // the host adjusts the settings
    Take(JobCreateReply(true));     // the resent copy's answer
    EXPECT_EQ(job_.board.CurFWVersion, 301);
    EXPECT_EQ(link_->ReplyOk.load(), 1u);
}

struct StopCase {
    const char *name;
    uint8_t status;
    uint16_t swathState;
    uint32_t replyOk;
    const char *box;
};

TEST_F(Dispatch, SwathRepliesThatStopTheJob) {
    const StopCase cases[] = {
        {"printer cancelled", 8, 1, 0, ""},
        {"too wide", 6, 1, 0, "Tip|Error: Exceed max printable width!"},
        // Completes the swath first, then stops.
        {"sequence error", 0, SWATH_CREAT_SN_ERROR, 1, ""},
    };
    for (const StopCase &c : cases) {
        SCOPED_TRACE(c.name);
        link_->PrintStopFlag = false;
        link_->PrintEndFlag = false;
        link_->ReplyOk = false;
        gLastBox.clear();
        link_->LastCmd = NET_CMD_SWATH_CREATE;
        Take(Reply(NET_CMD_SWATH_CREATE, c.status, 0, c.swathState));
        EXPECT_EQ(link_->PrintStopFlag.load(), 1u);
        EXPECT_EQ(link_->PrintEndFlag.load(), 1u);
        EXPECT_EQ(link_->ReplyOk.load(), c.replyOk);
        EXPECT_EQ(gLastBox, c.box);
    }
}

TEST_F(Dispatch, PrintStatusOneIsACancelFromThePrinter) {
    link_->LastCmd = NET_CMD_DEBUG;
    Take(Reply(NET_CMD_DEBUG, 0, 3));
    EXPECT_EQ(link_->PrintStopFlag.load(), 0u);
    Take(Reply(NET_CMD_DEBUG, 1, 1));  // refused: the print status is not read
    EXPECT_EQ(link_->PrintStopFlag.load(), 0u);
    Take(Reply(NET_CMD_DEBUG, 0, 1));
    EXPECT_EQ(link_->PrintStopFlag.load(), 1u);
    EXPECT_EQ(link_->PrintEndFlag.load(), 0u);

    link_->PrintStopFlag = false;
    link_->LastCmd = NET_CMD_SWATH_CREATE;
    Take(Reply(NET_CMD_SWATH_CREATE, 0, 1));
    EXPECT_EQ(link_->PrintStopFlag.load(), 1u);
}

TEST_F(Dispatch, EverythingAfterAStopIsIgnored) {
    link_->PrintStopFlag = true;
    link_->LastCmd = NET_CMD_PRINT_END;
    Take(Reply(NET_CMD_PRINT_END, 0));
    EXPECT_EQ(link_->ReplyOk.load(), 0u);
    EXPECT_EQ(link_->PrintEndFlag.load(), 0u);
}

}  // namespace
}  // namespace sl::test
