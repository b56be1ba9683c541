// Files in the hidden folder: the status record shared with the companion
// application, the parameter copy and checked parameter files.
#pragma once

#include <atomic>
#include <cstdint>

#include "swathlink/records.h"

namespace sl {

// Written by the host thread at session and job start, read by the transmit
// thread that takes the companion's requests.
struct StatusFileState {
    std::atomic<int32_t> state{0};               // 0 folder not prepared, 1 ready, -1 not writable
    std::atomic<uint16_t> requestSerialSeen{0};  // request serial last taken
    std::atomic<uint16_t> statusSerial{0};       // status serial last written
};
extern StatusFileState gStatusFile;

constexpr const char *kStatusFileName = "printcfg.cfg";
constexpr const char *kParaSaveFileName = "SaveParafile.cfg";
constexpr const char *kDotSizeFileName = "DotsizeFile.cfg";

constexpr uint32_t kAddressMark = 0xA6CF9968;
constexpr uint32_t kDefaultPcAddr = 0xC40C00BC;     // 196.12.0.188
constexpr uint32_t kDefaultBoardAddr = 0xC40C0019;  // 196.12.0.25

// Checked parameter files end with this checksum type; the status record uses 0.
constexpr uint16_t kParaChecksumType = 0xABCC;

// Status posts and companion requests.
enum : uint8_t {
    kPostJobStart = 2,
    kRequestAlignment = 9,
    kRequestPause = 20,
    kRequestContinue = 21,
    kRequestStop = 22,
};

// 1 = read and checksum matches; 0 = cannot be opened, short, or bad checksum.
int ReadParaFile(const char *path, uint8_t *buffer, uint32_t n);
void SaveParaFile(uint16_t jobId, const UISetupPara *block);

void PrepareLogFolder();
int PrintCfgInit();                              // 1, or -1 when not writable
int PrintCfgRead(PrintCfgRecord *rec);           // 1 valid/new, 0 bad, -1 locked
int PrintCfgReadActive(PrintCfgRecord *rec);     // 1 active, 0 idle, -1 none, -2 bad
int PrintCfgWrite(PrintCfgRecord *rec);          // 1, or -1
int PrintCfgGetAddresses(uint32_t *pc, uint32_t *board);
void SetIDLE();

// Offsets 22..52 of the record from a job and the board's settings.
void PrintCfgFillJobStatus(PrintCfgRecord *rec, const JobProp *job, const UISetupPara *ui);
void PrintCfgPostStatus(uint8_t code);
int PrintCfgPollRequest(PrintCfgRecord *rec, LinkContext *link);
void PrintCfgDispatch(const PrintCfgRecord *rec, LinkContext *link);

}  // namespace sl
