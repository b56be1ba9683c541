// Board command protocol: the link context, the one reusable command record,
// packet building and the two ways a command is carried out.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

enum : uint8_t {
    NET_CMD_DEBUG = 1,
    NET_CMD_JOB_CREATE = 2,
    NET_CMD_PRINT_START = 8,
    NET_CMD_SWATH_CREATE = 9,
    NET_CMD_PRINT_END = 18,
};
enum : uint8_t {
    NET_DEBUG_PAUSE = 20,
    NET_DEBUG_CONTINUE = 21,
    NET_DEBUG_STOP = 22,
    NET_DEBUG_SYNCY = 23,
};
enum : uint16_t {
    SWATH_CREAT_NULL,
    SWATH_CREAT_OK,
    SWATH_CREAT_TIMEOUT,
    SWATH_CREAT_SN_ERROR,
    SWATH_CREAT_SN_REPEAT,
    SWATH_CREAT_CMDBUFFER_OVERFLOW,
    SWATH_CREAT_SWATHBUFFER_OVERFLOW,
    SWATH_CREAT_DATABUFFER_OVERFLOW,
};

extern NetCommand Net_Command;
extern std::atomic<uint8_t> TxState;
extern uint8_t gChannelOrder[8];

// CmdStatus values. kCmdBuilding marks the record while one thread writes
// it, so the host side and the transmit thread never fill it at once.
enum : uint32_t {
    kCmdIdle = 0,
    kCmdPending = 1,
    kCmdBuilding = 2,
    kCmdAnswered = 3,
};

constexpr int kPacketBytes = 64;

void LinkInit(LinkContext *link);
// Resets the link side for a new job (channel order, reply state, queue,
// command record, flags).
void LinkResetForJob(LinkContext *link);
// 1 = built and pending; 0 = unknown code, or another command is pending
// or being built (nothing is written then).
int BuildNetCommand(LinkContext *link, uint8_t code);
int Kt_ExcuseCommand(uint8_t code, LinkContext *link);
NetCommand *GetPendingCommand();
int Kt_SendNetCommand(NetCommand *cmd, LinkContext *link);

// Answers are matched to the copies they answer. AwaitAnswer makes `code`
// the outstanding command: only replies to packets sent from now on can
// complete or refuse it. SendPacket counts and sends one 64-byte packet on `s`.
// ReplyIsCurrent numbers a reply read from the connection and tells whether
// it answers a copy of the outstanding command rather than an earlier one.
void AwaitAnswer(LinkContext *link, uint8_t code);
// Before a new command: waits for the answers to copies of earlier commands
// still on their way, since every later reply is numbered after them. When
// the board never sends them, a new connection restarts the count. False
// when the job ended meanwhile.
[[nodiscard]] bool SettleEarlierAnswers(LinkContext *link);
int SendPacket(LinkContext *link, PlatSocket s, uint8_t packet[64]);
bool ReplyIsCurrent(LinkContext *link);
// Waits while another thread reconnects; false when the job ended meanwhile.
bool WaitWhileReconnecting(const LinkContext *link);
// How long the host side waits for the transmit thread to carry a command:
// 22 rounds of 402 polls of 10 ms, scaled.
uint32_t CommandLimitMs();

// Packet layouts. Each writes only the bytes its command defines: the
// record is reused and the board may rely on bytes a command leaves alone.
void FillJobCreate(uint8_t packet[64], uint16_t jobId);
void FillPrintStart(uint8_t packet[64], uint16_t jobId);
void FillPrintEnd(uint8_t packet[64], uint16_t jobId);
void FillDebug(uint8_t packet[64], uint16_t subCode, uint16_t jobId);
// Fills a NET_CMD_SWATH_CREATE packet from a queue entry; takes the next SwathSN.
void BuildSwathPacket(uint8_t packet[64], const SwathEntry *e, LinkContext *link);

}  // namespace sl
