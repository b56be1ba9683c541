// Consecutive jobs in one process, each in a random mode with a random link
// fault or operator action, as a RIP that runs for days would drive the
// library. Every job must end as a sound driver owes (all swaths received
// once and in order, or a clean stop), and the process must not grow:
// resident memory, open descriptors and threads stay flat.
//
// SWATHLINK_SOAK_JOBS sets the number of jobs (default 30); SWATHLINK_SOAK_SEED
// the random seed (default: the time, printed so a run can be repeated).
#include <cstdio>
#include <random>
#include <thread>

#include "e2e/board_fixture.h"
#include "link/tcp_link.h"
#include "support/default_printer.h"
#include "support/process_usage.h"
#include "support/test_addresses.h"
#include "swathlink/swathlink.h"
#include "transport/net_codes.h"

namespace sl::test {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizer keeps freed memory aside
#else
constexpr bool kSanitized = false;
#endif

uint32_t EnvOr(const char *name, uint32_t fallback) {
    const char *v = std::getenv(name);
    return v && *v ? static_cast<uint32_t>(std::strtoul(v, nullptr, 10)) : fallback;
}

struct Mode {
    uint32_t xdpi, ydpi;
};
constexpr Mode kModes[] = {{360, 360}, {360, 720}, {720, 720}, {720, 1440}, {1440, 1440}, {540, 1080}};

enum class Fault {
    None,
    DropMidData,
    DropAfterAnswer,
    Silence,
    Late,
    Refusals,
    RefuseConnections,
    PrinterCancel,
    Abort,
    PauseAndContinue
};
constexpr Fault kFaults[] = {
    Fault::None,  Fault::DropMidData,     Fault::DropAfterAnswer,   Fault::Silence,
    Fault::Late,  Fault::Refusals,        Fault::RefuseConnections, Fault::PrinterCancel,
    Fault::Abort, Fault::PauseAndContinue};
constexpr const char *kFaultNames[] = {"none",  "drop mid-data",     "drop after an answer", "silence",
                                       "late",  "refusals",          "refused connections",  "printer cancel",
                                       "abort", "pause and continue"};

class Soak : public BoardTest {
protected:
    void SetUp() override { MakeFolder(); }

    // One job from InitPrinter to ClosePrint; the fault strikes after the
    // first swath has reached the board.
    void RunJob(std::mt19937 &rng, uint32_t index) {
        const Mode mode = kModes[rng() % std::size(kModes)];
        const Fault fault = kFaults[rng() % std::size(kFaults)];
        const uint16_t colors = static_cast<uint16_t>(1 + rng() % 4);
        const uint32_t width = 256 + 64 * (rng() % 8);
        const uint32_t bytes = width / 4;
        swathboard::BoardConfig config;
        config.preset.dir_mode = rng() % 2 ? swathboard::kDirModeBidirectional : 0;
        SCOPED_TRACE("job " + std::to_string(index) + ": " + std::to_string(mode.xdpi) + "x" +
                     std::to_string(mode.ydpi) + ", " + std::to_string(colors) + " colours, " +
                     (config.preset.dir_mode ? "bidirectional, " : "") +
                     kFaultNames[static_cast<int>(fault)]);

        StartBoardAt(TestIp(kAddrSoak), config);
        WriteAddresses(TestIp(kAddrSoak));
        ASSERT_EQ(InitPrinter(), 1);
        const JobProp job = JobRecord(mode.xdpi, mode.ydpi, width, bytes, colors, 4 * mode.ydpi);
        ASSERT_EQ(StartPrint(&job), 1);

        std::vector<uint8_t> line(size_t{colors} * bytes);
        for (auto &b : line) b = static_cast<uint8_t>(rng());
        const uint32_t lines = 3 * mode.ydpi;
        bool accepted = true;
        for (uint32_t i = 0; i < lines && accepted; ++i) {
            accepted = PrintALine(line.data(), static_cast<uint32_t>(line.size())) == 1;
            if (i == lines / 3) Strike(fault);
        }
        EndPrint();
        if (operator_.joinable()) operator_.join();
        // A job the printer cancelled is not reported as printed.
        ASSERT_EQ(ClosePrint(), fault == Fault::PrinterCancel ? 0 : 1);

        EXPECT_EQ(TxThreadLeft(), nullptr);
        EXPECT_EQ(RxThreadLeft(), nullptr);
        EXPECT_EQ(SocketLeft(), kInvalidSocket);
        const auto stored = swathboard::StoredSwathNumbers(board());
        EXPECT_EQ(StoredInArrivalOrder(board()), OneTo(static_cast<uint32_t>(stored.size())));
        if (fault == Fault::Abort) {
            EXPECT_GE(CountDebug(board(), NET_DEBUG_STOP), 1u);
            EXPECT_EQ(swathboard::CountPackets(board(), NET_CMD_PRINT_END), 0u);
        } else if (fault != Fault::PrinterCancel) {
            EXPECT_TRUE(accepted);
            EXPECT_EQ(stored, OneTo(SwathSerial() - 1));
            // Once, or again when its answer was late on a loaded machine.
            EXPECT_GE(swathboard::CountPackets(board(), NET_CMD_PRINT_END), 1u);
        }
        board_.reset();
    }

    void Strike(Fault fault) {
        swathboard::Board *b = board();
        switch (fault) {
        case Fault::None: break;
        case Fault::DropMidData: swathboard::ArmClose(b, {1, 500, 0}); break;
        case Fault::DropAfterAnswer: swathboard::ArmClose(b, {1, -1, 0}); break;
        case Fault::Silence: swathboard::SilenceNext(b, NET_CMD_SWATH_CREATE, 1); break;
        case Fault::Late: swathboard::DelayNext(b, NET_CMD_SWATH_CREATE, 2, 80); break;
        case Fault::Refusals: swathboard::RefuseNext(b, NET_CMD_SWATH_CREATE, 2); break;
        case Fault::RefuseConnections: swathboard::ArmClose(b, {1, -1, 100}); break;
        case Fault::PrinterCancel:
            swathboard::InjectSwathFault(b, swathboard::SwathFault::kPrinterCancel, 1);
            break;
        case Fault::Abort: AbortPrint(); break;
        case Fault::PauseAndContinue:
            // The operator continues once the board has paused; meanwhile
            // the host fills the queue and waits.
            PausePrint();
            operator_ = std::thread([b] {
                WaitUntil([b] { return CountDebug(b, NET_DEBUG_PAUSE) >= 1; });
                ContinuePrint();
            });
            break;
        }
    }

    std::thread operator_;
};

TEST_F(Soak, ConsecutiveJobsLeaveNothingBehind) {
    const uint32_t jobs = EnvOr("SWATHLINK_SOAK_JOBS", 30);
    const uint32_t seed = EnvOr("SWATHLINK_SOAK_SEED", static_cast<uint32_t>(std::random_device{}()));
    std::printf("soak: %u jobs, SWATHLINK_SOAK_SEED=%u\n", jobs, seed);
    std::mt19937 rng(seed);
    // A few jobs first, so buffers the run keeps for good are counted.
    const uint32_t warmUp = std::min<uint32_t>(3, jobs);
    for (uint32_t i = 0; i < warmUp; ++i) RunJob(rng, i);
    const ProcessUsage before = MeasureProcess();
    for (uint32_t i = warmUp; i < jobs && !HasFatalFailure(); ++i) RunJob(rng, i);
    const ProcessUsage after = MeasureProcess();
    std::printf("soak: resident %ld -> %ld kB, descriptors %zu -> %zu, threads %zu -> %zu\n",
                before.residentKb, after.residentKb, before.descriptors, after.descriptors, before.threads,
                after.threads);
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_EQ(after.threads, before.threads);
    // Allocator caches may settle a little; a leak grows with every job.
    if (!kSanitized) {
        EXPECT_LT(after.residentKb - before.residentKb, 16 * 1024);
    }
}

}  // namespace
}  // namespace sl::test
