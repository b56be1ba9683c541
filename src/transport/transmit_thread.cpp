// The transmit thread: the only sender on the link. It turns pause,
// continue and abort into NET_CMD_DEBUG commands, sends what the host side
// has built, and otherwise sends the ready swaths one at a time.
#include "transport/transmit_thread.h"

#include "files/request_dispatch.h"
#include "files/request_poll.h"
#include "link/tcp_link.h"
#include "platform/platform.h"
#include "shared/link_wait.h"
#include "transport/command_protocol.h"
#include "transport/net_codes.h"
#include "transport/packets.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

constexpr uint16_t kSyncLimit = 10;
constexpr uint32_t kIdlePollMs = 50;
constexpr uint16_t kIdleKeepAlive = 300;   // idle passes of kIdlePollMs, about 15 s
constexpr uint32_t kSwathReplyWaits = 40;  // of kReplyPollMs
constexpr uint32_t kReplyPollMs = 50;
constexpr uint8_t kSwathResends = 5;
constexpr uint32_t kSmallSwathBytes = 10240;
// Protocol pauses: before each command goes out; before a swath the board
// asked for again is resent; after a small swath, which the board takes
// faster than it prints.
constexpr uint32_t kCommandPauseMs = 500;
constexpr uint32_t kSwathResendPauseMs = 1000;
constexpr uint32_t kSmallSwathPauseMs = 100;
// The pause before the state machine takes up an abort or pause request
// that came in after this cycle's step: it waits for no other thread (the
// request is already there, and the next step turns it into the cancel or
// pause command), so it is a pause of the sender's cadence, kept so the
// board sees those commands when it always did.
constexpr uint32_t kHeldCycleMs = 100;
constexpr uint32_t kStateWaitMs = 100;  // a waiter's look at the job's end

bool Stopped(const JobLink *link) { return link->PrintStopFlag.load(); }
bool Ended(const JobLink *link) { return link->PrintEndFlag.load(); }

// A waiting state sends one sync per cycle; past the limit the state's own
// command is sent again.
bool SyncLimitPassed(JobLink *link) { return link->SyncCount.fetch_add(1) > kSyncLimit; }

void Sync(JobLink *link) { BuildNetCommand(link, NET_DEBUG_SYNCY); }

// Builds a state's command; the state is kept when the record is taken, so
// the command goes out on a later cycle.
bool BuildStateCommand(JobLink *link, uint8_t code, const char *note) {
    if (!BuildNetCommand(link, code)) return false;
    sl_trace("%s", note);
    link->SyncCount.store(0);
    return true;
}

void TakeCompanionRequest(JobLink *link) {
    PrintCfgRecord rec;
    if (PollCompanionRequest(link->statusFile, &rec, link->JobId.load()))
        CarryOutCompanionRequest(link->statusFile, &rec, link->job, link->JobId.load());
}

TxCommand SendPending(NetCommand *cmd, JobLink *link) {
    plat_sleep_ms(kCommandPauseMs);
    // An abort that came meanwhile ends the job with the cancel: a job end
    // sent ahead of it would close the job on the board uncancelled.
    if (cmd->packet[0] == NET_CMD_PRINT_END && AbortRequested(link)) {
        sl_trace("job end dropped: the job is aborted\n");
        SetCommandStatus(link, kCmdIdle);
        return TxCommand::Busy;
    }
    if (!SendUntilAnswered(cmd, link)) return TxCommand::Stop;
    SetCommandStatus(link, kCmdAnswered);
    return TxCommand::Busy;
}

}  // namespace

uint8_t PrintStateStep(JobLink *link, uint8_t state) {
    switch (state) {
    case TX_RUNNING: {
        link->SyncCount.store(0);
        uint8_t next = TX_RUNNING;
        if (PauseRequested(link)) next = TX_SEND_PAUSE;
        if (AbortRequested(link)) next = TX_SEND_CANCEL;
        if (Stopped(link)) next = TX_QUIT_STATUS;
        return next;
    }
    case TX_SEND_PAUSE:
        return BuildStateCommand(link, NET_DEBUG_PAUSE, "pause\r\n") ? uint8_t{TX_ALL_PAUSE} : state;
    case TX_ALL_PAUSE:
        if (AbortRequested(link)) return TX_SEND_CANCEL;
        if (!PauseRequested(link)) return TX_SEND_CONTINUE;
        if (SyncLimitPassed(link)) {
            sl_trace("timeout(%d*0.5s) unreach TX_ALL_PAUSE resend pause cmd\n", link->SyncCount.load());
            return TX_SEND_PAUSE;
        }
        Sync(link);
        return TX_ALL_PAUSE;
    case TX_SEND_CONTINUE:
        return BuildStateCommand(link, NET_DEBUG_CONTINUE, "continue\r\n") ? uint8_t{TX_ALL_RESUME} : state;
    case TX_ALL_RESUME: {
        const uint8_t next = PauseRequested(link) ? TX_ALL_RESUME : TX_RUNNING;
        if (SyncLimitPassed(link)) {
            sl_trace("timeout TX_ALL_RESUME syn, resend\n");
            return TX_SEND_CONTINUE;
        }
        Sync(link);
        return next;
    }
    case TX_SEND_CANCEL:
        return BuildStateCommand(link, NET_DEBUG_STOP, "cancel\r\n") ? uint8_t{TX_ALL_CANCEL} : state;
    case TX_ALL_CANCEL:
        if (AbortRequested(link) && Stopped(link)) return TX_QUIT_STATUS;
        if (SyncLimitPassed(link)) {
            sl_trace("timeout syn TX_ALL_CANCEL resend\n");
            return TX_SEND_CANCEL;
        }
        Sync(link);
        return TX_ALL_CANCEL;
    case TX_QUIT_STATUS:
        sl_trace("exit,TX_QUIT_STATUS\n");
        EndLink(link);
        return TX_QUIT_STATUS;
    default: sl_trace("undefined state %d\r\n", state); return TX_RUNNING;
    }
}

TxCommand TransmitCommandStep(JobLink *link) {
    // A command the host side built goes out before the state machine
    // builds its next one.
    if (NetCommand *cmd = GetPendingCommand(link)) return SendPending(cmd, link);

    SetTxState(link, PrintStateStep(link, link->txState.load()));
    if (link->txState.load() == TX_QUIT_STATUS) {
        // The quit state ends the link for every thread, now: this thread
        // does not come back for another step.
        PrintStateStep(link, TX_QUIT_STATUS);
        return TxCommand::Stop;
    }
    if (NetCommand *cmd = GetPendingCommand(link)) return SendPending(cmd, link);
    return PauseRequested(link) || link->txState.load() != TX_RUNNING ? TxCommand::Busy : TxCommand::Idle;
}

bool SendSwath(JobLink *link, SwathEntry *e) {
    uint8_t packet[kPacketBytes];
    if (AbortRequested(link) || !SettleEarlierAnswers(link)) return false;
    BuildSwathPacket(packet, e, link);
    AwaitAnswer(link, NET_CMD_SWATH_CREATE);
    uint8_t retry = 0;

    for (;;) {
        link->ResendReq.store(false);
        while (!link->ReplyOk.load()) {
            for (;;) {
                if (Ended(link) || Stopped(link) || AbortRequested(link)) return false;
                if (!link->reconnecting.load()) break;
                WaitForChange(link->changed, kStateWaitMs, [link] {
                    return !link->reconnecting.load() || Ended(link) || Stopped(link);
                });
            }
            // Packet and data go on one connection, or not at all.
            const PlatSocket s = link->socket.load();
            if (const int error = SendPacket(link, s, packet); error != 0) {
                sl_trace("NET_CMD_SWATH_CREATE Fail, WSAGetLastError=%d\r\n", -error);
                retry = 0;
                break;
            }
            if (const int sent = e->Len ? LinkSendData(s, e->Data, static_cast<int>(e->Len)) : 0; sent < 0) {
                sl_trace("send data fail, WSAGetLastError=%d\r\n", -sent);
                retry = 0;
                break;
            }
            TakeCompanionRequest(link);

            // The receive thread wakes this wait as soon as it has taken a
            // reply; without one it ends after the polls it always had.
            const uint32_t limit = kSwathReplyWaits * plat_scaled_ms(kReplyPollMs);
            const uint32_t started = plat_ticks_ms();
            for (;;) {
                const uint32_t seen = plat_signal_count(link->answered);
                if (Ended(link) || Stopped(link)) return false;
                // Checked before the answer: an answer taken just before the
                // count was seen out of step may be another packet's.
                if (CountOutOfStep(link)) break;
                if (link->ResendReq.load()) {
                    retry = 0;
                    plat_sleep_ms(kSwathResendPauseMs);
                    break;
                }
                if (link->ReplyOk.load() || plat_ticks_ms() - started >= limit) break;
                plat_signal_wait(link->answered, seen, plat_scaled_ms(kReplyPollMs));
            }
            if (CountOutOfStep(link)) break;
            if (retry > 0) sl_trace("Resend %d\n", retry);
            if (retry++ > kSwathResends) {
                retry = 0;
                break;
            }
        }
        if (CountOutOfStep(link)) {
            // The swath goes again on a new connection; the board's
            // sequence-number check tells a copy it already has.
            if (!RestartOutOfStepCount(link)) return false;
            AwaitAnswer(link, NET_CMD_SWATH_CREATE);
            retry = 0;
            continue;
        }
        if (link->ReplyOk.load()) break;
        if (retry == 0 && ReplaceConnection(link) == Reconnect::Ended) return false;
    }

    if (e->Len < kSmallSwathBytes) plat_sleep_ms(kSmallSwathPauseMs);
    return true;
}

TxSwath TransmitSwathStep(JobLink *link) {
    SwathEntry *e = QueueGetReady(link);
    if (!e) return TxSwath::NoneReady;
    if (!SendSwath(link, e)) return TxSwath::NotSent;
    QueueFree(link, e);
    return TxSwath::Sent;
}

int TransmitThread(void *arg) {
    auto *link = static_cast<JobLink *>(arg);
    uint16_t idle = 0;
    for (;;) {
        if (!link->TxEnable.load() || Ended(link)) break;
        if (link->reconnecting.load()) {
            if (AbortRequested(link)) EndLink(link);
            WaitForChange(link->changed, kStateWaitMs, [link] {
                return !link->reconnecting.load() || Ended(link) || !link->TxEnable.load();
            });
            continue;
        }
        if (PauseRequested(link)) TakeCompanionRequest(link);

        const TxCommand r = TransmitCommandStep(link);
        if (r == TxCommand::Busy) {
            idle = 0;
            continue;
        }
        if (r == TxCommand::Stop) {
            if (link->reconnecting.load()) continue;
            break;
        }
        if (AbortRequested(link) || PauseRequested(link)) {
            plat_sleep_ms(kHeldCycleMs);
            continue;
        }

        const uint32_t seen = plat_signal_count(link->queue.ready);
        const TxSwath s = TransmitSwathStep(link);
        if (s == TxSwath::NoneReady) {
            // Woken as soon as a swath is published; only a whole idle pass
            // counts towards the keep-alive.
            const bool woken = plat_signal_wait(link->queue.ready, seen, plat_scaled_ms(kIdlePollMs)) == 0;
            if (!woken && idle++ > kIdleKeepAlive) {
                idle = 0;
                // Never in place of a command the host side is waiting for.
                if (link->command.CmdStatus.load() != kCmdPending) Sync(link);
            }
        } else if (s == TxSwath::Sent) {
            idle = 0;
        } else {
            link->ErrorCode.store(kLinkErrorSwathNotSent);
        }
        if (Stopped(link)) break;
    }
    sl_trace("errorcode:%d = Tx thread end!\r\n", link->ErrorCode.load());
    link->TxEnded.store(true);
    plat_signal_raise(link->changed);
    return 0;
}

}  // namespace sl
