// The status file shared with the companion application: opening a session,
// reading, rewriting and closing it.
#pragma once

#include <cstdint>

#include <string>

#include "files/files_common.h"
#include "shared/records.h"

namespace sl {

constexpr uint32_t kAddressMark = 0xA6CF9968;
constexpr uint32_t kDefaultPcAddr = 0xC40C00BC;     // 196.12.0.188
constexpr uint32_t kDefaultBoardAddr = 0xC40C0019;  // 196.12.0.25

// What a read of the status record found.
enum class CfgRead {
    Good,     // the record checks, or a missing file was created
    Bad,      // short, failing its checksum, or present but unreadable
    Blocked,  // the file could not be made writable
};
// What ReadSessionRecord found: a sound record with the session's tag.
enum class CfgSession { Active, Idle, Missing, Bad };

// Opens the session's record (a damaged one is replaced); false when it
// cannot be written.
[[nodiscard]] bool OpenStatusRecord(const std::string &folder);
CfgRead ReadStatusFile(const std::string &folder, PrintCfgRecord *rec);
CfgSession ReadSessionRecord(const std::string &folder, PrintCfgRecord *rec);
bool WriteStatusFile(const std::string &folder, PrintCfgRecord *rec);
// The addresses from the record's address block, else the defaults; false
// when no sound record was read.
bool ReadAddresses(const std::string &folder, uint32_t *pc, uint32_t *board);
// Marks the record idle at the end of a job.
void MarkStatusIdle(const StatusFile *file);

}  // namespace sl
