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
#include "transport/swath_queue.h"

namespace sl {

NetCommand Net_Command;
std::atomic<uint8_t> TxState{TX_RUNNING};
uint8_t gChannelOrder[8];

namespace {

constexpr uint8_t kChannelOrder[8] = {7, 6, 5, 4, 3, 2, 1, 0};

// Kt_ExcuseCommand waits 22 rounds of 402 polls of 10 ms (about 88 s).
constexpr int kExcuseRounds = 22;
constexpr uint32_t kExcusePolls = 402;
constexpr uint32_t kExcusePollMs = 10;
// Kt_SendNetCommand: 100 waits of 50 ms per send, 7 sends per reconnection.
constexpr int kReplyWaits = 100;
constexpr int kResendsBeforeReconnect = 6;
// Answers to copies of an earlier command are waited for this long before
// the board is taken to have dropped them.
constexpr uint32_t kSettleMs = kReplyWaits * 50;
constexpr uint32_t kSettlePollMs = 10;

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
bool ClaimCommandRecord() {
    uint32_t status = Net_Command.CmdStatus.load();
    do {
        if (status == kCmdPending || status == kCmdBuilding) return false;
    } while (!Net_Command.CmdStatus.compare_exchange_weak(status, kCmdBuilding));
    return true;
}

bool JobOver(const LinkContext *link) {
    return link->PrintEndFlag.load() == 1 || link->PrintStopFlag.load() == 1;
}

}  // namespace

void LinkInit(LinkContext *link) {
    gReconnecting.store(0);
    link->ReplyOk.store(1);
    link->ResendReq.store(0);
    link->SwathSN.store(1);
    link->PrintEndFlag.store(0);
    link->ErrorCode.store(0);
    RestartAnswerCount(link);
}

void LinkResetForJob(LinkContext *link) {
    for (int i = 0; i < 8; ++i) gChannelOrder[i] = kChannelOrder[i];
    link->LastCmd.store(0);
    QueueReset();
    QueueInit();
    LinkInit(link);
    ClearRequests();
    link->PrintStopFlag.store(0);
    link->SyncCount.store(0);
    TxState.store(TX_RUNNING);
}

bool BuildNetCommand(LinkContext *link, uint8_t code) {
    if (!KnownCommand(code)) {
        sl_trace("undefine cmd... %d\r\n", code);
        return false;
    }
    if (!ClaimCommandRecord()) return false;
    uint8_t *p = Net_Command.packet;
    switch (code) {
    case NET_CMD_JOB_CREATE:
        link->JobId.store(JobIdFromTime(plat_local_time()));
        FillJobCreate(p, link->JobId.load());
        break;
    case NET_CMD_PRINT_START:
        SaveParaFile(link->JobId.load(), &UI_CurSetting);
        FillPrintStart(p, link->JobId.load());
        break;
    case NET_CMD_PRINT_END: FillPrintEnd(p, link->JobId.load()); break;
    default: FillDebug(p, code, link->JobId.load()); break;
    }
    Net_Command.CmdStatus.store(kCmdPending);
    return true;
}

bool CountOutOfStep(const LinkContext *link) { return link->OutOfStep.load() == 1; }

bool SettleEarlierAnswers(LinkContext *link) {
    const uint32_t limit = plat_scaled_ms(kSettleMs);
    const uint32_t started = plat_ticks_ms();
    for (;;) {
        if (!WaitWhileReconnecting(link) || JobOver(link)) return false;
        // A cancelled job goes on as below; any other restarts the count
        // first, as for answers that never came.
        if (CountOutOfStep(link) && !AbortRequested()) return RestartOutOfStepCount(link);
        const uint32_t sent = link->PacketsSent.load();
        const uint32_t read = link->RepliesRead.load();
        if (read >= sent) return true;
        if (plat_ticks_ms() - started >= limit) {
            if (AbortRequested()) {
                // A cancelled job releases no swath any more, and the board
                // confirms the cancel in whichever answer carries it; a new
                // connection would end the job before the cancel goes out.
                sl_trace("%u answers never came: taken as lost for the cancel\n", sent - read);
                link->RepliesRead.store(sent);
                return true;
            }
            sl_trace("%u answers never came: reconnect to restart the count\n", sent - read);
            return Kt_ReConnectTCPIP(link) != Reconnect::Ended && !JobOver(link);
        }
        plat_sleep_ms(kSettlePollMs);
    }
}

void AwaitAnswer(LinkContext *link, uint8_t code) {
    link->AwaitFrom.store(link->PacketsSent.load() + 1);
    // A reply matched against the previous command may still be setting
    // ReplyOk: let it finish, so its answer cannot land on this command. A
    // reply matched from now on sees the new first copy and settles nothing.
    while (link->Matching.load() == 1) plat_sleep_ms(1);
    link->LastCmd.store(code);
    link->ReplyOk.store(0);
}

bool SendPacket(LinkContext *link, PlatSocket s, uint8_t packet[64]) {
    // Counted before it leaves, so its answer cannot be read first.
    link->PacketsSent.fetch_add(1);
    return LinkSendCommand(s, packet, kPacketBytes) == kPacketBytes;
}

bool ReplyIsCurrent(LinkContext *link) {
    const uint32_t number = link->RepliesRead.fetch_add(1) + 1;
    // Every packet is counted before it leaves, so a reply numbered past
    // them answers none: the board sent one answer too many, somewhere
    // before. Which earlier reply was the extra one cannot be told, so
    // none of this connection's is believed from here on.
    const uint32_t sent = link->PacketsSent.load();
    if (number > sent && link->OutOfStep.exchange(1) == 0)
        sl_trace("reply %u with %u packets sent: the answer count is out of step\n", number, sent);
    if (CountOutOfStep(link)) return false;
    return number >= link->AwaitFrom.load();
}

bool RestartOutOfStepCount(LinkContext *link) {
    sl_trace("answers out of step: reconnect to restart the count\n");
    return Kt_ReConnectTCPIP(link) != Reconnect::Ended && !JobOver(link);
}

bool WaitWhileReconnecting(const LinkContext *link) {
    while (gReconnecting.load() == 1) {
        if (link->PrintEndFlag.load() == 1) return false;
        plat_sleep_ms(100);
    }
    return true;
}

uint32_t CommandLimitMs() { return kExcuseRounds * plat_scaled_ms(kExcusePolls * kExcusePollMs); }

NetCommand *GetPendingCommand() {
    return Net_Command.CmdStatus.load() == kCmdPending ? &Net_Command : nullptr;
}

HostCommand Kt_ExcuseCommand(uint8_t code, LinkContext *link) {
    // An aborted job ends with the cancel the transmit thread sends; a job
    // end sent ahead of it would close the job on the board uncancelled.
    if (code == NET_CMD_PRINT_END && AbortRequested()) return HostCommand::NotCarried;
    while (TxState.load() != TX_RUNNING) {
        if (TxState.load() == TX_QUIT_STATUS) {
            sl_trace("Kt_ExcuseCommand Quit for  TX_QUIT_STATUS...\n");
            return HostCommand::LinkQuit;
        }
        // A transmit thread that has ended leaves its state behind, and a
        // cancel the board never confirms keeps it cancelling.
        if (JobOver(link) || AbortRequested()) return HostCommand::NotCarried;
        plat_sleep_ms(100);
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
            if (code == NET_CMD_PRINT_END && AbortRequested()) return HostCommand::NotCarried;
            // A keep-alive or state command may hold the record for a moment.
            if (!built) {
                built = BuildNetCommand(link, code);
            } else if (Net_Command.CmdStatus.load() == kCmdAnswered) {
                if (code == NET_CMD_PRINT_END) link->PrintEndFlag.store(1);
                if (code == NET_CMD_JOB_CREATE && link->ReplyOk.load() == 0) return HostCommand::Refused;
                return HostCommand::Answered;
            }
            plat_sleep_ms(kExcusePollMs);
        }
        if (round < kExcuseRounds - 1) sl_trace("Error!!!! Command %d Excuse fail!!!!\r\n", code);
    }
    return HostCommand::NotCarried;
}

bool Kt_SendNetCommand(NetCommand *cmd, LinkContext *link) {
    if (!SettleEarlierAnswers(link)) return false;
    AwaitAnswer(link, cmd->packet[0]);
    int retry = 0;
    for (;;) {
        if (link->PrintEndFlag.load() == 1) return false;
        // A copy sent while the other thread reconnects would be counted on
        // the wrong connection.
        if (!WaitWhileReconnecting(link)) return false;
        if (!SendPacket(link, link->socket.load(), cmd->packet)) {
            sl_trace("Net Command(%d) send fail, WSAGetLastError=%d\r\n", cmd->packet[0],
                     plat_socket_error());
            // A stopped link is not reconnected; resending could only spin.
            if (link->PrintStopFlag.load() == 1) return false;
            Kt_ReConnectTCPIP(link);
            retry = 0;
            if (link->ReplyOk.load() == 1) return true;
            continue;
        }

        bool resend = false;
        for (int i = 0; i < kReplyWaits && !resend; ++i) {
            if (link->PrintEndFlag.load() == 1) return false;
            if (link->ResendReq.load() == 1) {
                plat_sleep_ms(1500);
                retry = 0;
                if (link->ReplyOk.load() == 1) return true;
                resend = true;
                break;
            }
            if (CountOutOfStep(link) && !AbortRequested()) break;
            if (link->ReplyOk.load() == 1) return true;
            // The board has stopped the job: its answers are no longer taken.
            if (link->PrintStopFlag.load() == 1) return false;
            plat_sleep_ms(50);
        }
        if (resend) continue;
        if (CountOutOfStep(link) && !AbortRequested()) {
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
            Kt_ReConnectTCPIP(link);
            retry = 0;
        }
    }
}

}  // namespace sl
