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

// The job's abort and pause requests, through the flags the link designates.
bool LinkAborted(const LinkContext *link);
bool LinkPaused(const LinkContext *link);

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

// Packet layouts. Each writes only the bytes its command defines: the
// record is reused and the board may rely on bytes a command leaves alone.
void FillJobCreate(uint8_t packet[64], uint16_t jobId);
void FillPrintStart(uint8_t packet[64], uint16_t jobId);
void FillPrintEnd(uint8_t packet[64], uint16_t jobId);
void FillDebug(uint8_t packet[64], uint16_t subCode, uint16_t jobId);
// Fills a NET_CMD_SWATH_CREATE packet from a queue entry; takes the next SwathSN.
void BuildSwathPacket(uint8_t packet[64], const SwathEntry *e, LinkContext *link);

}  // namespace sl
