// Every fault the board emulator can inject, at every moment of a job where
// it means something, in one and in two print directions. Each row states
// what a sound driver owes the host and the board:
//   - kFinishes: every call returns 1, the printed sheet equals the raster
//     and the board accepted every swath exactly once, in order;
//   - kStartRefused: StartPrint returns 0, nothing reaches the paper, and the
//     later calls of the job are harmless (1);
//   - kBoardStops: the board stopped the job (printer cancel, sequence
//     error): the host learns it from PrintALine (0) or, when the stop comes
//     after the last line, from ClosePrint (0); no job end is sent, and what
//     was printed was printed once, in order;
//   - kAborted: the board does not recover by itself and the operator
//     aborts; the board is told (NET_DEBUG_STOP), no job end is sent and
//     nothing is printed twice;
//   - kAbortedUnheard: as kAborted, for a board that is silent or away, which
//     the stop may not reach.
// In every row each call returns within a bound taken from the library's
// scaled time-outs, and afterwards no thread, descriptor or mapping of the
// job is left in the process.
//
// The host runs on a thread of its own, as a RIP's would; the test thread
// only watches it, so a call that never returns fails the row instead of
// hanging the test.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "roundtrip/roundtrip_fixture.h"
#include "shared/records.h"
#include "support/default_printer.h"
#include "support/process_usage.h"
#include "support/test_addresses.h"
#include "swathlink/swathlink.h"
#include "transport/swath_queue.h"

namespace sl::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using roundtrip::Raster;
using roundtrip::RasterShape;
using swathboard::Board;
using swathboard::BoardConfig;
using swathboard::CommandFault;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizer's allocator maps memory of its own as it goes
#else
constexpr bool kSanitized = false;
#endif

// The library's longest single wait is a command's: 22 rounds of 4.02 s,
// scaled by the tests' 0.01 to 0.88 s. One call may meet it twice (an
// unconfirmed job end, then an unconfirmed cancel) besides reconnections
// (25 ms each) and the operator's own bounded waits of a paused row; five
// command limits leave room for a loaded machine.
constexpr auto kCommandLimit = 884ms;
constexpr auto kCallBound = 5 * kCommandLimit;
// The whole job, watched from the test thread.
constexpr auto kJobBound = 60s;
// How long an operator or a strike waits for the board to show a step.
constexpr auto kStepWait = 5s;
// A reconnection row's board refuses connections this long after the cut:
// the operator's thread arms the row's fault meanwhile.
constexpr uint32_t kRefuseWhileReconnectingMs = 400;

// A job at 360 x 720 dpi in two passes with feathering, seven swaths long
// (each swath feeds 360 lines): long enough for faults to strike between
// its first and last swaths. EndPrint's flush ends such a job in blank
// swaths, which publish the last inked one, so ClosePrint sends no swath.
// A one-pass job (360 x 360 dpi) whose last swath EndPrint completes with
// empty lines keeps that swath back until ClosePrint sends it.
RasterShape JobShape(bool onePass) {
    RasterShape s;
    s.xdpi = 360;
    s.ydpi = onePass ? 360 : 720;
    s.width = 64;
    s.height = onePass ? 2420 : 2520;
    return s;
}
constexpr uint8_t kSoften = 0x43;  // feathering family A, band 3

// When the fault strikes. Each test below is one fault, its rows the
// moments where the fault means something; a comment names the columns it
// leaves out and why. Only faults on answers (lost, late, refused) can
// strike the pause's own answer; the others meet a paused job alike at
// kPaused.
enum class Moment {
    kJobCreate,
    kPrintStart,
    kMidSwath,
    kPausing,  // the pause itself and the first syncs after it
    kPaused,   // once the board has the pause
    kEndPrintFlush,
    kClosePrint,
    kReconnection
};
const char *const kMomentNames[] = {"job creation",      "print start",          "mid-swath",
                                    "as the job pauses", "while paused",         "EndPrint's flush",
                                    "ClosePrint",        "during a reconnection"};

enum class Owed { kFinishes, kStartRefused, kBoardStops, kAborted, kAbortedUnheard };

// What the operator does in a row besides the fault.
enum class Operator {
    kNone,
    kContinue,  // paused rows: continue once the fault has shown
    kAbort,     // abort once the fault has shown (a board that does not recover)
};

struct Row {
    Moment moment;
    // Faults the board holds before it listens (job creation, print start).
    void (*configure)(BoardConfig *) = nullptr;
    // Faults armed at the moment. A reconnection row first cuts the link
    // under a swath and arms these once the link is down.
    void (*arm)(Board *) = nullptr;
    Owed owed = Owed::kFinishes;
    Operator op = Operator::kNone;
    const char *what = "";
    bool onePass = false;  // see JobShape
    // A second fault, armed once the board has sent an answer too many: it
    // meets the job after the answer count went out of step.
    void (*later)(Board *) = nullptr;
};

// The longest a call of the host took, and what it returned.
struct CallLog {
    int32_t start = -1, end = -1, close = -1;
    int32_t firstRefusedLine = -1;  // the first PrintALine that returned 0
    int32_t linesAfterRefusedStart = -1;
    Clock::duration longest{};
    const char *longestCall = "";

    template <typename F>
    int32_t Time(const char *name, F call) {
        const auto t0 = Clock::now();
        const int32_t r = call();
        const auto took = Clock::now() - t0;
        if (took > longest) {
            longest = took;
            longestCall = name;
        }
        return r;
    }
};

size_t DebugCount(const Board *b) { return swathboard::CountPackets(b, swathboard::NET_CMD_DEBUG); }

bool BoardReportedCancel(const Board *b) {
    for (const auto &r : swathboard::Packets(b))
        if (r.print_status == 1 || r.status == 8 || r.swath_state == swathboard::SWATH_CREAT_SN_ERROR)
            return true;
    return false;
}

// Whether the board did anything but answer at once: a row whose fault
// never struck proves nothing.
bool FaultStruck(const Board *b) {
    if (swathboard::ConnectionCount(b) != 1 || swathboard::ExtraAnswersSent(b) > 0) return true;
    for (const auto &r : swathboard::Packets(b))
        if (r.timing != swathboard::ReplyTiming::kNow || r.status != 0 ||
            r.swath_state == swathboard::SWATH_CREAT_SN_ERROR || r.print_status == 1)
            return true;
    return false;
}

bool StopsTheJob(const swathboard::PacketRecord &r) {
    return r.print_status == 1 ||
           (r.code == swathboard::NET_CMD_SWATH_CREATE &&
            (r.status == 8 || r.status == 6 || r.swath_state == swathboard::SWATH_CREAT_SN_ERROR));
}

// The first swath the host sent after the board had stopped the job (0 when
// none): one swath is in flight at a time, so a stopped job sends no new one.
uint32_t SwathAfterStop(const Board *b) {
    uint32_t highest = 0;
    bool stopped = false;
    for (const auto &r : swathboard::Packets(b)) {
        if (r.code == swathboard::NET_CMD_SWATH_CREATE) {
            const uint32_t sn = Field(r, "SwathSN");
            if (stopped && sn > highest) return sn;
            highest = std::max(highest, sn);
        }
        stopped = stopped || StopsTheJob(r);
    }
    return 0;
}

bool LinkWentDown(const Board *b) {
    for (const auto &r : swathboard::Packets(b))
        if (r.timing == swathboard::ReplyTiming::kDropped) return true;
    return false;
}

class FaultMatrix : public roundtrip::RoundtripTest {
protected:
    void SetUp() override {
        RoundtripTest::SetUp();
        // One malloc arena: threads that come and go must not leave arenas
        // behind that a later row would count as a leak.
        mallopt(M_ARENA_MAX, 1);
    }

    // Runs every row in both directions on the test's address. A clean job
    // first fills what the process keeps for good (the heartbeat block,
    // cached thread stacks), so each row is measured against a settled
    // process.
    void RunTable(TestAddress address, const std::vector<Row> &rows) {
        const Row clean{Moment::kPaused, nullptr, nullptr, Owed::kFinishes, Operator::kContinue, "warm-up"};
        RunRow(clean, false, address);
        for (const Row &row : rows) {
            for (const bool bidirectional : {false, true}) {
                SCOPED_TRACE(std::string(kMomentNames[static_cast<int>(row.moment)]) + ", " +
                             (bidirectional ? "bidirectional" : "one direction") + ": " + row.what);
                const ProcessUsage before = MeasureProcess();
                RunRow(row, bidirectional, address);
                const ProcessUsage after = MeasureProcess();
                ExpectNothingLeft(before, after);
                if (HasFatalFailure()) return;
            }
        }
    }

    void RunRow(const Row &row, bool bidirectional, TestAddress address) {
        std::mt19937 rng(1100 + (bidirectional ? 1 : 0));
        BoardConfig config;
        config.preset = roundtrip::RandomHead({kSoften, bidirectional}, &rng);
        const Raster raster = roundtrip::RandomRaster(JobShape(row.onePass), &rng);
        if (row.configure) row.configure(&config);
        const std::string ip = TestIp(address);
        StartBoardAt(ip, config);
        if (HasFatalFailure()) return;
        WriteAddresses(ip);
        swathboard::SetImageSize(board(), raster.shape.width, raster.shape.height, raster.shape.xdpi);

        const CallLog log = HostUnderWatch(row, raster);
        EXPECT_LE(log.longest, kCallBound)
            << log.longestCall << " took "
            << std::chrono::duration_cast<std::chrono::milliseconds>(log.longest).count() << " ms";
        EXPECT_EQ(TxThreadLeft(), nullptr);
        EXPECT_EQ(RxThreadLeft(), nullptr);
        EXPECT_EQ(HeartThreadLeft(), nullptr);
        EXPECT_EQ(SocketLeft(), kInvalidSocket);
        ExpectOwed(row, log, raster);
        board_.reset();
    }

    // The host's side of the job on its own thread; fails the row when the
    // job does not end in time, and then aborts it to get the thread back.
    CallLog HostUnderWatch(const Row &row, const Raster &raster) {
        CallLog log;
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::thread host([&] {
            RunHost(row, raster, &log);
            std::lock_guard<std::mutex> lock(m);
            done = true;
            cv.notify_all();
        });
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, kJobBound, [&] { return done; })) {
            ADD_FAILURE() << "the job did not end within " << kJobBound.count() << " s; aborting it";
            AbortPrint();
            if (!cv.wait_for(lock, kJobBound, [&] { return done; })) {
                std::fprintf(stderr, "the aborted job did not end either: giving up\n");
                std::_Exit(2);
            }
        }
        lock.unlock();
        host.join();
        return log;
    }

    void RunHost(const Row &row, const Raster &raster, CallLog *log) {
        Board *const b = board();
        std::thread op;
        InitPrinter();
        const JobProp job = roundtrip::JobOf(raster.shape);
        log->start = log->Time("StartPrint", [&] { return StartPrint(&job); });
        if (log->start == 1) {
            const uint32_t strikeAt = raster.shape.height / 3;
            for (uint32_t y = 0; y < raster.shape.height; ++y) {
                if (y == strikeAt) op = StrikeMidJob(row);
                const std::vector<uint8_t> line = roundtrip::HostLine(raster, y);
                const uint32_t size = static_cast<uint32_t>(line.size());
                if (log->Time("PrintALine", [&] { return PrintALine(line.data(), size); }) == 0) {
                    log->firstRefusedLine = static_cast<int32_t>(y);
                    break;  // as a RIP does: the job is over
                }
            }
            if (row.moment == Moment::kEndPrintFlush) op = StrikeWhenDrained(row, b);
            log->end = log->Time("EndPrint", [] { return EndPrint(); });
            if (row.moment == Moment::kClosePrint) op = StrikeWhenDrained(row, b);
        } else {
            const std::vector<uint8_t> line = roundtrip::HostLine(raster, 0);
            log->linesAfterRefusedStart = PrintALine(line.data(), static_cast<uint32_t>(line.size()));
            log->end = EndPrint();
        }
        // An operator that must abort a job stuck at the job end does so
        // from its own thread while ClosePrint waits.
        if (op.joinable() && row.op != Operator::kAbort) op.join();
        log->close = log->Time("ClosePrint", [] { return ClosePrint(); });
        if (op.joinable()) op.join();
    }

    // The rows of the middle of the job; the operator's steps run on a
    // thread of their own while the host goes on handing over lines.
    // What strikes at once does so on the host's thread, so that it comes
    // before the job's next swath however late the operator's thread starts.
    std::thread StrikeMidJob(const Row &row) {
        Board *const b = board();
        switch (row.moment) {
        case Moment::kMidSwath:
            if (row.arm) row.arm(b);
            if (row.op == Operator::kAbort) return std::thread([b] { AbortOnceResent(b); });
            if (row.later) return std::thread([b, &row] { ArmAfterExtraAnswer(b, row); });
            return {};
        case Moment::kPausing:
        case Moment::kPaused: Pause(b, row); return std::thread([b, &row] { StrikeWhilePaused(b, row); });
        case Moment::kReconnection:
            swathboard::ArmClose(b, {1, 200, kRefuseWhileReconnectingMs});
            return std::thread([b, &row] { StrikeWhileReconnecting(b, row); });
        default: return {};
        }
    }

    // EndPrint's and ClosePrint's rows: the fault strikes the first swath
    // that call sends, once everything published before it has gone out.
    std::thread StrikeWhenDrained(const Row &row, Board *b) {
        if (!WaitUntil([] { return QueueHandedOut(&JobLinkOf()) <= 1; }, kStepWait))
            ADD_FAILURE() << "the queue did not drain before the fault was armed";
        if (row.arm) row.arm(b);
        if (row.op == Operator::kAbort) return std::thread([b] { AbortOnceResent(b); });
        return {};
    }

    static void ArmAfterExtraAnswer(Board *b, const Row &row) {
        if (!WaitUntil([b] { return swathboard::ExtraAnswersSent(b) >= 1; }, kStepWait)) return;
        row.later(b);
    }

    static void AbortOnceResent(Board *b) {
        const size_t seen = swathboard::Packets(b).size();
        WaitUntil([&] { return swathboard::Packets(b).size() >= seen + 4; }, kStepWait);
        AbortPrint();
    }

    // A row of the pause itself arms its fault just before the pause.
    static void Pause(Board *b, const Row &row) {
        if (row.moment == Moment::kPausing && row.arm) row.arm(b);
        PausePrint();
    }

    // Arms the fault once the board has the pause, and continues (or
    // aborts) once the library has met the fault for a few cycles. The host
    // waits meanwhile: its queue fills while the job is paused.
    static void StrikeWhilePaused(Board *b, const Row &row) {
        WaitUntil([b] { return CountDebug(b, swathboard::NET_DEBUG_PAUSE) >= 1; }, kStepWait);
        const size_t seen = DebugCount(b);
        if (row.moment == Moment::kPaused && row.arm) row.arm(b);
        WaitUntil([&] { return DebugCount(b) >= seen + 4 || BoardReportedCancel(b); }, kStepWait);
        if (row.op == Operator::kAbort)
            AbortPrint();
        else
            ContinuePrint();
    }

    // The link was cut under the next swath and the board stays away for a
    // while; the row's fault is armed while the library reconnects, so it
    // meets the first packets on the new link.
    static void StrikeWhileReconnecting(Board *b, const Row &row) {
        if (!WaitUntil([b] { return LinkWentDown(b); }, kStepWait)) return;
        if (row.arm) row.arm(b);
        if (row.op == Operator::kAbort) AbortOnceResent(b);
        // The operator pauses while the library reconnects.
        if (row.op == Operator::kContinue) {
            Pause(b, row);
            StrikeWhilePaused(b, row);
        }
    }

    void ExpectOwed(const Row &row, const CallLog &log, const Raster &raster) {
        const Board *b = board();
        if (row.arm || row.configure) {
            EXPECT_TRUE(FaultStruck(b) || log.start == 0) << "the fault never struck";
        }
        const auto stored = swathboard::StoredSwathNumbers(b);
        // Accepted once each, in the order sent, whatever the outcome.
        EXPECT_EQ(StoredInArrivalOrder(b), OneTo(static_cast<uint32_t>(stored.size())));
        EXPECT_EQ(log.end, 1);
        // A job the board stopped did not print completely; the host's own
        // abort is no surprise to it.
        EXPECT_EQ(log.close, row.owed == Owed::kBoardStops ? 0 : 1);
        const size_t jobEnds = swathboard::CountPackets(b, swathboard::NET_CMD_PRINT_END);
        switch (row.owed) {
        case Owed::kFinishes: {
            EXPECT_EQ(log.start, 1);
            EXPECT_EQ(log.firstRefusedLine, -1);
            EXPECT_EQ(stored, OneTo(SwathSerial() - 1));
            EXPECT_GE(jobEnds, 1u);
            const swathboard::Sheet sheet = PrintedSheet();
            const roundtrip::SheetDiff diff = roundtrip::CompareSheet(sheet, raster);
            EXPECT_EQ(diff.pixels, 0u) << diff.first;
            EXPECT_EQ(sheet.summary.doubled, 0u);
            if (row.op == Operator::kContinue) {
                EXPECT_GE(CountDebug(b, swathboard::NET_DEBUG_PAUSE), 1u);
                EXPECT_GE(CountDebug(b, swathboard::NET_DEBUG_CONTINUE), 1u);
            }
            break;
        }
        case Owed::kStartRefused:
            EXPECT_EQ(log.start, 0);
            EXPECT_EQ(log.linesAfterRefusedStart, 1);
            EXPECT_TRUE(stored.empty());
            EXPECT_EQ(swathboard::CountPackets(b, swathboard::NET_CMD_SWATH_CREATE), 0u);
            EXPECT_EQ(jobEnds, 0u);
            break;
        case Owed::kBoardStops:
            EXPECT_EQ(SwathAfterStop(b), 0u) << "a swath sent after the board stopped the job";
            [[fallthrough]];
        case Owed::kAbortedUnheard:
        case Owed::kAborted:
            EXPECT_EQ(log.start, 1);
            EXPECT_EQ(jobEnds, 0u);
            if (row.owed == Owed::kAborted) {
                EXPECT_GE(CountDebug(b, swathboard::NET_DEBUG_STOP), 1u);
            }
            // A stop that came before the last line is told to the host.
            if (row.moment == Moment::kMidSwath || row.moment == Moment::kPausing ||
                row.moment == Moment::kPaused) {
                EXPECT_GE(log.firstRefusedLine, 0);
            }
            break;
        }
    }

    void ExpectNothingLeft(const ProcessUsage &before, const ProcessUsage &after) {
        EXPECT_EQ(after.threads, before.threads) << Describe(before) << " -> " << Describe(after);
        EXPECT_EQ(after.descriptors, before.descriptors) << Describe(before) << " -> " << Describe(after);
        if (!kSanitized) {
            EXPECT_EQ(after.mappings, before.mappings) << Describe(before) << " -> " << Describe(after);
        }
    }
};

// Faults each command may meet, armed before the board listens.
template <uint8_t kCode, CommandFault::Kind kKind, uint32_t kCount, uint32_t kValue>
void Configure(BoardConfig *c) {
    c->command_faults.push_back({kKind, kCode, kCount, kValue});
}

constexpr uint8_t kCreate = swathboard::NET_CMD_JOB_CREATE, kStart = swathboard::NET_CMD_PRINT_START,
                  kSwath = swathboard::NET_CMD_SWATH_CREATE, kEnd = swathboard::NET_CMD_PRINT_END,
                  kDebug = swathboard::NET_CMD_DEBUG;

constexpr uint32_t kForever = 1000000;
constexpr int64_t kAfterAnswer = -1;  // a cut after the packet's answer, not in its data

// Cuts the link under the next swath after kAfter of its data bytes (or
// after its answer), and refuses connections for kRefuseMs.
template <int64_t kAfter, uint32_t kRefuseMs = 0>
void CutNextSwath(Board *b) {
    swathboard::ArmClose(b, {1, kAfter, kRefuseMs});
}

// Cuts the link as the next kCommand arrives (kAfter 0) or after its
// answer; armed before the board listens, or at the moment.
template <uint8_t kCommand, int64_t kAfter, uint32_t kRefuseMs = 0>
swathboard::CloseFault CutOn() {
    swathboard::CloseFault f;
    f.after_data_bytes = kAfter;
    f.refuse_ms = kRefuseMs;
    f.command = kCommand;
    return f;
}
template <uint8_t kCommand, int64_t kAfter, uint32_t kRefuseMs = 0>
void ConfigureCut(BoardConfig *c) {
    c->close = CutOn<kCommand, kAfter, kRefuseMs>();
}
template <uint8_t kCommand, int64_t kAfter, uint32_t kRefuseMs = 0>
void CutOnNext(Board *b) {
    swathboard::ArmClose(b, CutOn<kCommand, kAfter, kRefuseMs>());
}

// Data flows only with swaths: a cut mid-data cannot strike a command, and
// no swath goes out while paused, so the job-creation, print-start and
// paused columns are missing. ClosePrint sends a swath only in a one-pass
// job (see JobShape).
TEST_F(FaultMatrix, ConnectionDroppedMidData) {
    RunTable(kAddrFaultDropMidData, {
                                        {Moment::kMidSwath, nullptr, CutNextSwath<500>, Owed::kFinishes,
                                         Operator::kNone, "the swath is sent again on a new link"},
                                        {Moment::kEndPrintFlush, nullptr, CutNextSwath<0>, Owed::kFinishes,
                                         Operator::kNone, "cut before any data of a flushed swath"},
                                        {Moment::kClosePrint, nullptr, CutNextSwath<500>, Owed::kFinishes,
                                         Operator::kNone, "the one-pass job's last swath", true},
                                        {Moment::kReconnection, nullptr, CutNextSwath<500>, Owed::kFinishes,
                                         Operator::kNone, "the resent swath is cut again"},
                                    });
}

// The link goes as a command arrives (unanswered) or right after an answer;
// the command is sent again on the new link. The job end is the last packet:
// a cut after its answer cannot be told from the library's own close.
TEST_F(FaultMatrix, ConnectionDroppedBetweenPackets) {
    RunTable(kAddrFaultDropBetweenPackets,
             {
                 {Moment::kJobCreate, ConfigureCut<kCreate, 0>, nullptr, Owed::kFinishes, Operator::kNone,
                  "the job create goes unanswered"},
                 {Moment::kJobCreate, ConfigureCut<kCreate, kAfterAnswer>, nullptr, Owed::kFinishes,
                  Operator::kNone, "after the job create's answer"},
                 {Moment::kPrintStart, ConfigureCut<kStart, 0>, nullptr, Owed::kFinishes, Operator::kNone,
                  "the print start goes unanswered"},
                 {Moment::kPrintStart, ConfigureCut<kStart, kAfterAnswer>, nullptr, Owed::kFinishes,
                  Operator::kNone, "after the print start's answer"},
                 {Moment::kMidSwath, nullptr, CutNextSwath<kAfterAnswer>, Owed::kFinishes, Operator::kNone,
                  "after a swath's answer"},
                 {Moment::kPaused, nullptr, [](Board *b) { swathboard::DropConnection(b); }, Owed::kFinishes,
                  Operator::kContinue, "the paused job reconnects"},
                 {Moment::kEndPrintFlush, nullptr, CutNextSwath<kAfterAnswer>, Owed::kFinishes,
                  Operator::kNone, "after a flushed swath's answer"},
                 {Moment::kClosePrint, nullptr, CutOnNext<kEnd, 0>, Owed::kFinishes, Operator::kNone,
                  "the job end goes unanswered"},
                 {Moment::kClosePrint, nullptr, CutNextSwath<kAfterAnswer>, Owed::kFinishes, Operator::kNone,
                  "after the one-pass job's last swath's answer", true},
                 {Moment::kReconnection, nullptr, CutNextSwath<kAfterAnswer>, Owed::kFinishes,
                  Operator::kNone, "again after the resent swath's answer"},
             });
}

// The board stops listening for a while after the link goes. Refused when
// the job opens, StartPrint fails at once: it does not retry.
TEST_F(FaultMatrix, RefusedConnections) {
    RunTable(kAddrFaultRefusedConnections,
             {
                 {Moment::kJobCreate, [](BoardConfig *c) { c->refuse_connections_ms_at_start = 60000; },
                  nullptr, Owed::kStartRefused, Operator::kNone, "no board to open the job on"},
                 {Moment::kJobCreate, ConfigureCut<kCreate, 0, 60000>, nullptr, Owed::kStartRefused,
                  Operator::kNone, "the job create's link goes for good: StartPrint gives up"},
                 {Moment::kPrintStart, ConfigureCut<kStart, 0, 200>, nullptr, Owed::kFinishes,
                  Operator::kNone, "the print start's link goes, then refused for 200 ms"},
                 {Moment::kPrintStart, ConfigureCut<kStart, 0, 60000>, nullptr, Owed::kStartRefused,
                  Operator::kNone, "the print start's link goes for good: StartPrint gives up"},
                 {Moment::kMidSwath, nullptr, CutNextSwath<kAfterAnswer, 200>, Owed::kFinishes,
                  Operator::kNone, "reconnection attempts refused for 200 ms"},
                 {Moment::kPaused, nullptr,
                  [](Board *b) {
                      swathboard::RefuseConnections(b, 200);
                      swathboard::DropConnection(b);
                  },
                  Owed::kFinishes, Operator::kContinue, "the paused job reconnects once the board listens"},
                 {Moment::kEndPrintFlush, nullptr, CutNextSwath<500, 200>, Owed::kFinishes, Operator::kNone,
                  "cut mid-data, then refused"},
                 {Moment::kClosePrint, nullptr, CutNextSwath<500, 200>, Owed::kFinishes, Operator::kNone,
                  "the one-pass job's last swath cut, then refused", true},
                 {Moment::kClosePrint, nullptr, CutOnNext<kEnd, 0, 200>, Owed::kFinishes, Operator::kNone,
                  "the job end's link goes, then refused"},
                 {Moment::kClosePrint, nullptr, CutOnNext<kEnd, 0, 60000>, Owed::kFinishes, Operator::kNone,
                  "gone for good at the job end: ClosePrint stops waiting"},
                 {Moment::kReconnection, nullptr, [](Board *b) { swathboard::RefuseConnections(b, 300); },
                  Owed::kFinishes, Operator::kNone, "refused again while reconnecting"},
                 {Moment::kReconnection, nullptr, nullptr, Owed::kFinishes, Operator::kContinue,
                  "the operator pauses while the board refuses"},
                 {Moment::kReconnection, nullptr, [](Board *) { AbortPrint(); }, Owed::kAbortedUnheard,
                  Operator::kNone, "the operator aborts while the board refuses"},
             });
}

// Answers lost once or twice: every packet is sent again after its wait.
TEST_F(FaultMatrix, LostAnswers) {
    RunTable(
        kAddrFaultLostAnswers,
        {
            {Moment::kJobCreate, Configure<kCreate, CommandFault::kSilence, 2, 0>, nullptr, Owed::kFinishes,
             Operator::kNone, "the job create is sent again"},
            {Moment::kPrintStart, Configure<kStart, CommandFault::kSilence, 1, 0>, nullptr, Owed::kFinishes,
             Operator::kNone, "the print start is sent again"},
            {Moment::kMidSwath, nullptr, [](Board *b) { swathboard::SilenceNext(b, kSwath, 2); },
             Owed::kFinishes, Operator::kNone, "the board keeps the first copy only"},
            {Moment::kPausing, nullptr, [](Board *b) { swathboard::SilenceNext(b, kDebug, 1); },
             Owed::kFinishes, Operator::kContinue, "the pause's answer lost"},
            {Moment::kPaused, nullptr, [](Board *b) { swathboard::SilenceNext(b, kDebug, 2); },
             Owed::kFinishes, Operator::kContinue, "pause and sync answers lost"},
            {Moment::kEndPrintFlush, nullptr, [](Board *b) { swathboard::SilenceNext(b, kSwath, 2); },
             Owed::kFinishes, Operator::kNone, "a flushed swath's answers lost"},
            {Moment::kClosePrint, nullptr, [](Board *b) { swathboard::SilenceNext(b, kEnd, 1); },
             Owed::kFinishes, Operator::kNone, "the job end is sent again"},
            {Moment::kClosePrint, nullptr, [](Board *b) { swathboard::SilenceNext(b, kSwath, 1); },
             Owed::kFinishes, Operator::kNone, "the one-pass job's last swath is sent again", true},
            {Moment::kReconnection, nullptr, [](Board *b) { swathboard::SilenceNext(b, kSwath, 1); },
             Owed::kFinishes, Operator::kNone, "the resent swath's answer lost"},
            {Moment::kMidSwath, nullptr, [](Board *b) { swathboard::SilenceNext(b, kSwath, 8); },
             Owed::kFinishes, Operator::kNone, "lost through a reconnection: the swath goes on a new link"},
        });
}

// A board gone silent on swaths and on the operator's commands alike: only
// an abort ends the job, and the stop may not be heard.
void SilenceSwathsAndStops(Board *b) {
    swathboard::SilenceNext(b, kSwath, kForever);
    swathboard::SilenceNext(b, kDebug, kForever);
}

// A board that stops answering for good: the job cannot finish. Job set-up
// gives up within its command limit; during the job the operator aborts,
// and ClosePrint ends it within the limit of the unconfirmed cancel.
TEST_F(FaultMatrix, SilentBoard) {
    RunTable(
        kAddrFaultSilentBoard,
        {
            {Moment::kJobCreate, Configure<kCreate, CommandFault::kSilence, kForever, 0>, nullptr,
             Owed::kStartRefused, Operator::kNone, "StartPrint gives up"},
            {Moment::kPrintStart, Configure<kStart, CommandFault::kSilence, kForever, 0>, nullptr,
             Owed::kStartRefused, Operator::kNone, "StartPrint gives up"},
            {Moment::kMidSwath, nullptr, SilenceSwathsAndStops, Owed::kAbortedUnheard, Operator::kAbort,
             "the operator aborts"},
            {Moment::kPaused, nullptr, [](Board *b) { swathboard::SilenceNext(b, kDebug, kForever); },
             Owed::kAbortedUnheard, Operator::kAbort, "the operator aborts while paused"},
            {Moment::kEndPrintFlush, nullptr, SilenceSwathsAndStops, Owed::kAbortedUnheard, Operator::kAbort,
             "the operator aborts the flush"},
            {Moment::kClosePrint, nullptr, [](Board *b) { swathboard::SilenceNext(b, kEnd, kForever); },
             Owed::kFinishes, Operator::kNone, "every swath printed; ClosePrint stops waiting for the end"},
            {Moment::kReconnection, nullptr, SilenceSwathsAndStops, Owed::kAbortedUnheard, Operator::kAbort,
             "silent after the reconnection; the operator aborts"},
        });
}

// Answers that come after the library has sent the packet again: the late
// answer and the copy's answer must not complete two packets. Swaths are
// sent again after 20 ms and commands after 50 ms (scaled); seven copies
// without an answer make the library reconnect.
TEST_F(FaultMatrix, LateAnswers) {
    RunTable(kAddrFaultLateAnswers,
             {
                 {Moment::kJobCreate, Configure<kCreate, CommandFault::kDelay, 1, 80>, nullptr,
                  Owed::kFinishes, Operator::kNone, "the job create's answer after its resend"},
                 {Moment::kPrintStart, Configure<kStart, CommandFault::kDelay, 1, 80>, nullptr,
                  Owed::kFinishes, Operator::kNone, "the print start's answer after its resend"},
                 {Moment::kJobCreate, Configure<kCreate, CommandFault::kDelay, 1, 500>, nullptr,
                  Owed::kFinishes, Operator::kNone, "later than every resend: the job opens on a new link"},
                 {Moment::kMidSwath, nullptr, [](Board *b) { swathboard::DelayNext(b, kSwath, 2, 60); },
                  Owed::kFinishes, Operator::kNone, "swath answers after the resend"},
                 {Moment::kMidSwath, nullptr, [](Board *b) { swathboard::DelayNext(b, kSwath, 1, 400); },
                  Owed::kFinishes, Operator::kNone, "later than every resend: the swath goes on a new link"},
                 {Moment::kPausing, nullptr, [](Board *b) { swathboard::DelayNext(b, kDebug, 1, 80); },
                  Owed::kFinishes, Operator::kContinue, "the pause answered after its resend"},
                 {Moment::kPausing, nullptr, [](Board *b) { swathboard::DelayNext(b, kDebug, 1, 500); },
                  Owed::kFinishes, Operator::kContinue, "the pause answered later than every resend"},
                 {Moment::kPaused, nullptr, [](Board *b) { swathboard::DelayNext(b, kDebug, 3, 80); },
                  Owed::kFinishes, Operator::kContinue, "sync answers after their resends"},
                 {Moment::kEndPrintFlush, nullptr, [](Board *b) { swathboard::DelayNext(b, kSwath, 2, 60); },
                  Owed::kFinishes, Operator::kNone, "flushed swaths answered late"},
                 {Moment::kClosePrint, nullptr, [](Board *b) { swathboard::DelayNext(b, kEnd, 1, 80); },
                  Owed::kFinishes, Operator::kNone, "the job end answered late"},
                 {Moment::kClosePrint, nullptr, [](Board *b) { swathboard::DelayNext(b, kEnd, 1, 500); },
                  Owed::kFinishes, Operator::kNone, "the job end answered later than every resend"},
                 {Moment::kReconnection, nullptr, [](Board *b) { swathboard::DelayNext(b, kSwath, 1, 60); },
                  Owed::kFinishes, Operator::kNone, "the resent swath answered late"},
             });
}

// Refusals (status 1; 8 for a job create: the board still cancels an older
// job): each packet is sent again until it is accepted.
TEST_F(FaultMatrix, Refusals) {
    RunTable(kAddrFaultRefusals,
             {
                 {Moment::kJobCreate, Configure<kCreate, CommandFault::kRefuse, 2, 1>, nullptr,
                  Owed::kFinishes, Operator::kNone, "the job create is sent again"},
                 {Moment::kJobCreate, Configure<kCreate, CommandFault::kRefuse, 1, 8>, nullptr,
                  Owed::kFinishes, Operator::kNone, "an older job still being cancelled"},
                 {Moment::kJobCreate, Configure<kCreate, CommandFault::kRefuse, kForever, 1>, nullptr,
                  Owed::kStartRefused, Operator::kNone, "refused for good: StartPrint gives up"},
                 {Moment::kPrintStart, Configure<kStart, CommandFault::kRefuse, 2, 1>, nullptr,
                  Owed::kFinishes, Operator::kNone, "the print start is sent again"},
                 {Moment::kMidSwath, nullptr, [](Board *b) { swathboard::RefuseNext(b, kSwath, 2); },
                  Owed::kFinishes, Operator::kNone, "the swath is sent again"},
                 {Moment::kMidSwath, nullptr, [](Board *b) { swathboard::RefuseNext(b, kSwath, kForever); },
                  Owed::kAborted, Operator::kAbort, "refused for good: the operator aborts"},
                 {Moment::kPausing, nullptr, [](Board *b) { swathboard::RefuseNext(b, kDebug, 1); },
                  Owed::kFinishes, Operator::kContinue, "the pause refused"},
                 {Moment::kPaused, nullptr, [](Board *b) { swathboard::RefuseNext(b, kDebug, 2); },
                  Owed::kFinishes, Operator::kContinue, "the pause and syncs refused"},
                 {Moment::kEndPrintFlush, nullptr, [](Board *b) { swathboard::RefuseNext(b, kSwath, 2); },
                  Owed::kFinishes, Operator::kNone, "a flushed swath refused"},
                 {Moment::kClosePrint, nullptr, [](Board *b) { swathboard::RefuseNext(b, kEnd, 2); },
                  Owed::kFinishes, Operator::kNone, "the job end refused"},
                 {Moment::kReconnection, nullptr, [](Board *b) { swathboard::RefuseNext(b, kSwath, 1); },
                  Owed::kFinishes, Operator::kNone, "the resent swath refused"},
             });
}

// The board stops the job in a swath answer: a cancel on the printer, or a
// sequence-number error. Before the first swath there is nothing to stop,
// so those columns are missing; ClosePrint sends a swath only in a one-pass
// job (see JobShape); while paused only a cancel can come, in the answer to
// a sync.
template <swathboard::SwathFault kFault>
void StopInNextSwathAnswer(Board *b) {
    swathboard::InjectSwathFault(b, kFault, 1);
}

template <swathboard::SwathFault kFault>
std::vector<Row> BoardStopRows() {
    return {
        {Moment::kMidSwath, nullptr, StopInNextSwathAnswer<kFault>, Owed::kBoardStops, Operator::kNone,
         "PrintALine tells the host"},
        {Moment::kEndPrintFlush, nullptr, StopInNextSwathAnswer<kFault>, Owed::kBoardStops, Operator::kNone,
         "the flush stops"},
        {Moment::kClosePrint, nullptr, StopInNextSwathAnswer<kFault>, Owed::kBoardStops, Operator::kNone,
         "the one-pass job's last swath: no job end", true},
        {Moment::kReconnection, nullptr, StopInNextSwathAnswer<kFault>, Owed::kBoardStops, Operator::kNone,
         "the resent swath's answer stops the job"},
    };
}

TEST_F(FaultMatrix, PrinterCancel) {
    std::vector<Row> rows = BoardStopRows<swathboard::SwathFault::kPrinterCancel>();
    rows.push_back({Moment::kPaused, nullptr, [](Board *b) { swathboard::CancelNext(b, kDebug, 1); },
                    Owed::kBoardStops, Operator::kContinue, "cancelled on the printer while paused"});
    RunTable(kAddrFaultPrinterCancel, rows);
}

TEST_F(FaultMatrix, SequenceError) {
    RunTable(kAddrFaultSequenceError, BoardStopRows<swathboard::SwathFault::kSequenceError>());
}

// A swath wider than the printer prints: the operator is told and the job
// stops as for a cancel.
TEST_F(FaultMatrix, SwathTooWide) {
    RunTable(kAddrFaultTooWide, BoardStopRows<swathboard::SwathFault::kTooWide>());
}

// The parameter block travels only with the job create's answer.
TEST_F(FaultMatrix, DamagedParameterBlock) {
    RunTable(
        kAddrFaultDamagedBlock,
        {
            {Moment::kJobCreate, [](BoardConfig *c) { c->preset.markers = swathboard::Markers::kBroken; },
             nullptr, Owed::kStartRefused, Operator::kNone, "the block is rejected"},
            {Moment::kJobCreate,
             [](BoardConfig *c) {
                 // The first answer comes late with a good block; the
                 // answer to the resent copy is damaged and ignored.
                 c->command_faults.push_back({CommandFault::kDelay, kCreate, 1, 80});
                 c->later_job_create_presets.push_back(c->preset);
                 c->later_job_create_presets.back().markers = swathboard::Markers::kBroken;
             },
             nullptr, Owed::kFinishes, Operator::kNone, "a damaged block in a late copy's answer"},
        });
}

// A board that sends one answer too many: twice to one packet, or one that
// answers no packet. The library can no longer tell which answer belongs
// to which packet on that connection, so it believes none of them and
// reconnects; the swath in hand goes again and the board's sequence-number
// check keeps it once. A later fault (a slow answer, a refusal, a cut) then
// meets a count in step and costs no swath.
void ExtraSwathAnswer(Board *b) { swathboard::ExtraAnswerNext(b, kSwath, 1); }

uint32_t HighestSwathSN(const Board *b) {
    uint32_t highest = 0;
    for (const auto &r : swathboard::Packets(b))
        if (r.code == kSwath) highest = std::max(highest, Field(r, "SwathSN"));
    return highest;
}

// Two slow answers (each after the library's resend), and the link cut under
// the swath after them: a count one ahead takes the resent copy's answer for
// that swath's and releases it unsent.
void SlowAnswersThenCut(Board *b) {
    const uint32_t last = HighestSwathSN(b);
    swathboard::DelayNext(b, kSwath, 2, 60);
    swathboard::CloseFault cut;
    cut.swath_sn = last + 2;
    cut.after_data_bytes = 500;
    swathboard::ArmClose(b, cut);
}

template <uint8_t kCode>
void Unsolicited(Board *b) {
    swathboard::SendUnsolicited(b, {kCode, 0, 0});
}

TEST_F(FaultMatrix, ExtraAnswers) {
    RunTable(kAddrFaultExtraAnswers,
             {
                 {Moment::kJobCreate, Configure<kCreate, CommandFault::kAnswerTwice, 1, 0>, nullptr,
                  Owed::kFinishes, Operator::kNone, "the job create answered twice"},
                 {Moment::kPrintStart, Configure<kStart, CommandFault::kAnswerTwice, 1, 0>, nullptr,
                  Owed::kFinishes, Operator::kNone, "the print start answered twice"},
                 {Moment::kMidSwath, nullptr, ExtraSwathAnswer, Owed::kFinishes, Operator::kNone,
                  "a swath answered twice"},
                 {Moment::kMidSwath, nullptr, ExtraSwathAnswer, Owed::kFinishes, Operator::kNone,
                  "then slow answers, and the swath after them cut", false, SlowAnswersThenCut},
                 {Moment::kMidSwath, nullptr, ExtraSwathAnswer, Owed::kFinishes, Operator::kNone,
                  "then a slow answer", false, [](Board *b) { swathboard::DelayNext(b, kSwath, 1, 60); }},
                 {Moment::kMidSwath, nullptr, ExtraSwathAnswer, Owed::kFinishes, Operator::kNone,
                  "then a refusal", false, [](Board *b) { swathboard::RefuseNext(b, kSwath, 1); }},
                 {Moment::kMidSwath, nullptr, ExtraSwathAnswer, Owed::kFinishes, Operator::kNone,
                  "then a cut mid-data", false, CutNextSwath<500>},
                 {Moment::kMidSwath, nullptr, Unsolicited<kSwath>, Owed::kFinishes, Operator::kNone,
                  "an unsolicited swath answer"},
                 {Moment::kPausing, nullptr, [](Board *b) { swathboard::ExtraAnswerNext(b, kDebug, 1); },
                  Owed::kFinishes, Operator::kContinue, "the pause answered twice"},
                 {Moment::kPaused, nullptr, Unsolicited<kDebug>, Owed::kFinishes, Operator::kContinue,
                  "an unsolicited answer while paused"},
                 {Moment::kEndPrintFlush, nullptr, ExtraSwathAnswer, Owed::kFinishes, Operator::kNone,
                  "a flushed swath answered twice"},
                 {Moment::kClosePrint, nullptr, [](Board *b) { swathboard::ExtraAnswerNext(b, kEnd, 1); },
                  Owed::kFinishes, Operator::kNone, "the job end answered twice"},
                 {Moment::kReconnection, nullptr, ExtraSwathAnswer, Owed::kFinishes, Operator::kNone,
                  "the resent swath answered twice"},
             });
}

}  // namespace
}  // namespace sl::test
