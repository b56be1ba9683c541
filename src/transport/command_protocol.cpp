// The link context, the one reusable command record, and the two ways a
// command is carried out: the host side builds it and waits; the transmit
// thread sends it and waits for the board's answer.
#include "transport/command_protocol.h"

#include "files/para_files.h"
#include "transport/net_codes.h"
#include "transport/packets.h"

#include "link/tcp_link.h"
#include "platform/platform.h"
#include "shared/board_settings.h"
#include "shared/checksum.h"
#include "shared/link_wait.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

// CarryHostCommand waits 22 rounds of 402 polls of 10 ms (about 88 s).
constexpr int kExcuseRounds = 22;
constexpr uint32_t kExcusePolls = 402;
constexpr uint32_t kExcusePollMs = 10;
// SendUntilAnswered: 100 waits of 50 ms per send, 7 sends per reconnection.
constexpr int kReplyWaits = 100;
constexpr int kResendsBeforeReconnect = 6;
// Answers to copies of an earlier command are waited for this long before
// the board is taken to have dropped them.
constexpr uint32_t kReplyWaitMs = 50;
constexpr uint32_t kSettleMs = kReplyWaits * kReplyWaitMs;
constexpr uint32_t kSettlePollMs = 10;
constexpr uint32_t kStateWaitMs = 100;  // a waiter's look at the job's end
// The board asked for the command again: it is resent after this pause.
constexpr uint32_t kResendPauseMs = 1500;

bool KnownCommand(uint8_t code) {
    switch (code) {
    case NET_CMD_JOB_CREATE:
    case NET_CMD_PRINT_START:
    case NET_CMD_PRINT_END:
    case NET_DEBUG_PAUSE:
    case NET_DEBUG_CONTINUE:
    case NET_DEBUG_STOP:
    case NET_DEBUG_SYNCY: return true;
    default: return false;
    }
}

// Takes the record for writing unless a command is pending or being built.
bool ClaimCommandRecord(JobLink *link) {
    uint32_t status = link->command.CmdStatus.load();
    do {
        if (status == kCmdPending || status == kCmdBuilding) return false;
    } while (!link->command.CmdStatus.compare_exchange_weak(status, kCmdBuilding));
    return true;
}

bool JobOver(const LinkContext *link) {
    return link->PrintEndFlag.load() || link->PrintStopFlag.load();
}

}  // namespace

void SetCommandStatus(JobLink *link, uint32_t status) {
    link->command.CmdStatus.store(status);
    plat_signal_raise(link->changed);
}

void SetTxState(JobLink *link, uint8_t state) {
    link->txState.store(state);
    plat_signal_raise(link->changed);
}

bool BuildNetCommand(JobLink *link, uint8_t code) {
    if (!KnownCommand(code)) {
        sl_trace("undefine cmd... %d\r\n", code);
        return false;
    }
    if (!ClaimCommandRecord(link)) return false;
    uint8_t *p = link->command.packet;
    switch (code) {
    case NET_CMD_JOB_CREATE:
        link->JobId.store(JobIdFromTime(plat_local_time()));
        FillJobCreate(p, link->job, link->JobId.load());
        break;
    case NET_CMD_PRINT_START:
        SaveParaFile(link->statusFile->folder, link->JobId.load(), &link->job->board);
        FillPrintStart(p, link->job, link->JobId.load());
        break;
    case NET_CMD_PRINT_END: FillPrintEnd(p, link->job, link->JobId.load()); break;
    default: FillDebug(p, code, link->JobId.load()); break;
    }
    SetCommandStatus(link, kCmdPending);
    return true;
}

bool CountOutOfStep(const LinkContext *link) { return link->OutOfStep.load(); }

bool SettleEarlierAnswers(LinkContext *link) {
    const uint32_t limit = plat_scaled_ms(kSettleMs);
    const uint32_t started = plat_ticks_ms();
    for (;;) {
        if (!WaitWhileReconnecting(link) || JobOver(link)) return false;
        // A cancelled job goes on as below; any other restarts the count
        // first, as for answers that never came.
        if (CountOutOfStep(link) && !AbortRequested(link)) return RestartOutOfStepCount(link);
        const uint32_t sent = link->PacketsSent.load();
        const uint32_t read = link->RepliesRead.load();
        if (read >= sent) return true;
        if (plat_ticks_ms() - started >= limit) {
            if (AbortRequested(link)) {
                // A cancelled job releases no swath any more, and the board
                // confirms the cancel in whichever answer carries it; a new
                // connection would end the job before the cancel goes out.
                sl_trace("%u answers never came: taken as lost for the cancel\n", sent - read);
                link->RepliesRead.store(sent);
                return true;
            }
            sl_trace("%u answers never came: reconnect to restart the count\n", sent - read);
            return ReplaceConnection(link) != Reconnect::Ended && !JobOver(link);
        }
        // Woken by every reply taken; the job's end is looked at on the bound.
        WaitForChange(link->answered, kSettlePollMs,
                      [link] { return link->RepliesRead.load() >= link->PacketsSent.load(); });
    }
}

void AwaitAnswer(LinkContext *link, uint8_t code) {
    link->AwaitFrom.store(link->PacketsSent.load() + 1);
    // A reply matched against the previous command may still be setting
    // ReplyOk: let it finish, so its answer cannot land on this command. A
    // reply matched from now on sees the new first copy and settles nothing.
    while (!WaitForChange(link->answered, kStateWaitMs, [link] { return !link->Matching.load(); })) {}
    link->LastCmd.store(code);
    link->ReplyOk.store(false);
}

int SendPacket(LinkContext *link, PlatSocket s, uint8_t packet[64]) {
    // Counted before it leaves, so its answer cannot be read first.
    link->PacketsSent.fetch_add(1);
    const int sent = LinkSendCommand(s, packet, kPacketBytes);
    return sent < 0 ? sent : 0;
}

bool ReplyIsCurrent(LinkContext *link) {
    const uint32_t number = link->RepliesRead.fetch_add(1) + 1;
    // Every packet is counted before it leaves, so a reply numbered past
    // them answers none: the board sent one answer too many, somewhere
    // before. Which earlier reply was the extra one cannot be told, so
    // none of this connection's is believed from here on.
    const uint32_t sent = link->PacketsSent.load();
    if (number > sent && link->OutOfStep.exchange(true) == 0)
        sl_trace("reply %u with %u packets sent: the answer count is out of step\n", number, sent);
    if (CountOutOfStep(link)) return false;
    return number >= link->AwaitFrom.load();
}

bool RestartOutOfStepCount(LinkContext *link) {
    sl_trace("answers out of step: reconnect to restart the count\n");
    return ReplaceConnection(link) != Reconnect::Ended && !JobOver(link);
}

bool WaitWhileReconnecting(LinkContext *link) {
    while (link->reconnecting.load()) {
        if (link->PrintEndFlag.load()) return false;
        WaitForChange(link->changed, kStateWaitMs,
                      [link] { return !link->reconnecting.load() || link->PrintEndFlag.load(); });
    }
    return true;
}

uint32_t CommandLimitMs() { return kExcuseRounds * plat_scaled_ms(kExcusePolls * kExcusePollMs); }

NetCommand *GetPendingCommand(JobLink *link) {
    return link->command.CmdStatus.load() == kCmdPending ? &link->command : nullptr;
}

HostCommand CarryHostCommand(uint8_t code, JobLink *link) {
    // An aborted job ends with the cancel the transmit thread sends; a job
    // end sent ahead of it would close the job on the board uncancelled.
    if (code == NET_CMD_PRINT_END && AbortRequested(link)) return HostCommand::NotCarried;
    while (link->txState.load() != TX_RUNNING) {
        if (link->txState.load() == TX_QUIT_STATUS) {
            sl_trace("Kt_ExcuseCommand Quit for  TX_QUIT_STATUS...\n");
            return HostCommand::LinkQuit;
        }
        // A transmit thread that has ended leaves its state behind, and a
        // cancel the board never confirms keeps it cancelling.
        if (JobOver(link) || AbortRequested(link)) return HostCommand::NotCarried;
        WaitForChange(link->changed, kStateWaitMs, [link] { return link->txState.load() == TX_RUNNING; });
    }
    if (!KnownCommand(code)) {
        sl_trace("undefine cmd... %d\r\n", code);
        return HostCommand::NotCarried;
    }

    // Rounds are measured on the clock: a scaled 10 ms poll cannot be
    // shorter than the system's sleep granularity.
    const uint32_t roundMs = plat_scaled_ms(kExcusePolls * kExcusePollMs);
    bool built = false;
    for (int round = 0; round < kExcuseRounds; ++round) {
        const uint32_t started = plat_ticks_ms();
        while (plat_ticks_ms() - started < roundMs) {
            if (JobOver(link)) return HostCommand::NotCarried;
            // An aborted job ends with the cancel; the transmit thread drops
            // a job end still waiting to go out.
            if (code == NET_CMD_PRINT_END && AbortRequested(link)) return HostCommand::NotCarried;
            // A keep-alive or state command may hold the record for a moment.
            if (!built) {
                built = BuildNetCommand(link, code);
            } else if (link->command.CmdStatus.load() == kCmdAnswered) {
                if (code == NET_CMD_PRINT_END) EndLink(link);
                if (code == NET_CMD_JOB_CREATE && !link->ReplyOk.load()) return HostCommand::Refused;
                return HostCommand::Answered;
            }
            // Woken when the record changes hands or the link's state changes;
            // the abort is looked at on the poll's bound.
            WaitForChange(link->changed, kExcusePollMs, [link, built] {
                const uint32_t status = link->command.CmdStatus.load();
                return JobOver(link) ||
                       (built ? status == kCmdAnswered : status != kCmdPending && status != kCmdBuilding);
            });
        }
        if (round < kExcuseRounds - 1) sl_trace("Error!!!! Command %d Excuse fail!!!!\r\n", code);
    }
    return HostCommand::NotCarried;
}

bool SendUntilAnswered(NetCommand *cmd, JobLink *link) {
    if (!SettleEarlierAnswers(link)) return false;
    AwaitAnswer(link, cmd->packet[0]);
    int retry = 0;
    for (;;) {
        if (link->PrintEndFlag.load()) return false;
        // A copy sent while the other thread reconnects would be counted on
        // the wrong connection.
        if (!WaitWhileReconnecting(link)) return false;
        if (const int error = SendPacket(link, link->socket.load(), cmd->packet); error != 0) {
            sl_trace("Net Command(%d) send fail, WSAGetLastError=%d\r\n", cmd->packet[0], -error);
            // A stopped link is not reconnected; resending could only spin.
            if (link->PrintStopFlag.load()) return false;
            ReplaceConnection(link);
            retry = 0;
            if (link->ReplyOk.load()) return true;
            continue;
        }

        bool resend = false;
        for (int i = 0; i < kReplyWaits && !resend; ++i) {
            if (link->PrintEndFlag.load()) return false;
            if (link->ResendReq.load()) {
                plat_sleep_ms(kResendPauseMs);
                retry = 0;
                if (link->ReplyOk.load()) return true;
                resend = true;
                break;
            }
            if (CountOutOfStep(link) && !AbortRequested(link)) break;
            if (link->ReplyOk.load()) return true;
            // The board has stopped the job: its answers are no longer taken.
            if (link->PrintStopFlag.load()) return false;
            // Woken by every reply the receive thread takes.
            WaitForChange(link->answered, kReplyWaitMs, [link] {
                return link->ReplyOk.load() || link->ResendReq.load() ||
                       link->PrintStopFlag.load() || link->PrintEndFlag.load();
            });
        }
        if (resend) continue;
        if (CountOutOfStep(link) && !AbortRequested(link)) {
            // Sent again on a new connection, whose count starts in step.
            if (!RestartOutOfStepCount(link)) return false;
            AwaitAnswer(link, cmd->packet[0]);
            retry = 0;
            continue;
        }

        if (retry < kResendsBeforeReconnect) {
            ++retry;
        } else {
            sl_trace("Net Command(%d) no reply but timeout,retry %d, i %d\r\n", cmd->packet[0], retry,
                     kReplyWaits);
            ReplaceConnection(link);
            retry = 0;
        }
    }
}

}  // namespace sl
