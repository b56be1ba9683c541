// Layouts of the 64-byte command packets. Multi-byte fields are
// little-endian on the wire.
#include "transport/packets.h"

#include <cstring>

#include "platform/platform.h"
#include "shared/board_mode.h"
#include "shared/board_settings.h"
#include "transport/net_codes.h"
#include "transport/swath_queue.h"

namespace sl {

namespace {

constexpr uint8_t kJobTag = 3;
constexpr uint16_t kHighResCode = 0x0080;  // high-resolution code 0
constexpr uint16_t kBoardConst = 11068;
constexpr uint16_t kBoardConst2 = 213;
constexpr uint8_t kTagJobCreate = 102;
constexpr uint8_t kTagPrintStart = 104;
constexpr uint8_t kTagPrintEnd = 101;
constexpr uint32_t kStepReference = 35860;  // reference of the step calibration
constexpr uint8_t kPrintStartByte33 = 0x30;
constexpr uint8_t kFireTagPlain = 1;
constexpr uint8_t kFireTagMode1 = 0xBB;
constexpr uint8_t kFireTagMode2 = 0xBF;
constexpr uint16_t kFireDelayMode1 = 5;
constexpr uint32_t kFireDelayMode2 = 66666;

void Put8(uint8_t *p, int at, uint32_t v) { p[at] = static_cast<uint8_t>(v); }

void Put16(uint8_t *p, int at, uint32_t v) {
    p[at] = static_cast<uint8_t>(v);
    p[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t *p, int at, uint32_t v) {
    Put16(p, at, v & 0xFFFF);
    Put16(p, at + 2, v >> 16);
}

// Fields shared by the job-create and print-start packets.
void FillJobHeader(uint8_t *p, const PrintJob *job, uint8_t code, uint16_t jobId) {
    Put16(p, 0, code);
    Put16(p, 4, jobId);
    Put8(p, 6, kJobTag);
    Put8(p, 7, job->board.d4c);
    Put16(p, 8, kHighResCode);
    Put16(p, 10, kBoardConst);
    Put16(p, 12, ResolutionWord(&job->mode));
    Put16(p, 14, VsdCode(&job->mode, DotSizeClass(job)));
    Put16(p, 26, 0);
    Put16(p, 28, kBoardConst2);
    Put16(p, 38, 0);
}

bool SendsFeedUnits(uint16_t fw) { return fw >= 670 || (fw >= 365 && fw <= 368); }

uint8_t FireTag(uint16_t mode) {
    return mode == 1 ? kFireTagMode1 : mode == 2 ? kFireTagMode2 : kFireTagPlain;
}

}  // namespace

void FillJobCreate(uint8_t packet[64], const PrintJob *job, uint16_t jobId) {
    FillJobHeader(packet, job, NET_CMD_JOB_CREATE, jobId);
    Put8(packet, 30, kTagJobCreate);
}

void FillPrintStart(uint8_t packet[64], const PrintJob *job, uint16_t jobId) {
    const PlatTime utc = plat_utc_time();
    FillJobHeader(packet, job, NET_CMD_PRINT_START, jobId);
    Put32(packet, 16, static_cast<uint32_t>(utc.year) * 65536 + utc.month * 256 + utc.day);
    Put32(packet, 20, kStepReference);
    Put8(packet, 30, kTagPrintStart);
    Put8(packet, 31, job->prop.Colors & 0xFF);
    Put8(packet, 32, job->board.CurFWVersion >= 250 ? 6 : 4);
    Put8(packet, 33, kPrintStartByte33);
    Put16(packet, 36, StepCalibration(&job->board, job->mode.pass));
}

void FillPrintEnd(uint8_t packet[64], const PrintJob *job, uint16_t jobId) {
    Put16(packet, 0, NET_CMD_PRINT_END);
    Put16(packet, 4, jobId);
    Put8(packet, 6, kJobTag);
    Put8(packet, 7, job->board.d4c);
    Put8(packet, 30, kTagPrintEnd);
}

void FillDebug(uint8_t packet[64], uint16_t subCode, uint16_t jobId) {
    Put16(packet, 0, NET_CMD_DEBUG);
    Put16(packet, 4, subCode);
    Put16(packet, 6, jobId);
}

void BuildSwathPacket(uint8_t packet[64], const SwathEntry *e, JobLink *link) {
    // A fresh packet per swath: nothing of an earlier one may leak into it.
    std::memset(packet, 0, kPacketBytes);
    const PrintJob *job = link->job;
    const double s = QueuePassSeqOf(link, e);
    const double d = job->pass.softendots;
    const double w = job->prop.Width;
    const double x = job->mode.xdpi;
    const uint32_t area =
        x > 0 ? static_cast<uint32_t>(s * d * w / (x * 360.0) * 254.0 * 254.0 / 1000000.0) : 0;
    const uint32_t length = static_cast<uint32_t>(s * d / 360.0 * 254.0 / 1000.0);
    const uint16_t fw = job->board.CurFWVersion;
    const uint32_t speed = job->board.SpeedValue;

    Put16(packet, 0, NET_CMD_SWATH_CREATE);
    Put32(packet, 4, e->Len);
    Put32(packet, 8, area);
    Put32(packet, 12, length & 0xFFFF);
    Put8(packet, 29, FireTag(e->Mode));
    Put8(packet, 30, e->Direction != 0 ? 1 : 0);
    Put32(packet, 32, e->Step);
    Put16(packet, 36, speed * 600);
    Put16(packet, 38, e->Pstart);
    Put16(packet, 40, e->Pend);
    Put8(packet, 42, e->Direction == 0 ? 1 : 0);
    Put16(packet, 44, e->NextStart);
    if (e->Mode == 1) Put16(packet, 46, kFireDelayMode1);
    // The board's speed value is never 0; a zero must still not divide.
    if (e->Mode == 2) Put16(packet, 46, kFireDelayMode2 / (speed ? speed : 1));
    if (SendsFeedUnits(fw)) Put16(packet, 48, e->FeedUnits);
    Put32(packet, 52, link->SwathSN.fetch_add(1));
    if (e->Mode == 1 || e->Mode == 2) Put32(packet, 56, 0);
}

}  // namespace sl
