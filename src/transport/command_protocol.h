// Board command protocol: the link context, the one reusable command record
// and the two ways a command is carried out.
#pragma once

#include <cstdint>

#include "shared/records.h"
#include "transport/job_link.h"
#include "transport/net_codes.h"

namespace sl {

// CmdStatus values. kCmdBuilding marks the record while one thread writes
// it, so the host side and the transmit thread never fill it at once.
enum : uint32_t {
    kCmdIdle = 0,
    kCmdPending = 1,
    kCmdBuilding = 2,
    kCmdAnswered = 3,
};

// Sets the command record's state and wakes whoever waits for it.
void SetCommandStatus(JobLink *link, uint32_t status);
// Sets the transmit state and wakes whoever waits for it.
void SetTxState(JobLink *link, uint8_t state);
// True = built and pending; false = unknown code, or another command is
// pending or being built (nothing is written then).
bool BuildNetCommand(JobLink *link, uint8_t code);

// How a command that the host side handed to the transmit thread ended.
enum class HostCommand : uint8_t {
    Answered,    // the board answered it (a job create: and accepted the job)
    LinkQuit,    // the transmit thread quit after a confirmed cancel; nothing was sent
    Refused,     // the board answered a job create without accepting the job
    NotCarried,  // unknown code, a job end after an abort, the job over, or no answer in time
};
// The outcomes after which the host side goes on with the job.
constexpr bool Carried(HostCommand r) { return r == HostCommand::Answered || r == HostCommand::LinkQuit; }
// Builds `code` once the record is free and waits, bounded, until the
// transmit thread has carried it.
HostCommand CarryHostCommand(uint8_t code, JobLink *link);
NetCommand *GetPendingCommand(JobLink *link);
// Sends the pending command until the board answers it, resending and
// reconnecting as needed; false when the job ended or the board stopped it.
[[nodiscard]] bool SendUntilAnswered(NetCommand *cmd, JobLink *link);

// Answers are matched to the copies they answer. AwaitAnswer makes `code`
// the outstanding command: only replies to packets sent from now on can
// complete or refuse it. SendPacket counts and sends one 64-byte packet on `s`
// (0, or the platform's error when it could not be sent whole).
// ReplyIsCurrent numbers a reply read from the connection and tells whether
// it answers a copy of the outstanding command rather than an earlier one.
void AwaitAnswer(LinkContext *link, uint8_t code);
// Before a new command: waits for the answers to copies of earlier commands
// still on their way, since every later reply is numbered after them. When
// the board never sends them, a new connection restarts the count. False
// when the job ended meanwhile.
[[nodiscard]] bool SettleEarlierAnswers(LinkContext *link);
[[nodiscard]] int SendPacket(LinkContext *link, PlatSocket s, uint8_t packet[64]);
bool ReplyIsCurrent(LinkContext *link);
// True once a reply came with no packet left to answer on this connection.
bool CountOutOfStep(const LinkContext *link);
// Reconnects so that the count starts again in step; false when the job
// ended meanwhile.
[[nodiscard]] bool RestartOutOfStepCount(LinkContext *link);
// Waits while another thread reconnects; false when the job ended meanwhile.
bool WaitWhileReconnecting(LinkContext *link);
// How long the host side waits for the transmit thread to carry a command:
// 22 rounds of 402 polls of 10 ms, scaled.
uint32_t CommandLimitMs();

}  // namespace sl
