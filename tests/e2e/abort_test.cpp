// An abort always reaches the board: whenever it comes, and however soon the
// host closes the job after it, the board is told NET_DEBUG_STOP before the
// link goes, never a job end; ClosePrint returns within a bound whatever the
// board does.
#include "job_fixture.h"
#include "link/tcp_link.h"
#include "support/default_printer.h"
#include "support/test_addresses.h"
#include "transport/command_protocol.h"
#include "transport/net_codes.h"
#include "transport/swath_queue.h"

namespace sl::test {
namespace {

bool QueueFull() { return QueueHandedOut(&JobLinkOf()) == 2; }

// Longest a ClosePrint may take after an abort: the wait for the cancel's
// confirmation, the fixed waits of the close and a connect attempt, and room
// for a loaded machine.
std::chrono::milliseconds CloseBound() {
    return std::chrono::milliseconds(CommandLimitMs() + plat_scaled_ms(20000) + 3000);
}

// The host's thread: runs one entry point and says when it has returned.
class HostCall {
public:
    explicit HostCall(std::function<void()> call)
        : thread_([this, call] {
              call();
              done_ = true;
          }) {}
    ~HostCall() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_; }
    bool DoneWithin(std::chrono::milliseconds limit) {
        return WaitUntil([&] { return done_.load(); }, limit);
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class Abort : public Job {
public:
    // The moments below drive the job as the host does.
    using Job::board;
    using Job::inked_;
    using Job::Lines;
    using Job::Request;

    // ClosePrint as the host calls it, timed; fails the test past the bound.
    std::chrono::milliseconds Close() {
        const auto start = std::chrono::steady_clock::now();
        HostCall close([] { ClosePrint(); });
        EXPECT_TRUE(close.DoneWithin(CloseBound())) << "ClosePrint did not return";
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     start);
    }
    // The board saw the cancel and no job end.
    void ExpectCancelledOnTheBoard() {
        EXPECT_GE(CountDebug(board(), NET_DEBUG_STOP), 1u);
        EXPECT_EQ(swathboard::CountPackets(board(), NET_CMD_PRINT_END), 0u);
    }
    void PauseAndWait() {
        ASSERT_EQ(PausePrint(), 1);
        ASSERT_TRUE(WaitUntil([&] { return CountDebug(board(), NET_DEBUG_PAUSE) >= 1; }));
    }
};

struct Moment {
    const char *name;
    // Brings the running job to the moment and aborts it there; returns
    // once the host has learnt of the abort, as a RIP would before closing.
    void (*abort)(Abort *t);
};

void WhilePrinting(Abort *t) {
    Feeder host([&] { return PrintALine(t->inked_.data(), kLineBytes); });
    ASSERT_TRUE(swathboard::WaitForPackets(t->board(), NET_CMD_SWATH_CREATE, 2, 10s));
    ASSERT_EQ(AbortPrint(), 1);
    ASSERT_TRUE(WaitUntil([&] { return host.done(); }));
}

void WhilePaused(Abort *t) {
    ASSERT_EQ(t->Lines(300, true), 1);
    t->PauseAndWait();
    ASSERT_EQ(AbortPrint(), 1);
    ASSERT_EQ(PrintALine(t->inked_.data(), kLineBytes), 0);
}

void WhileTheHostWaitsForQueueSpace(Abort *t) {
    t->PauseAndWait();
    Feeder host([&] { return PrintALine(t->inked_.data(), kLineBytes); });
    ASSERT_TRUE(WaitUntil([&] { return QueueFull(); }));
    ASSERT_FALSE(host.done());
    ASSERT_EQ(AbortPrint(), 1);
    ASSERT_TRUE(WaitUntil([&] { return host.done(); }));
}

void DuringEndPrintsFlush(Abort *t) {
    // A few inked lines, then the flush while paused: the flush's swaths
    // carry the last lines' later passes and fill the queue.
    t->PauseAndWait();
    std::atomic<bool> flushing{false};
    HostCall host([&] {
        t->Lines(400, true);
        flushing = true;
        EndPrint();
    });
    ASSERT_TRUE(WaitUntil([&] { return flushing.load() && QueueFull(); }))
        << "the flush never filled the queue";
    ASSERT_FALSE(host.done());
    ASSERT_EQ(AbortPrint(), 1);
    ASSERT_TRUE(host.DoneWithin(10s));
}

void FromTheCompanion(Abort *t) {
    Feeder host([&] { return PrintALine(t->inked_.data(), kLineBytes); });
    ASSERT_TRUE(swathboard::WaitForPackets(t->board(), NET_CMD_SWATH_CREATE, 1, 10s));
    t->Request(NET_DEBUG_STOP);  // taken after the next swath
    ASSERT_TRUE(WaitUntil([&] { return host.done(); }));
}

TEST_F(Abort, TheBoardIsToldBeforeTheLinkCloses) {
    const Moment moments[] = {
        {"while printing", WhilePrinting},
        {"while paused", WhilePaused},
        {"while the host waits for queue space", WhileTheHostWaitsForQueueSpace},
        {"during EndPrint's flush", DuringEndPrintsFlush},
        {"from the companion", FromTheCompanion},
    };
    uint32_t address = kAddrAbortMomentsFirst;
    for (const Moment &m : moments) {
        for (const bool closeAtOnce : {true, false}) {
            SCOPED_TRACE(std::string(m.name) + (closeAtOnce ? ", closed at once" : ", closed later"));
            Begin(TestIp(address++));
            m.abort(this);
            if (!closeAtOnce) std::this_thread::sleep_for(300ms);
            Close();
            ExpectCancelledOnTheBoard();
            EXPECT_EQ(TxThreadLeft(), nullptr);
            EXPECT_EQ(SocketLeft(), kInvalidSocket);
            board_.reset();
        }
    }
}

TEST_F(Abort, DuringAReconnectionEndsAtOnce) {
    Begin(TestIp(kAddrAbortDuringReconnection));
    ASSERT_EQ(Lines(300, true), 1);
    swathboard::RefuseConnections(board(), 60000);
    swathboard::DropConnection(board());
    ASSERT_TRUE(WaitUntil([&] { return JobLinkOf().reconnecting.load(); }));
    ASSERT_EQ(AbortPrint(), 1);
    Close();
    EXPECT_EQ(swathboard::CountPackets(board(), NET_CMD_PRINT_END), 0u);
}

TEST_F(Abort, ABoardThatNeverConfirmsIsLeftAfterTheBound) {
    swathboard::BoardConfig config;
    config.stop_print_status = 0;  // the cancel is answered but never confirmed
    Begin(TestIp(kAddrAbortNeverConfirmed), config);
    ASSERT_EQ(Lines(300, true), 1);
    ASSERT_EQ(AbortPrint(), 1);
    const auto took = Close();
    EXPECT_GE(took.count(), CommandLimitMs());
    ExpectCancelledOnTheBoard();
}

// Without an abort, ClosePrint waits for the operator of a paused job and
// for a board that has gone away; an abort from another thread ends either
// wait, and the job is cancelled where a board can still hear it.
TEST_F(Abort, ReleasesAClosePrintThatWaits) {
    const struct {
        const char *name;
        void (*hold)(Abort *t);
        bool boardHears;
    } cases[] = {
        {"paused", [](Abort *t) { t->PauseAndWait(); }, true},
        {"board unreachable",
         [](Abort *t) {
             swathboard::RefuseConnections(t->board(), 60000);
             swathboard::DropConnection(t->board());
             ASSERT_TRUE(WaitUntil([&] { return JobLinkOf().reconnecting.load(); }));
         },
         false},
    };
    uint32_t address = kAddrAbortReleasesCloseFirst;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Begin(TestIp(address++));
        ASSERT_EQ(Lines(300, true), 1);
        c.hold(this);
        HostCall close([] { ClosePrint(); });
        EXPECT_FALSE(close.DoneWithin(300ms)) << "ClosePrint did not wait";
        ASSERT_EQ(AbortPrint(), 1);
        EXPECT_TRUE(close.DoneWithin(CloseBound()));
        if (c.boardHears) ExpectCancelledOnTheBoard();
        EXPECT_EQ(swathboard::CountPackets(board(), NET_CMD_PRINT_END), 0u);
        board_.reset();
    }
}

}  // namespace
}  // namespace sl::test
