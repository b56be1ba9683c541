// Bad input from the host: job records at and just beyond every limit the
// library accepts, and PrintALine calls with no data, part of a line, several
// lines or no pointer. Every record is either printed to the end or refused
// before anything is connected or allocated; line data is read only within
// the size the host gave (the sanitizer build checks every read, so the line
// buffers here are heap blocks of exactly the size passed).
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "api/job_check.h"
#include "api/job_state.h"
#include "api/memory_plan.h"
#include "board_fixture.h"
#include "platform/platform.h"
#include "shared/records.h"
#include "support/default_printer.h"
#include "support/test_addresses.h"
#include "swathlink/swathlink.h"

namespace sl::test {
namespace {

void IgnoreBox(const char *, const char *) {}

JobProp Job(uint32_t xdpi, uint32_t ydpi, uint32_t width, uint32_t bytesPerLine, uint16_t colors) {
    return JobRecord(xdpi, ydpi, width, bytesPerLine, colors, 40);
}

struct EdgeCase {
    const char *what;
    JobProp at;          // the last record accepted along this limit
    JobProp beyond;      // one step past it
    int32_t starts = 1;  // StartPrint's result for the record at the limit
};

// Each limit the job check knows, with the record on either side of it.
const EdgeCase kEdges[] = {
    {"Width at least 8", Job(360, 360, 8, 2, 1), Job(360, 360, 7, 2, 1)},
    // The job check lets the widest swath through; the side margins the board's
    // alignment adds then make it too wide, and the job is closed on the board.
    {"Width up to the widest swath", Job(360, 360, 2 * MAX_SLICE_NUMBER, 2 * MAX_SLICE_NUMBER / 8, 1),
     Job(360, 360, 2 * MAX_SLICE_NUMBER + 1, 2 * MAX_SLICE_NUMBER / 8 + 1, 1), 0},
    // Only resolutions the head's position table places: 150 and 180 dpi have a
    // board code but no positions, 1800 dpi down the paper no board code.
    {"XDPI with head positions", Job(225, 360, 64, 16, 1), Job(180, 360, 64, 16, 1)},
    {"XDPI up to 2880", Job(2880, 360, 64, 16, 1), Job(2881, 360, 64, 16, 1)},
    {"YDPI a multiple of 360", Job(360, 360, 64, 16, 1), Job(360, 361, 64, 16, 1)},
    {"YDPI with a board code", Job(360, 2160, 64, 16, 1), Job(360, 1800, 64, 16, 1)},
    {"YDPI up to 2880", Job(360, 2880, 64, 16, 1), Job(360, 3240, 64, 16, 1)},
    {"Colors up to 6", Job(360, 360, 64, 16, 6), Job(360, 360, 64, 16, 7)},
    {"BytesPerLine of 1 bit per pixel", Job(360, 360, 65, 9, 1), Job(360, 360, 65, 8, 1)},
    // 6 x 28459 = 170754 bytes fit the empty line; 6 x 28460 = 170760 do not.
    {"line within the line buffers", Job(360, 360, 4 * 28459, 28459, 6), Job(360, 360, 4 * 28460, 28460, 6)},
    // 1-bit: 6 x 14230 x 2 = 170760 expanded bytes fit the expansion buffer.
    {"1-bit line within the expansion buffer", Job(360, 360, 8 * 14230, 14230, 6),
     Job(360, 360, 8 * 14231, 14231, 6)},
};

// Records no printer could take, built from values a broken host may send.
const JobProp kNonsense[] = {
    Job(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF),
    Job(360, 360, 0xFFFFFFFF, 0xFFFFFFFF, 6),  // sizes that wrap 32-bit products
    Job(360, 360, 64, 0xFFFFFFFF, 1),
    Job(360, 0xFFFFFE98, 64, 16, 1),  // the largest multiple of 360
    Job(0, 360, 64, 16, 1),
    Job(150, 360, 64, 16, 1),  // a board code, no head positions
    Job(400, 720, 64, 16, 1),  // neither
    Job(28800, 360, 64, 16, 1),
    Job(720, 11520, 64, 16, 1),
    Job(360, 360, 64, 16, 0),
    Job(360, 360, 0, 0, 1),
    Job(28800, 11520, 2 * MAX_SLICE_NUMBER, 2 * MAX_SLICE_NUMBER / 4, 1),
};

class BadInput : public BoardTest {
protected:
    void SetUp() override {
        MakeFolder();
        plat_set_message_sink(IgnoreBox);
    }
    void TearDown() override {
        ClosePrint();
        ExpectNothingHeld();
        plat_set_message_sink(nullptr);
        BoardTest::TearDown();
    }
    void ExpectNothingHeld() {
        EXPECT_EQ(JobStarted(), 0u);
        EXPECT_EQ(TxThreadLeft(), nullptr);
        EXPECT_EQ(RxThreadLeft(), nullptr);
        EXPECT_EQ(HeartThreadLeft(), nullptr);
        EXPECT_EQ(SocketLeft(), kInvalidSocket);
        EXPECT_EQ(HeldJobBlock(), nullptr);
    }
    void Open(const std::string &ip) {
        StartBoardAt(ip);
        WriteAddresses(ip);
    }
    // StartPrint must refuse the record without reaching the board.
    void ExpectRefusedQuietly(const JobProp &job) {
        const uint32_t connections = swathboard::ConnectionCount(board());
        InitPrinter();
        EXPECT_NE(JobPropProblem(&job), nullptr);
        EXPECT_EQ(StartPrint(&job), 0);
        ExpectNothingHeld();
        EXPECT_EQ(swathboard::ConnectionCount(board()), connections);
        // Lines and the end of a job that never started are ignored.
        std::vector<uint8_t> line(64, 0x55);
        EXPECT_EQ(PrintALine(line.data(), static_cast<uint32_t>(line.size())), 1);
        EXPECT_EQ(EndPrint(), 1);
        EXPECT_EQ(ClosePrint(), 1);
        EXPECT_EQ(LinesTaken(), 0u);
    }
};

uint32_t HostLineBytes(const JobProp &job) { return job.BytesPerLine * job.Colors; }

// Whole lines followed by extra bytes (negative: that many bytes short).
std::vector<uint8_t> Lines(const JobProp &job, uint32_t lines, int32_t extra = 0) {
    std::vector<uint8_t> data(size_t(HostLineBytes(job)) * lines + extra);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 29 + 0x41);
    return data;
}

int32_t Send(const std::vector<uint8_t> &data) {
    return PrintALine(data.data(), static_cast<uint32_t>(data.size()));
}

TEST_F(BadInput, RecordsOnEitherSideOfEachLimit) {
    Open(TestIp(kAddrBadInputLimits));
    for (const EdgeCase &edge : kEdges) {
        SCOPED_TRACE(edge.what);
        ExpectRefusedQuietly(edge.beyond);

        // The record at the limit prints: a few whole lines, then the job's end.
        InitPrinter();
        ASSERT_EQ(JobPropProblem(&edge.at), nullptr);
        ASSERT_EQ(StartPrint(&edge.at), edge.starts);
        if (edge.starts == 0) {
            ExpectNothingHeld();
            continue;
        }
        EXPECT_EQ(Send(Lines(edge.at, 3)), 1);
        EXPECT_EQ(LinesTaken(), 3u);
        EXPECT_EQ(EndPrint(), 1);
        EXPECT_EQ(ClosePrint(), 1);
        ExpectNothingHeld();
    }
}

TEST_F(BadInput, NonsenseRecordsAreRefusedBeforeTheBoardIsReached) {
    Open(TestIp(kAddrBadInputNonsenseRecords));
    EXPECT_EQ(StartPrint(nullptr), 0);
    ExpectNothingHeld();
    for (const JobProp &job : kNonsense) {
        SCOPED_TRACE(testing::Message()
                     << "XDPI " << job.XDPI << " YDPI " << job.YDPI << " Width " << job.Width
                     << " BytesPerLine " << job.BytesPerLine << " Colors " << job.Colors);
        ExpectRefusedQuietly(job);
    }
}

struct LineCall {
    const char *what;
    uint32_t lines;  // whole lines in the call
    int32_t extra;   // bytes after the whole lines (negative: short of them)
    bool noData;     // the data pointer is null
    int32_t result;  // what PrintALine returns
    uint32_t taken;  // lines the job counts
};

const LineCall kLineCalls[] = {
    {"no bytes", 0, 0, false, 1, 0},
    {"no bytes and no data", 0, 0, true, 1, 0},
    {"one byte", 0, 1, false, 1, 0},
    {"one byte short of a line", 1, -1, false, 1, 0},
    {"one line", 1, 0, false, 1, 1},
    {"one line and a part", 1, 7, false, 1, 1},
    {"several lines", 5, 0, false, 1, 5},
    {"several lines and a part", 5, 3, false, 1, 5},
    {"a line size without data", 1, 0, true, 0, 0},
};

// A 2-bit and a 1-bit job (the 1-bit lines are expanded before the strips),
// and one whose mode tag makes an out-of-range VsdMode its dot-size class.
JobProp TaggedJob() {
    JobProp job = Job(360, 720, 720, 180, 4);
    job.Reserved = 0xABCE;
    job.VsdMode = 0xFFFFFFFF;
    return job;
}
const JobProp kLineJobs[] = {Job(360, 720, 720, 180, 4), Job(720, 1440, 2000, 250, 2), TaggedJob()};

TEST_F(BadInput, LineCallsOfEveryShape) {
    Open(TestIp(kAddrBadInputLineShapes));
    for (const JobProp &job : kLineJobs) {
        SCOPED_TRACE(testing::Message() << "BytesPerLine " << job.BytesPerLine);
        InitPrinter();
        ASSERT_EQ(StartPrint(&job), 1);
        for (const LineCall &call : kLineCalls) {
            SCOPED_TRACE(call.what);
            const std::vector<uint8_t> data = Lines(job, call.lines, call.extra);
            const uint32_t before = LinesTaken();
            const uint8_t *p = call.noData ? nullptr : data.data();
            EXPECT_EQ(PrintALine(p, static_cast<uint32_t>(data.size())), call.result);
            EXPECT_EQ(LinesTaken() - before, call.taken);
        }
        // Enough lines for whole swaths, then the job ends normally.
        for (int i = 0; i < 100; ++i) ASSERT_EQ(Send(Lines(job, 4)), 1);
        EXPECT_EQ(EndPrint(), 1);
        EXPECT_EQ(ClosePrint(), 1);
        ExpectNothingHeld();
    }
    EXPECT_GT(swathboard::StoredSwathNumbers(board()).size(), 0u);
}

TEST_F(BadInput, CallsAfterTheJobEndsAreIgnored) {
    Open(TestIp(kAddrBadInputAfterTheJob));
    const JobProp job = kLineJobs[0];
    InitPrinter();
    ASSERT_EQ(StartPrint(&job), 1);
    EXPECT_EQ(Send(Lines(job, 2)), 1);
    EXPECT_EQ(EndPrint(), 1);
    EXPECT_EQ(ClosePrint(), 1);
    ExpectNothingHeld();
    // A host that keeps calling after ClosePrint reaches no freed buffer.
    EXPECT_EQ(Send(Lines(job, 2)), 1);
    EXPECT_EQ(PrintALine(nullptr, HostLineBytes(job)), 1);
    EXPECT_EQ(EndPrint(), 1);
    EXPECT_EQ(ClosePrint(), 1);
}

// How the previous job of the session ended: stopped by the board, or
// aborted by the host with the board confirming the cancel.
struct EarlierEnd {
    const char *what;
    std::optional<swathboard::SwathFault> boardStop;  // none: the host aborts
    int32_t closes;                                   // ClosePrint's result for that job
};

const EarlierEnd kEarlierEnds[] = {
    {"cancelled on the printer", swathboard::SwathFault::kPrinterCancel, 0},
    {"a sequence-number error", swathboard::SwathFault::kSequenceError, 0},
    {"the host aborted, the board confirmed", std::nullopt, 1},
};

// InitPrinter opens a clean session whatever the last job's end: lines
// before the next StartPrint are ignored (1), not refused as aborted.
TEST_F(BadInput, LinesAfterInitPrinterFollowingAStoppedJob) {
    Open(TestIp(kAddrBadInputAfterAStoppedJob));
    const JobProp job = kLineJobs[0];
    const std::vector<uint8_t> line = Lines(job, 1);
    for (const EarlierEnd &end : kEarlierEnds) {
        SCOPED_TRACE(end.what);
        InitPrinter();
        ASSERT_EQ(StartPrint(&job), 1);
        if (end.boardStop)
            swathboard::InjectSwathFault(board(), *end.boardStop, 1);
        else
            ASSERT_EQ(AbortPrint(), 1);
        // The stop reaches the host through PrintALine once the board has
        // answered a swath; a full queue holds the host until then.
        bool refused = false;
        for (int i = 0; i < 20000 && !refused; ++i) refused = Send(line) == 0;
        EXPECT_TRUE(refused);
        EXPECT_EQ(EndPrint(), 1);
        EXPECT_EQ(ClosePrint(), end.closes);
        ExpectNothingHeld();

        InitPrinter();
        EXPECT_EQ(Send(line), 1);
        EXPECT_EQ(LinesTaken(), 0u);
        EXPECT_EQ(EndPrint(), 1);
        EXPECT_EQ(ClosePrint(), 1);
        ExpectNothingHeld();
    }
    // The session after the last of them prints a job to its end.
    InitPrinter();
    ASSERT_EQ(StartPrint(&job), 1);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Send(Lines(job, 4)), 1);
    EXPECT_EQ(EndPrint(), 1);
    EXPECT_EQ(ClosePrint(), 1);
}

}  // namespace
}  // namespace sl::test
