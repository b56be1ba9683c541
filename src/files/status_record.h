// Reading, sealing and writing the 288-byte status record. Shared by the
// status-file operations; nothing outside src/files uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "shared/records.h"

namespace sl {

constexpr const char *kStatusFileName = "printcfg.cfg";

extern const uint8_t kActiveTag[16];
extern const uint8_t kIdleTag[16];

std::string StatusFilePath(const std::string &folder);

// The companion may leave the file read-only, hidden or system: such a file
// is reset to the archive attribute alone so that it can be rewritten. When
// that fails the result is -1, and the file is deleted where only its
// attribute stood in the way (Windows); a posix file of another user stays.
int ApplyAttributeRule(const std::string &path);

enum class StatusRead { Missing, Bad, Good };
// Reads at most one record; the rest of the file is ignored. A short file
// or a checksum mismatch is Bad, with the bytes read kept in `rec` and the
// unread tail zero.
StatusRead ReadStatusRecord(const std::string &path, PrintCfgRecord *rec);
// Puts `tag` into the record and recomputes its checksum.
void SealStatusRecord(PrintCfgRecord *rec, const uint8_t tag[16]);
bool WriteStatusRecord(const std::string &path, const PrintCfgRecord *rec);

uint16_t StatusChecksum(const PrintCfgRecord *rec);
bool HasTag(const PrintCfgRecord *rec, const uint8_t tag[16]);

}  // namespace sl

// The companion reads these offsets.
namespace sl {
static_assert(offsetof(PrintCfgRecord, JobId) == 16);
static_assert(offsetof(PrintCfgRecord, StatusSerial) == 18);
static_assert(offsetof(PrintCfgRecord, StateCode) == 20);
static_assert(offsetof(PrintCfgRecord, PostedCmd) == 21);
static_assert(offsetof(PrintCfgRecord, XRes) == 22);
static_assert(offsetof(PrintCfgRecord, VsdMode) == 38);
static_assert(offsetof(PrintCfgRecord, SpeedClass) == 40);
static_assert(offsetof(PrintCfgRecord, Align0) == 44);
static_assert(offsetof(PrintCfgRecord, BidiLow) == 50);
static_assert(offsetof(PrintCfgRecord, FeedStep) == 52);
static_assert(offsetof(PrintCfgRecord, ReqType) == 88);
static_assert(offsetof(PrintCfgRecord, ReqArg1) == 90);
static_assert(offsetof(PrintCfgRecord, PcAddr) == 160);
static_assert(offsetof(PrintCfgRecord, BoardAddr) == 164);
}  // namespace sl
