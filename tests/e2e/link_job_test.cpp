// A job driven through the transport and link layers against the board
// emulator: the job-open sequence, swaths through the queue, the job close.
#include <cstring>
#include <memory>
#include <numeric>

#include "api/memory_plan.h"
#include "api/print_mode.h"
#include "board_fixture.h"
#include "command_fields.h"
#include "files/files_common.h"
#include "link/tcp_link.h"
#include "pipeline/alignment.h"
#include "platform/platform.h"
#include "shared/board_settings.h"
#include "shared/print_job.h"
#include "support/test_addresses.h"
#include "transport/command_protocol.h"
#include "transport/link_threads.h"
#include "transport/net_codes.h"
#include "transport/swath_queue.h"

namespace sl::test {
namespace {

constexpr uint32_t kWidth = 4000;

std::string gBox;
void CatchBox(const char *caption, const char *text) { gBox = std::string(caption) + "|" + text; }

class LinkJob : public BoardTest {
protected:
    static constexpr uint32_t kSlotBytes = 4 << 20;

    void SetUp() override {
        MakeFolder();
        slots_.assign(3, std::vector<uint8_t>(kSlotBytes));
        src_.resize((kWidth + 200) * kSliceBytes);
        for (size_t i = 0; i < src_.size(); ++i) src_[i] = static_cast<uint8_t>(i * 31 + (i >> 11));

        statusFile_.folder = plat_prnlog_dir();
        job_.requests = &requests_;
        NewLink();
        job_.prop.XDPI = 360;
        job_.prop.YDPI = 720;
        job_.prop.Width = kWidth;
        job_.prop.Colors = 4;
        job_.prop.Pass = 2;
        job_.mode.xdpi = 360;
        job_.mode.ydpi = 720;
        job_.mode.pass = 2;
        job_.pass.ydpi = 720;
        job_.pass.feeddots = 180;
        job_.pass.softendots = 180;

        gBox.clear();
        plat_set_message_sink(CatchBox);
    }
    void TearDown() override {
        // Whatever a test left running ends here, and nothing may remain.
        if (link_->TxThread || link_->RxThread) CloseJob();
        EXPECT_EQ(link_->TxThread, nullptr);
        EXPECT_EQ(link_->RxThread, nullptr);
        EXPECT_EQ(link_->HeartThread, nullptr);
        EXPECT_EQ(link_->socket.load(), kInvalidSocket);
        plat_set_message_sink(nullptr);
        link_.reset();
        BoardTest::TearDown();
    }

    // A fresh link, as every job opening makes one; the command record
    // carries over from the last, as the printer's does.
    void NewLink() {
        uint8_t carried[64] = {};
        if (link_) std::memcpy(carried, link_->command.packet, sizeof carried);
        link_.reset();
        link_ = std::make_unique<JobLink>(&job_, &statusFile_, &addresses_, &heartbeat_, carried);
        uint8_t *const slots[3] = {slots_[0].data(), slots_[1].data(), slots_[2].data()};
        QueueUseBuffers(link_.get(), slots, kSlotBytes);
        QueueInit(link_.get());
    }

    void Aim(const std::string &ip) {
        std::strcpy(addresses_.localIp, "127.0.0.1");
        std::strcpy(addresses_.boardIp, ip.c_str());
    }

    // The job-open sequence of StartPrint at the link level.
    int OpenJob() {
        Aim(ip_);
        NewLink();
        ClearRequests(&requests_);
        if (!CreateConnection(link_.get()).ok()) return 0;
        if (!StartLinkThreads(link_.get()).ok()) {
            CloseConnection(link_.get(), link_->socket.load());
            return 0;
        }
        if (!Carried(CarryHostCommand(NET_CMD_JOB_CREATE, link_.get())) ||
            !Carried(CarryHostCommand(NET_CMD_PRINT_START, link_.get()))) {
            StopLinkThreads(link_.get());
            CloseConnection(link_.get(), link_->socket.load());
            return 0;
        }
        return 1;
    }

    // The job close of ClosePrint at the link level.
    void CloseJob() { CloseJobLink(link_.get()); }

    // Inked swath i: columns 16 i .. 400 + 16 i.
    Status Inked(uint32_t i, uint8_t dir = 0, uint32_t step = 300) {
        return AddSwath(link_.get(), src_.data(), dir, 16 + 16 * i, 400 + 16 * i, kWidth, step, 2);
    }
    bool Blank(uint32_t step) { return AddSwath(link_.get(), src_.data(), 0, 0, 0, kWidth, step, 2).ok(); }

    // Runs a plain job of n inked swaths and closes it.
    void PrintInked(uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) ASSERT_TRUE(Inked(i).ok()) << i;
        CloseJob();
    }

    std::vector<std::vector<uint8_t>> slots_;
    std::vector<uint8_t> src_;
    // What the printer holds for its jobs, and the job's settings and link.
    JobRequests requests_;
    StatusFile statusFile_;
    LinkAddresses addresses_;
    uint8_t *heartbeat_ = nullptr;
    PrintJob job_;
    std::unique_ptr<JobLink> link_;
};

TEST_F(LinkJob, WholeJobPacketsAndFields) {
    const swathboard::ParamPreset preset = swathboard::NewerPreset();  // the board's default
    StartBoardAt(TestIp(kAddrLinkJobWhole));
    ASSERT_EQ(OpenJob(), 1);
    EXPECT_EQ(job_.board.CurFWVersion, preset.fw_version);  // the block came with the job-create answer
    const uint16_t jobId = link_->JobId.load();

    ASSERT_TRUE(Inked(0).ok());
    ASSERT_TRUE(Inked(1, 1).ok());
    ASSERT_TRUE(Inked(2).ok());
    ASSERT_TRUE(Blank(100));
    ASSERT_TRUE(Blank(50));
    ASSERT_TRUE(Inked(3).ok());
    ASSERT_TRUE(Inked(4, 0, 0).ok());
    CloseJob();

    const auto all = WithoutResends(swathboard::Packets(board()));
    std::vector<uint8_t> codes;
    for (const auto &r : all) {
        EXPECT_TRUE(r.tag_bits);
        if (!(r.code == swathboard::NET_CMD_DEBUG && r.raw[4] == swathboard::NET_DEBUG_SYNCY))
            codes.push_back(r.code);  // keep-alives aside
    }
    const uint8_t kCreate = swathboard::NET_CMD_JOB_CREATE, kStart = swathboard::NET_CMD_PRINT_START,
                  kSwath = swathboard::NET_CMD_SWATH_CREATE, kEnd = swathboard::NET_CMD_PRINT_END;
    EXPECT_EQ(codes,
              (std::vector<uint8_t>{kCreate, kStart, kSwath, kSwath, kSwath, kSwath, kSwath, kSwath, kEnd}));

    ExpectFields(all, TwoPassJobCommandRows(jobId, preset));

    const auto swaths = OfCode(all, swathboard::NET_CMD_SWATH_CREATE);
    ASSERT_EQ(swaths.size(), 6u);
    for (size_t i = 0; i < swaths.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Field(swaths[i], "SwathSN"), i + 1);
        EXPECT_EQ(Field(swaths[i], "Len") % 320, 0u);
        EXPECT_EQ(Field(swaths[i], "firing_tag"), 1u);
        const bool feedOnly = Field(swaths[i], "Len") == 0;
        if (i + 1 < swaths.size() && !feedOnly && Field(swaths[i + 1], "Len") != 0) {
            EXPECT_EQ(Field(swaths[i], "NextStart"), Field(swaths[i + 1], "Pstart"));
        }
    }
    // Dir 1 swath: the direction bytes say so.
    EXPECT_EQ(Field(swaths[1], "direction"), 1u);
    EXPECT_EQ(Field(swaths[1], "dir_flag"), 0u);
    // The blank run is one feed-only swath after the swath before it.
    EXPECT_EQ(Field(swaths[2], "NextStart"), Field(swaths[2], "Pend"));
    EXPECT_EQ(Field(swaths[3], "Len"), 0u);
    EXPECT_EQ(Field(swaths[3], "Step"), 150u);
    EXPECT_EQ(Field(swaths[5], "NextStart"), 0u);  // the job's last swath
    EXPECT_EQ(Field(swaths[5], "Step"), 0u);
    EXPECT_EQ(Field(swaths[0], "FeedUnits"), 180u * 2880 / 720);

    // Each inked swath's data is the formatted columns from Pstart x 2 on.
    std::vector<uint8_t> data;
    ASSERT_TRUE(swathboard::StoredSwath(board(), 1, &data));
    const size_t from = size_t{Field(swaths[0], "Pstart")} * 2 * kSliceBytes;
    const size_t columns = (Field(swaths[0], "Pend") - Field(swaths[0], "Pstart") + 1) * 2;
    ASSERT_GE(data.size(), columns * kSliceBytes);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + columns * kSliceBytes, src_.begin() + from));

    // The block the job ran with was saved with the job's id.
    const auto saved = ReadFile(dir_ + "/SaveParafile.cfg");
    ASSERT_EQ(saved.size(), 428u);
    EXPECT_EQ(saved[0] | saved[1] << 8, jobId);
}

TEST_F(LinkJob, HeartbeatChangesWhileTheJobRuns) {
    StartBoardAt(TestIp(kAddrLinkJobHeartbeat));
    ASSERT_EQ(OpenJob(), 1);
    EXPECT_TRUE(HeartbeatChanges());
    const int64_t beat = HeartbeatWord();
    EXPECT_GE(beat, 0);
    EXPECT_LE(beat, 32767);
    // Other test programs may beat on the same block; ours stops with the job.
    CloseJob();
    EXPECT_EQ(link_->HeartThread, nullptr);
}

TEST_F(LinkJob, PauseSyncsThenContinueResumesPrinting) {
    StartBoardAt(TestIp(kAddrLinkJobPause));
    ASSERT_EQ(OpenJob(), 1);
    ASSERT_TRUE(Inked(0).ok());
    ASSERT_TRUE(Inked(1).ok());
    ASSERT_TRUE(swathboard::WaitForPackets(board(), 9, 1, 10s));
    requests_.pause = 1;
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), swathboard::NET_DEBUG_PAUSE) >= 1; }));
    const size_t swathsAtPause = swathboard::CountPackets(board(), 9);
    // Paused: syncs each cycle, the pause again after eleven of them.
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), swathboard::NET_DEBUG_PAUSE) >= 2; }));
    EXPECT_GE(CountDebug(board(), swathboard::NET_DEBUG_SYNCY), 11u);
    EXPECT_EQ(swathboard::CountPackets(board(), 9), swathsAtPause);

    requests_.pause = 0;
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), swathboard::NET_DEBUG_CONTINUE) >= 1; }));
    ASSERT_TRUE(Inked(2).ok());
    ASSERT_TRUE(Inked(3).ok());
    CloseJob();
    EXPECT_EQ(swathboard::StoredSwathNumbers(board()), OneTo(4));
    EXPECT_EQ(OfCode(swathboard::Packets(board()), swathboard::NET_CMD_PRINT_END).size(), 1u);
}

TEST_F(LinkJob, AbortCancelsOnTheBoardAndEndsTheJob) {
    StartBoardAt(TestIp(kAddrLinkJobAbort));
    ASSERT_EQ(OpenJob(), 1);
    ASSERT_TRUE(Inked(0).ok());
    ASSERT_TRUE(Inked(1).ok());
    requests_.abort = 1;
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), swathboard::NET_DEBUG_STOP) >= 1; }));
    ASSERT_TRUE(WaitUntil([&] { return link_->PrintStopFlag.load(); }));
    EXPECT_EQ(Inked(2).code, StatusCode::Aborted);  // the host learns it from the hand-off
    CloseJob();
    EXPECT_EQ(swathboard::CountPackets(board(), 18), 0u);
}

TEST_F(LinkJob, AbortWhilePausedStillCancels) {
    StartBoardAt(TestIp(kAddrLinkJobAbortWhilePaused));
    ASSERT_EQ(OpenJob(), 1);
    requests_.pause = 1;
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), swathboard::NET_DEBUG_PAUSE) >= 1; }));
    requests_.abort = 1;
    ASSERT_TRUE(WaitUntil([&] { return link_->TxEnded.load(); }));
    EXPECT_EQ(CountDebug(board(), swathboard::NET_DEBUG_STOP), 1u);
    EXPECT_EQ(link_->PrintEndFlag.load(), 1u);
    CloseJob();
}

struct FaultCase {
    const char *name;
    void (*arm)(swathboard::Board *);
};

TEST_F(LinkJob, LinkFaultsStillDeliverEverySwathOnceInOrder) {
    const FaultCase cases[] = {
        {"dropped mid-swath",
         [](swathboard::Board *b) {
             swathboard::ArmClose(b, {2, 1000, 0});
         }},
        {"dropped after an answer",
         [](swathboard::Board *b) {
             swathboard::ArmClose(b, {3, -1, 0});
         }},
        {"silent longer than the resend time",
         [](swathboard::Board *b) { swathboard::SilenceNext(b, 9, 2); }},
        {"late answers", [](swathboard::Board *b) { swathboard::DelayNext(b, 9, 2, 300); }},
        {"refusals", [](swathboard::Board *b) { swathboard::RefuseNext(b, 9, 3); }},
        {"refuses connections for a while",
         [](swathboard::Board *b) {
             swathboard::ArmClose(b, {2, 500, 300});
         }},
    };
    uint8_t last = kAddrLinkJobFaultsFirst;
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.name);
        StartBoardAt(TestIp(last++));
        ASSERT_EQ(OpenJob(), 1);
        c.arm(board());
        PrintInked(5);
        EXPECT_EQ(link_->PrintStopFlag.load(), 0u);
        EXPECT_EQ(swathboard::StoredSwathNumbers(board()), OneTo(5));
        EXPECT_EQ(StoredInArrivalOrder(board()), OneTo(5));
        EXPECT_EQ(swathboard::CountPackets(board(), 18), 1u);
        EXPECT_EQ(link_->TxThread, nullptr);
    }
}

TEST_F(LinkJob, CommandRefusalsAreResent) {
    swathboard::BoardConfig config;
    config.command_faults = {{swathboard::CommandFault::kRefuse, 2, 1, 8},
                             {swathboard::CommandFault::kRefuse, 8, 2, 1}};
    StartBoardAt(TestIp(kAddrLinkJobRefusals), config);
    ASSERT_EQ(OpenJob(), 1);
    EXPECT_EQ(swathboard::CountPackets(board(), 2), 2u);
    EXPECT_EQ(swathboard::CountPackets(board(), 8), 3u);
    PrintInked(2);
    EXPECT_EQ(swathboard::StoredSwathNumbers(board()), OneTo(2));
}

struct StopCase {
    const char *name;
    swathboard::SwathFault fault;
    const char *box;
};

TEST_F(LinkJob, PrinterSideStopsEndTheJobCleanly) {
    const StopCase cases[] = {
        {"printer cancel", swathboard::SwathFault::kPrinterCancel, ""},
        {"too wide", swathboard::SwathFault::kTooWide, "Tip|Error: Exceed max printable width!"},
        {"sequence error", swathboard::SwathFault::kSequenceError, ""},
    };
    uint8_t last = kAddrLinkJobPrinterStopsFirst;
    for (const StopCase &c : cases) {
        SCOPED_TRACE(c.name);
        gBox.clear();
        swathboard::BoardConfig config;
        config.swath_fault = swathboard::SwathFaultAt{c.fault, 2};
        StartBoardAt(TestIp(last++), config);
        ASSERT_EQ(OpenJob(), 1);
        int accepted = 0;
        for (uint32_t i = 0; i < 8 && Inked(i).ok(); ++i) ++accepted;
        EXPECT_LT(accepted, 8);
        EXPECT_EQ(link_->PrintStopFlag.load(), 1u);
        EXPECT_EQ(link_->PrintEndFlag.load(), 1u);
        CloseJob();
        EXPECT_EQ(gBox, c.box);
        EXPECT_EQ(swathboard::CountPackets(board(), 18), 0u);
        EXPECT_EQ(swathboard::CountPackets(board(), 9), 2u);
    }
}

TEST_F(LinkJob, RejectedParameterBlockFailsTheJobOpen) {
    swathboard::BoardConfig config;
    config.preset.markers = swathboard::Markers::kBroken;
    StartBoardAt(TestIp(kAddrLinkJobRejectedBlock), config);
    EXPECT_EQ(OpenJob(), 0);
    EXPECT_EQ(job_.board.CurFWVersion, 0);
}

TEST_F(LinkJob, NoBoardNoConnection) {
    ip_ = TestIp(kAddrLinkJobNoBoard);
    EXPECT_EQ(OpenJob(), 0);
    EXPECT_EQ(link_->socket.load(), kInvalidSocket);
}

}  // namespace
}  // namespace sl::test
