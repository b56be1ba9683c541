// Files in the hidden folder: the status record shared with the companion
// application, the parameter copy and checked parameter files.
#pragma once

#include <atomic>
#include <cstdint>

#include "swathlink/records.h"

namespace sl {

// Written by the host thread at session and job start, read by the transmit
// thread that takes the companion's requests.
// Whether the status file can be used this session.
enum class StatusFileAccess : int32_t {
    Unprepared = 0,  // the hidden folder could not be prepared: nothing is read or written
    Ready = 1,
    NotWritable = -1,  // the file could not be made writable or written
};

struct StatusFileState {
    std::atomic<StatusFileAccess> access{StatusFileAccess::Unprepared};
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

// StateCode of the status record.
enum : uint8_t {
    kStateIdle = 0,
    kStatePrinting = 2,
};

// Status posts and companion requests.
enum : uint8_t {
    kPostJobStart = 2,
    kRequestAlignment = 9,
    kRequestPause = 20,
    kRequestContinue = 21,
    kRequestStop = 22,
};

// True when the file was read whole and its checksum matches; false when it
// cannot be opened, is short, or fails the checksum.
[[nodiscard]] bool ReadParaFile(const char *path, uint8_t *buffer, uint32_t n);
void SaveParaFile(uint16_t jobId, const UISetupPara *block);

void PrepareLogFolder();
// What a read of the status record found.
enum class CfgRead {
    Good,     // the record checks, or a missing file was created
    Bad,      // short, failing its checksum, or present but unreadable
    Blocked,  // the file could not be made writable
};
// What PrintCfgReadActive found: a sound record with the session's tag.
enum class CfgSession { Active, Idle, Missing, Bad };

// Opens the session's record (a damaged one is replaced); false when it
// cannot be written.
[[nodiscard]] bool PrintCfgInit();
CfgRead PrintCfgRead(PrintCfgRecord *rec);
CfgSession PrintCfgReadActive(PrintCfgRecord *rec);
bool PrintCfgWrite(PrintCfgRecord *rec);
// The addresses from the record's address block, else the defaults; false
// when no sound record was read.
bool PrintCfgGetAddresses(uint32_t *pc, uint32_t *board);
void SetIDLE();

// Offsets 22..52 of the record from a job and the board's settings.
void PrintCfgFillJobStatus(PrintCfgRecord *rec, const JobProp *job, const UISetupPara *ui);
void PrintCfgPostStatus(uint8_t code);
// 1 when a new request of the running job was taken into `rec`, else 0.
int PrintCfgPollRequest(PrintCfgRecord *rec, LinkContext *link);
void PrintCfgDispatch(const PrintCfgRecord *rec, LinkContext *link);

}  // namespace sl
