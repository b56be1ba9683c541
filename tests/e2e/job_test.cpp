// Whole jobs through the eleven entry points against the board emulator.
#include <atomic>
#include <functional>

#include "api/job_state.h"
#include "api/print_mode.h"
#include "command_fields.h"
#include "job_fixture.h"
#include "pipeline/alignment.h"
#include "platform/platform.h"
#include "shared/board_settings.h"
#include "support/default_printer.h"
#include "support/test_addresses.h"
#include "swathlink/swathlink.h"

namespace sl::test {
namespace {

// Every swath of the whole job: numbered from 1, whole blocks of data, the
// direction bytes agreeing, inked swaths at the preset's speed with a feed
// that matches the preset's step calibration, each inked swath telling the
// next one's start. Returns how many swaths were feed only.
size_t ExpectSwathsAgree(const std::vector<swathboard::PacketRecord> &swaths, uint32_t stepCalibration) {
    size_t feedOnly = 0;
    for (size_t i = 0; i < swaths.size(); ++i) {
        SCOPED_TRACE(i);
        const auto &s = swaths[i];
        EXPECT_EQ(Field(s, "SwathSN"), i + 1);
        EXPECT_EQ(Field(s, "Len") % 320, 0u);
        EXPECT_EQ(Field(s, "firing_tag"), 1u);
        EXPECT_EQ(Field(s, "dir_flag"), Field(s, "direction") ? 0u : 1u);
        if (Field(s, "Len") == 0) {
            ++feedOnly;
            EXPECT_GT(Field(s, "Step"), 0u);
            continue;
        }
        EXPECT_EQ(Field(s, "speed"), kTwoPassSwathSpeed);
        // The feed in board steps and in 1/2880 inch tell the same story.
        EXPECT_GT(Field(s, "FeedUnits"), 0u);
        // The feed rounded to whole steps, its remainder carried to the next
        // swath (the emulator's sheet checks where the paper stands).
        EXPECT_NEAR(Field(s, "Step"), Field(s, "FeedUnits") * 35860.0 / stepCalibration, 1.0);
        EXPECT_EQ(Field(s, "Pstart") % 2, 0u);
        EXPECT_EQ(Field(s, "Pend") % 2, 0u);
        if (i + 1 < swaths.size() && Field(swaths[i + 1], "Len") != 0) {
            EXPECT_EQ(Field(s, "NextStart"), Field(swaths[i + 1], "Pstart"));
        }
    }
    return feedOnly;
}

TEST_F(Job, WholeJobTravelsToTheBoardAndBack) {
    const swathboard::ParamPreset preset = swathboard::NewerPreset();  // the board's default
    Begin(TestIp(kAddrJobWhole));
    const PrintCfgRecord running = ReadStatus();
    EXPECT_EQ(std::memcmp(running.tag, kActiveTag, 16), 0);
    EXPECT_EQ(running.PostedCmd, 2);
    EXPECT_EQ(running.StateCode, 2);
    EXPECT_EQ(running.XRes, 360);
    EXPECT_EQ(running.JobId, JobLinkOf().JobId.load());

    ASSERT_EQ(Lines(600, true), 1);
    EXPECT_TRUE(HeartbeatChanges());
    // Passes interleave lines from a wide band: only a long blank band
    // leaves whole swaths without ink.
    ASSERT_EQ(Lines(2000, false), 1);
    ASSERT_EQ(Lines(600, true), 1);
    ASSERT_EQ(EndPrint(), 1);
    const uint16_t jobId = JobLinkOf().JobId.load();
    ASSERT_EQ(ClosePrint(), 1);

    // Job create, print start, swaths, print end; keep-alives aside.
    const auto all = WithoutResends(swathboard::Packets(board()));
    std::vector<uint8_t> codes;
    for (const auto &r : all) {
        EXPECT_TRUE(r.tag_bits);
        if (!(r.code == swathboard::NET_CMD_DEBUG && r.raw[4] == swathboard::NET_DEBUG_SYNCY))
            codes.push_back(r.code);
    }
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ(codes[0], swathboard::NET_CMD_JOB_CREATE);
    EXPECT_EQ(codes[1], swathboard::NET_CMD_PRINT_START);
    EXPECT_EQ(codes.back(), swathboard::NET_CMD_PRINT_END);
    for (size_t i = 2; i + 1 < codes.size(); ++i) EXPECT_EQ(codes[i], swathboard::NET_CMD_SWATH_CREATE) << i;

    ExpectFields(all, TwoPassJobCommandRows(jobId, preset));

    const auto swaths = OfCode(all, swathboard::NET_CMD_SWATH_CREATE);
    ASSERT_GE(swaths.size(), 3u);
    EXPECT_GE(ExpectSwathsAgree(swaths, TwoPassStepCalibration(preset)), 1u);  // the blank band: feed only
    EXPECT_EQ(StoredInArrivalOrder(board()), OneTo(static_cast<uint32_t>(swaths.size())));

    const auto saved = ReadFile(dir_ + "/SaveParafile.cfg");
    ASSERT_EQ(saved.size(), 428u);
    EXPECT_EQ(saved[0] | saved[1] << 8, jobId);
    EXPECT_EQ(saved[8], 0x55);
    EXPECT_EQ(saved[8 + 134] | saved[8 + 135] << 8, preset.fw_version);

    const PrintCfgRecord after = ReadStatus();
    EXPECT_EQ(std::memcmp(after.tag, kIdleTag, 16), 0);
    EXPECT_EQ(after.StateCode, 0);
}

TEST_F(Job, PauseContinueAndAbortFromTheHost) {
    Begin(TestIp(kAddrJobPauseContinueAbort));
    Feeder host([&] { return PrintALine(inked_.data(), kLineBytes); });
    ASSERT_TRUE(swathboard::WaitForPackets(board(), 9, 2, 10s));

    ASSERT_EQ(PausePrint(), 1);
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), 20) >= 1; }));
    const size_t atPause = swathboard::CountPackets(board(), 9);
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), 23) >= 3; }));
    EXPECT_EQ(swathboard::CountPackets(board(), 9), atPause);

    ASSERT_EQ(ContinuePrint(), 1);
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), 21) >= 1; }));
    ASSERT_TRUE(swathboard::WaitForPackets(board(), 9, atPause + 2, 10s));

    ASSERT_EQ(AbortPrint(), 1);
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), 22) >= 1; }));
    ASSERT_TRUE(WaitUntil([&] { return host.done(); }));
    EXPECT_EQ(PrintALine(inked_.data(), kLineBytes), 0);
    EXPECT_EQ(ClosePrint(), 1);
    EXPECT_EQ(swathboard::CountPackets(board(), 18), 0u);
    const auto stored = swathboard::StoredSwathNumbers(board());
    EXPECT_EQ(stored, OneTo(static_cast<uint32_t>(stored.size())));
}

TEST_F(Job, CompanionRequestsThroughTheStatusFile) {
    Begin(TestIp(kAddrJobCompanionRequests));
    Feeder host([&] { return PrintALine(inked_.data(), kLineBytes); });
    ASSERT_TRUE(swathboard::WaitForPackets(board(), 9, 1, 10s));

    Request(20);  // taken after the next swath
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), 20) >= 1; }));
    EXPECT_EQ(PauseFlag(), 1u);
    const size_t atPause = swathboard::CountPackets(board(), 9);

    Request(21);  // taken while paused
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), 21) >= 1; }));
    ASSERT_TRUE(swathboard::WaitForPackets(board(), 9, atPause + 1, 10s));

    const uint8_t cls = ResolutionClass(HeldJob()->print.prop.XDPI);
    const uint8_t byte = BoardSettings().PrintSpeed == 7 ? 4 : 5;
    Request(9, 33, 4777);  // new bidirectional offset and feed step
    ASSERT_TRUE(WaitUntil([&] { return ReadStatus().PostedCmd == 9; }));
    EXPECT_EQ(GroupByte(&BoardSettings(), cls, byte), 33);
    EXPECT_EQ(StepCalibration(&BoardSettings(), 2), 4777);

    Request(22);
    ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), 22) >= 1; }));
    ASSERT_TRUE(WaitUntil([&] { return host.done(); }));
    EXPECT_EQ(AbortFlag(), 1u);
    EXPECT_EQ(ReadStatus().PostedCmd, 22);
    EXPECT_EQ(ClosePrint(), 1);
}

TEST_F(Job, LinkFaultsDuringAJob) {
    Begin(TestIp(kAddrJobLinkFaults));
    ASSERT_EQ(Lines(300, true), 1);
    swathboard::ArmClose(board(), {1, 2000, 200});  // cut mid-data, then refuse connections
    ASSERT_EQ(Lines(300, true), 1);
    swathboard::SilenceNext(board(), 9, 1);
    ASSERT_EQ(Lines(300, true), 1);
    swathboard::RefuseNext(board(), 9, 2);
    ASSERT_EQ(Lines(300, true), 1);
    ASSERT_EQ(EndPrint(), 1);
    ASSERT_EQ(ClosePrint(), 1);
    EXPECT_GE(swathboard::ConnectionCount(board()), 2u);
    const auto stored = swathboard::StoredSwathNumbers(board());
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(StoredInArrivalOrder(board()), OneTo(static_cast<uint32_t>(stored.size())));
    EXPECT_EQ(swathboard::CountPackets(board(), 18), 1u);
}

TEST_F(Job, PrinterSideStopsEndTheJob) {
    const struct {
        swathboard::SwathFault fault;
        size_t boxes;
    } cases[] = {
        {swathboard::SwathFault::kPrinterCancel, 0},
        {swathboard::SwathFault::kTooWide, 1},
        {swathboard::SwathFault::kSequenceError, 0},
    };
    uint32_t address = kAddrJobPrinterStopsFirst;
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        gBoxes.clear();
        swathboard::BoardConfig config;
        config.swath_fault = swathboard::SwathFaultAt{c.fault, 2};
        Begin(TestIp(address++), config);
        EXPECT_EQ(Lines(4000, true), 0);
        // The board stopped the job: it did not print completely.
        EXPECT_EQ(ClosePrint(), 0);
        EXPECT_EQ(gBoxes.size(), c.boxes);
        EXPECT_EQ(swathboard::CountPackets(board(), 18), 0u);
        EXPECT_EQ(TxThreadLeft(), nullptr);
    }
}

TEST_F(Job, StartPrintWithoutABoardLeavesNothingOpen) {
    WriteAddresses(TestIp(kAddrJobWithoutBoard));
    ASSERT_EQ(InitPrinter(), 1);
    const JobProp job = TwoInchJob();
    EXPECT_EQ(StartPrint(&job), 0);
    EXPECT_EQ(gBoxes, (std::vector<std::string>{"Error Tip|Connect fail !"}));
    EXPECT_EQ(JobStarted(), 0u);
    EXPECT_EQ(PrintALine(inked_.data(), kLineBytes), 1);  // no job: accepted, nothing kept
}

}  // namespace
}  // namespace sl::test
