#include "files/status_post.h"
#include "files/files_common.h"
#include "files/log_folder.h"
#include "files/request_dispatch.h"
#include "files/request_poll.h"
#include "files/status_file.h"
#include "files_fixture.h"
#include "shared/board_settings.h"

namespace sl::test {
namespace {

class StatusPost : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        jobId_ = 0x2468;
        PrepareLogFolder(&file_, dir_);
    }
    // The companion's request, bound to the job it saw in the file.
    void WriteRequest(uint16_t serial, uint8_t type, uint16_t arg1 = 0, uint16_t arg2 = 0) {
        PrintCfgRecord rec = FileRecord();
        rec.ReqSerial = serial;
        rec.ReqType = type;
        rec.ReqArg1 = arg1;
        rec.ReqArg2 = arg2;
        WriteRecord(Sealed(rec, kActive));
    }
};

TEST_F(StatusPost, SerialWrapsToOneNeverZero) {
    file_.statusSerial = 65534;
    PostJobStatus(&file_, kPostJobStart, &job_, jobId_);
    EXPECT_EQ(FileRecord().StatusSerial, 65535);
    PostJobStatus(&file_, kPostJobStart, &job_, jobId_);
    EXPECT_EQ(FileRecord().StatusSerial, 1);
    EXPECT_EQ(file_.statusSerial, 1);
}

TEST_F(StatusPost, FillsJobFieldsAndKeepsTheRest) {
    job_.prop.XDPI = 360;
    job_.prop.YDPI = 1440;
    job_.prop.BytesPerLine = 0x1234;
    job_.prop.Width = 70000;
    job_.prop.Height = 500;
    job_.prop.Colors = 6;
    job_.prop.Bits = 1;
    job_.prop.Pass = 4;
    job_.prop.VsdMode = 3;
    job_.board.PrintSpeed = 7;
    job_.board.Dir = 11;
    const uint8_t group[6] = {10, 11, 20, 13, 14, 15};
    std::memcpy(job_.board.group[1], group, 6);
    StoreStepCalibration(&job_.board, 4, 35000);

    PrintCfgRecord rec = FileRecord();
    rec.AddrMark = kAddressMark;
    rec.BoardAddr = 0x7F00002A;
    rec.res94[10] = 0xC3;
    rec.res286[1] = 0x44;
    rec.ReqSerial = 3;
    WriteRecord(Sealed(rec, kActive));

    PostJobStatus(&file_, kPostJobStart, &job_, jobId_);
    auto b = ReadBytes(StatusPath());
    ASSERT_EQ(b.size(), 288u);
    const std::pair<size_t, uint16_t> expected[] = {
        // clang-format off
        {16, 0x2468}, {18, 1},     {22, 360},  {24, 1440}, {26, 0x1234}, {28, 70000 & 0xFFFF},
        {30, 500},    {32, 6},     {34, 1},    {36, 4},    {38, 3},      {40, 7},
        {42, 11},     {44, 10},    {46, 20},   {48, 14},   {50, 15},     {52, 35000},
        // clang-format on
    };
    for (const auto &[offset, value] : expected) EXPECT_EQ(U16(b, offset), value) << offset;
    EXPECT_EQ(b[20], 2);
    EXPECT_EQ(b[21], kPostJobStart);

    PrintCfgRecord after = FileRecord();
    EXPECT_TRUE(Tagged(after, kActive));
    EXPECT_TRUE(Checks(after));
    EXPECT_EQ(after.AddrMark, kAddressMark);
    EXPECT_EQ(after.BoardAddr, 0x7F00002Au);
    EXPECT_EQ(after.res94[10], 0xC3);
    EXPECT_EQ(after.res286[1], 0x44);
    EXPECT_EQ(after.ReqSerial, 3);
}

TEST_F(StatusPost, StopPostKeepsTheStateCode) {
    PrintCfgRecord rec = FileRecord();
    rec.StateCode = 5;
    WriteRecord(Sealed(rec, kActive));
    PostJobStatus(&file_, kRequestStop, &job_, jobId_);
    PrintCfgRecord after = FileRecord();
    EXPECT_EQ(after.StateCode, 5);
    EXPECT_EQ(after.PostedCmd, kRequestStop);
}

TEST_F(StatusPost, NoPostWithoutAPreparedFolder) {
    file_.access = StatusFileAccess::Unprepared;
    std::filesystem::remove(StatusPath());
    PostJobStatus(&file_, kPostJobStart, &job_, jobId_);
    EXPECT_FALSE(std::filesystem::exists(StatusPath()));
}

// The job-start post gives the file the new job id; a request left from an
// earlier job must not become this job's request.
TEST_F(StatusPost, RequestLeftFromAnEarlierJobIsNotTaken) {
    PrintCfgRecord rec = FileRecord();
    rec.JobId = 0x1111;
    rec.ReqSerial = 12;
    rec.ReqType = kRequestStop;
    WriteRecord(Sealed(rec, kIdle));
    PrepareLogFolder(&file_, dir_);  // next session
    PostJobStatus(&file_, kPostJobStart, &job_, jobId_);

    PrintCfgRecord out;
    EXPECT_EQ(PollCompanionRequest(&file_, &out, jobId_), 0);
    WriteRequest(13, kRequestPause);
    EXPECT_EQ(PollCompanionRequest(&file_, &out, jobId_), 1);
    EXPECT_EQ(out.ReqType, kRequestPause);
}

// A post rewrites a damaged record with a fresh checksum; whatever request
// bytes it held were never verified and must not be carried out.
TEST_F(StatusPost, PostDoesNotValidateADamagedRequest) {
    PrintCfgRecord rec = FileRecord();
    rec.ReqSerial = 77;
    rec.ReqType = kRequestStop;
    rec = Sealed(rec, kActive);
    rec.Checksum ^= 0x8000;
    WriteRecord(rec);

    PostJobStatus(&file_, kRequestAlignment, &job_, jobId_);
    PrintCfgRecord out;
    EXPECT_EQ(PollCompanionRequest(&file_, &out, jobId_), 0);
}

TEST_F(StatusPost, AlignmentRequestUpdatesTheSpeedsOffsetAndFeedStep) {
    struct Case {
        uint8_t speed;
        size_t changed, kept;
    };
    for (const Case &c : {Case{7, kGroupHigh, kGroupLow}, Case{5, kGroupLow, kGroupHigh}}) {
        SCOPED_TRACE(c.speed);
        job_.prop.XDPI = 600;  // class 3
        job_.prop.Pass = 2;
        job_.board.PrintSpeed = c.speed;
        job_.board.group[3][kGroupHigh] = 1;
        job_.board.group[3][kGroupLow] = 2;
        PostJobStatus(&file_, kPostJobStart, &job_, jobId_);
        WriteRequest(static_cast<uint16_t>(100 + c.speed), kRequestAlignment, 33, 36000);

        PrintCfgRecord rec;
        ASSERT_EQ(PollCompanionRequest(&file_, &rec, jobId_), 1);
        CarryOutCompanionRequest(&file_, &rec, &job_, jobId_);
        EXPECT_EQ(job_.board.group[3][c.changed], 33);
        EXPECT_EQ(job_.board.group[3][c.kept], c.kept == kGroupHigh ? 1 : 2);
        EXPECT_EQ(StepCalibration(&job_.board, 2), 36000);

        PrintCfgRecord posted = FileRecord();
        EXPECT_EQ(posted.PostedCmd, kRequestAlignment);
        EXPECT_EQ(posted.FeedStep, 36000);
        EXPECT_EQ(c.speed == 7 ? posted.BidiHigh : posted.BidiLow, 33);
        EXPECT_EQ(PollCompanionRequest(&file_, &rec, jobId_), 0);
    }
}

TEST_F(StatusPost, PauseContinueAndStopRequests) {
    PostJobStatus(&file_, kPostJobStart, &job_, jobId_);
    PrintCfgRecord rec;

    WriteRequest(1, kRequestPause);
    ASSERT_EQ(PollCompanionRequest(&file_, &rec, jobId_), 1);
    CarryOutCompanionRequest(&file_, &rec, &job_, jobId_);
    EXPECT_EQ(requests_.pause, 1u);

    WriteRequest(2, kRequestContinue);
    ASSERT_EQ(PollCompanionRequest(&file_, &rec, jobId_), 1);
    CarryOutCompanionRequest(&file_, &rec, &job_, jobId_);
    EXPECT_EQ(requests_.pause, 0u);

    WriteRequest(3, kRequestStop);
    ASSERT_EQ(PollCompanionRequest(&file_, &rec, jobId_), 1);
    CarryOutCompanionRequest(&file_, &rec, &job_, jobId_);
    EXPECT_EQ(requests_.abort, 1u);
    PrintCfgRecord posted = FileRecord();
    EXPECT_EQ(posted.PostedCmd, kRequestStop);
    EXPECT_EQ(posted.StateCode, 2);
}

}  // namespace
}  // namespace sl::test
