// Files in the hidden folder: the status record shared with the companion
// application, the parameter copy and checked parameter files.
#pragma once

#include <cstdint>

#include "swathlink/records.h"

namespace sl {

extern int32_t gPrintCfgState;
extern uint16_t gRequestSerialSeen;
extern uint16_t gStatusSerial;

constexpr uint32_t kAddressMark = 0xA6CF9968;
constexpr uint32_t kDefaultPcAddr = 0xC40C00BC;     // 196.12.0.188
constexpr uint32_t kDefaultBoardAddr = 0xC40C0019;  // 196.12.0.25

int ReadParaFile(const char *path, uint8_t *buffer, uint32_t n);
void PrepareLogFolder();
int PrintCfgRead(PrintCfgRecord *rec);
int PrintCfgGetAddresses(uint32_t *pc, uint32_t *board);
void PrintCfgPostStatus(uint8_t code);
int PrintCfgPollRequest(PrintCfgRecord *rec, LinkContext *link);
void PrintCfgDispatch(const PrintCfgRecord *rec, LinkContext *link);
void SetIDLE();
void SaveParaFile(uint16_t jobId, const UISetupPara *block);

}  // namespace sl
