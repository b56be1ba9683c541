// The transmit thread: the only sender on the link. It turns pause,
// continue and abort into NET_CMD_DEBUG commands, sends what the host side
// has built, and otherwise sends the ready swaths one at a time.
#include "transport/transmit_thread.h"

#include "files/request_dispatch.h"
#include "files/request_poll.h"
#include "link/tcp_link.h"
#include "platform/platform.h"
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

bool Stopped(const LinkContext *link) { return link->PrintStopFlag.load() == 1; }
bool Ended(const LinkContext *link) { return link->PrintEndFlag.load() == 1; }

// A waiting state sends one sync per cycle; past the limit the state's own
// command is sent again.
bool SyncLimitPassed(LinkContext *link) { return link->SyncCount.fetch_add(1) > kSyncLimit; }

void Sync(LinkContext *link) { BuildNetCommand(link, NET_DEBUG_SYNCY); }

// Builds a state's command; the state is kept when the record is taken, so
// the command goes out on a later cycle.
bool BuildStateCommand(LinkContext *link, uint8_t code, const char *note) {
    if (!BuildNetCommand(link, code)) return false;
    sl_trace("%s", note);
    link->SyncCount.store(0);
    return true;
}

void TakeCompanionRequest(LinkContext *link) {
    PrintCfgRecord rec;
    if (PrintCfgPollRequest(&rec, link)) PrintCfgDispatch(&rec, link);
}

TxCommand SendPending(NetCommand *cmd, LinkContext *link) {
    plat_sleep_ms(500);
    // An abort that came meanwhile ends the job with the cancel: a job end
    // sent ahead of it would close the job on the board uncancelled.
    if (cmd->packet[0] == NET_CMD_PRINT_END && AbortRequested()) {
        sl_trace("job end dropped: the job is aborted\n");
        cmd->CmdStatus.store(kCmdIdle);
        return TxCommand::Busy;
    }
    if (!Kt_SendNetCommand(cmd, link)) return TxCommand::Stop;
    cmd->CmdStatus.store(kCmdAnswered);
    return TxCommand::Busy;
}

}  // namespace

uint8_t PrintStateStep(LinkContext *link, uint8_t state) {
    switch (state) {
    case TX_RUNNING: {
        link->SyncCount.store(0);
        uint8_t next = TX_RUNNING;
        if (PauseRequested()) next = TX_SEND_PAUSE;
        if (AbortRequested()) next = TX_SEND_CANCEL;
        if (Stopped(link)) next = TX_QUIT_STATUS;
        return next;
    }
    case TX_SEND_PAUSE:
        return BuildStateCommand(link, NET_DEBUG_PAUSE, "pause\r\n") ? uint8_t{TX_ALL_PAUSE} : state;
    case TX_ALL_PAUSE:
        if (AbortRequested()) return TX_SEND_CANCEL;
        if (!PauseRequested()) return TX_SEND_CONTINUE;
        if (SyncLimitPassed(link)) {
            sl_trace("timeout(%d*0.5s) unreach TX_ALL_PAUSE resend pause cmd\n", link->SyncCount.load());
            return TX_SEND_PAUSE;
        }
        Sync(link);
        return TX_ALL_PAUSE;
    case TX_SEND_CONTINUE:
        return BuildStateCommand(link, NET_DEBUG_CONTINUE, "continue\r\n") ? uint8_t{TX_ALL_RESUME} : state;
    case TX_ALL_RESUME: {
        const uint8_t next = PauseRequested() ? TX_ALL_RESUME : TX_RUNNING;
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
        if (AbortRequested() && Stopped(link)) return TX_QUIT_STATUS;
        if (SyncLimitPassed(link)) {
            sl_trace("timeout syn TX_ALL_CANCEL resend\n");
            return TX_SEND_CANCEL;
        }
        Sync(link);
        return TX_ALL_CANCEL;
    case TX_QUIT_STATUS:
        sl_trace("exit,TX_QUIT_STATUS\n");
        link->PrintEndFlag.store(1);
        return TX_QUIT_STATUS;
    default: sl_trace("undefined state %d\r\n", state); return TX_RUNNING;
    }
}

TxCommand Kt_TxSendCommand(LinkContext *link) {
    // A command the host side built goes out before the state machine
    // builds its next one.
    if (NetCommand *cmd = GetPendingCommand()) return SendPending(cmd, link);

    TxState.store(PrintStateStep(link, TxState.load()));
    if (TxState.load() == TX_QUIT_STATUS) {
        // The quit state ends the link for every thread, now: this thread
        // does not come back for another step.
        PrintStateStep(link, TX_QUIT_STATUS);
        return TxCommand::Stop;
    }
    if (NetCommand *cmd = GetPendingCommand()) return SendPending(cmd, link);
    return PauseRequested() || TxState.load() != TX_RUNNING ? TxCommand::Busy : TxCommand::Idle;
}

bool SendSwath(LinkContext *link, SwathEntry *e) {
    uint8_t packet[kPacketBytes];
    if (AbortRequested() || !SettleEarlierAnswers(link)) return false;
    BuildSwathPacket(packet, e, link);
    AwaitAnswer(link, NET_CMD_SWATH_CREATE);
    uint8_t retry = 0;

    for (;;) {
        link->ResendReq.store(0);
        while (link->ReplyOk.load() == 0) {
            for (;;) {
                if (Ended(link) || Stopped(link) || AbortRequested()) return false;
                if (gReconnecting.load() == 0) break;
                plat_sleep_ms(100);
            }
            // Packet and data go on one connection, or not at all.
            const PlatSocket s = link->socket.load();
            if (!SendPacket(link, s, packet)) {
                sl_trace("NET_CMD_SWATH_CREATE Fail, WSAGetLastError=%d\r\n", plat_socket_error());
                retry = 0;
                break;
            }
            if (e->Len && LinkSendData(s, e->Data, static_cast<int>(e->Len)) == -1) {
                sl_trace("send data fail, WSAGetLastError=%d\r\n", plat_socket_error());
                retry = 0;
                break;
            }
            TakeCompanionRequest(link);

            // The receive thread wakes this wait as soon as it has taken a
            // reply; without one it ends after the polls it always had.
            const uint32_t limit = kSwathReplyWaits * plat_scaled_ms(kReplyPollMs);
            const uint32_t started = plat_ticks_ms();
            for (;;) {
                const uint32_t seen = plat_wake_count(kWakeAnswer);
                if (Ended(link) || Stopped(link)) return false;
                // Checked before the answer: an answer taken just before the
                // count was seen out of step may be another packet's.
                if (CountOutOfStep(link)) break;
                if (link->ResendReq.load() == 1) {
                    retry = 0;
                    plat_sleep_ms(1000);
                    break;
                }
                if (link->ReplyOk.load() == 1 || plat_ticks_ms() - started >= limit) break;
                plat_nap_ms(kWakeAnswer, seen, kReplyPollMs);
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
        if (link->ReplyOk.load() == 1) break;
        if (retry == 0 && Kt_ReConnectTCPIP(link) == Reconnect::Ended) return false;
    }

    if (e->Len < kSmallSwathBytes) plat_sleep_ms(100);
    return true;
}

TxSwath Kt_TxSendSwath(LinkContext *link) {
    SwathEntry *e = QueueGetReady();
    if (!e) return TxSwath::NoneReady;
    if (!SendSwath(link, e)) return TxSwath::NotSent;
    QueueFree(e);
    return TxSwath::Sent;
}

int TransmitThread(void *arg) {
    auto *link = static_cast<LinkContext *>(arg);
    uint16_t idle = 0;
    for (;;) {
        if (link->TxEnable.load() == 0 || Ended(link)) break;
        if (gReconnecting.load() == 1) {
            if (AbortRequested()) link->PrintEndFlag.store(1);
            plat_sleep_ms(100);
            continue;
        }
        if (PauseRequested()) TakeCompanionRequest(link);

        const TxCommand r = Kt_TxSendCommand(link);
        if (r == TxCommand::Busy) {
            idle = 0;
            continue;
        }
        if (r == TxCommand::Stop) {
            if (gReconnecting.load() == 1) continue;
            break;
        }
        if (AbortRequested() || PauseRequested()) {
            plat_sleep_ms(100);
            continue;
        }

        const uint32_t seen = plat_wake_count(kWakeQueueReady);
        const TxSwath s = Kt_TxSendSwath(link);
        if (s == TxSwath::NoneReady) {
            // Woken as soon as a swath is published; only a whole idle pass
            // counts towards the keep-alive.
            const bool woken = plat_nap_ms(kWakeQueueReady, seen, kIdlePollMs);
            if (!woken && idle++ > kIdleKeepAlive) {
                idle = 0;
                // Never in place of a command the host side is waiting for.
                if (Net_Command.CmdStatus.load() != kCmdPending) Sync(link);
            }
        } else if (s == TxSwath::Sent) {
            idle = 0;
        } else {
            link->ErrorCode.store(kLinkErrorSwathNotSent);
        }
        if (Stopped(link)) break;
    }
    sl_trace("errorcode:%d = Tx thread end!\r\n", link->ErrorCode.load());
    link->TxEnded.store(1);
    return 0;
}

}  // namespace sl
