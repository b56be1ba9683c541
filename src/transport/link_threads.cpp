// Start and stop of the job's worker threads. Threads are never killed:
// each ends on PrintEndFlag, and shutting the socket down wakes the one
// blocked in a receive.
#include "transport/link_threads.h"

#include "transport/command_protocol.h"
#include "transport/net_codes.h"
#include "transport/receive_thread.h"
#include "transport/transmit_thread.h"

#include "files/shared_status.h"
#include "link/tcp_link.h"
#include "platform/platform.h"
#include "shared/link_wait.h"
#include "transport/command_protocol.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

constexpr uint32_t kStopNoteMs = 2200;  // a thread still running after this is noted

// Waits, woken by the thread's end, and notes one that is late.
void AwaitEnd(LinkContext *link, const std::atomic<bool> &ended, const char *lateNote) {
    if (WaitForChange(link->changed, kStopNoteMs, [&ended] { return ended.load(); })) return;
    sl_trace("%s", lateNote);
    while (!WaitForChange(link->changed, kStopNoteMs, [&ended] { return ended.load(); })) {}
}

void Join(PlatThread *&t) {
    plat_thread_join(t);
    t = nullptr;
}

}  // namespace

Status StartLinkThreads(JobLink *link) {
    link->TxEnable.store(true);
    link->TxEnded.store(false);
    link->TxThread = plat_thread_start(TransmitThread, link);
    if (!link->TxThread) {
        sl_trace("Create Tx thread fail!!!\r\n");
        link->TxEnable.store(false);
        link->TxEnded.store(true);
        return Status::Bad(StatusCode::Failed, "the link's threads could not start");
    }
    link->RxEnable.store(true);
    link->RxEnded.store(false);
    link->RxThread = plat_thread_start(ReceiveThread, link);
    if (!link->RxThread) {
        sl_trace("Create Rx thread fail!!!\r\n");
        link->RxEnable.store(false);
        link->RxEnded.store(true);
        // The caller closes the connection next: the sender must be gone.
        StopLinkThreads(link);
        return Status::Bad(StatusCode::Failed, "the link's threads could not start");
    }
    // Nothing depends on the heartbeat; a job runs without it.
    link->HeartThread = plat_thread_start(HeartbeatThread, &link->heartbeat);
    return Status::Good();
}

void StopLinkThreads(JobLink *link) {
    EndLink(link);
    link->TxEnable.store(false);
    link->RxEnable.store(false);
    plat_socket_shutdown(link->socket.load());
    if (link->TxThread) {
        AwaitEnd(link, link->TxEnded, "Tx thread close Delay.........Terminate......\r\n");
        Join(link->TxThread);
    }
    if (link->RxThread) {
        AwaitEnd(link, link->RxEnded, "Rx thread close Delay.........Terminate......\r\n");
        Join(link->RxThread);
    }
    if (link->HeartThread) Join(link->HeartThread);
    link->TxEnded.store(true);
    link->RxEnded.store(true);
    sl_trace("Close all Thread!!\r\n");
}

}  // namespace sl

namespace sl {

namespace {

constexpr uint32_t kCancelLookMs = 10;  // a look at the command limit
// The board's pause between a job's last answer and the connection's end.
constexpr uint32_t kJobEndPauseMs = 100;

// An aborted job is closed on the board by the print-state machine: it sends
// NET_DEBUG_STOP (again every twelve cycles) until the board confirms the
// cancel, which ends the transmit thread. The link stays open until then,
// or until the command limit has passed for a board that never confirms.
void AwaitCancel(JobLink *link) {
    const uint32_t limit = CommandLimitMs();
    const uint32_t started = plat_ticks_ms();
    while (!link->PrintEndFlag.load() && !link->TxEnded.load()) {
        if (plat_ticks_ms() - started >= limit) {
            sl_trace("ClosePrint: cancel not confirmed within %u ms\n", limit);
            return;
        }
        WaitForChange(link->changed, kCancelLookMs,
                      [link] { return link->PrintEndFlag.load() || link->TxEnded.load(); });
    }
    if (link->txState.load() == TX_QUIT_STATUS)
        sl_trace("ClosePrint: cancel confirmed\n");
    else
        sl_trace("ClosePrint: link ended before the cancel was confirmed\n");
}

// Read once the threads are stopped, when nothing changes the flags or the
// queue any more. The host's own abort comes first: the board confirms it
// with the same stop it uses for a cancel of its own.
JobOutcome OutcomeOf(const JobLink *link) {
    if (AbortRequested(link)) return JobOutcome::HostAborted;
    if (link->PrintStopFlag.load()) {
        sl_trace("ClosePrint: the board stopped the job\n");
        return JobOutcome::BoardStopped;
    }
    if (const uint32_t left = QueueHandedOut(link)) {
        sl_trace("ClosePrint: %u swaths never reached the board\n", left);
        return JobOutcome::NotDelivered;
    }
    return JobOutcome::Printed;
}

}  // namespace

JobOutcome CloseJobLink(JobLink *link) {
    if (!link->PrintStopFlag.load()) {
        FlushLastSwath(link);
        WaitAllSwathFinish(link);
        if (!AbortRequested(link)) CarryHostCommand(NET_CMD_PRINT_END, link);
    }
    if (AbortRequested(link)) AwaitCancel(link);
    plat_sleep_ms(kJobEndPauseMs);
    StopLinkThreads(link);
    CloseConnection(link, link->socket.load());
    return OutcomeOf(link);
}

}  // namespace sl
