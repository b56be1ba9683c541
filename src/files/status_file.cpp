// The status file shared with the companion application: opening a session,
// reading, rewriting and closing it. The companion rewrites the file whole
// at any time, so every reader checks the checksum and the tag.
#include "files/status_file.h"

#include <cstring>

#include "files/files_common.h"
#include "files/status_record.h"
#include "platform/platform.h"

namespace sl {

bool OpenStatusRecord(const std::string &folder) {
    std::string path = StatusFilePath(folder);
    if (ApplyAttributeRule(path) < 0) return false;
    PrintCfgRecord rec;
    // A damaged record is replaced whole; a sound one keeps every field.
    if (ReadStatusRecord(path, &rec) == StatusRead::Bad) std::memset(&rec, 0, sizeof rec);
    SealStatusRecord(&rec, kActiveTag);
    return WriteStatusRecord(path, &rec);
}

CfgRead ReadStatusFile(const std::string &folder, PrintCfgRecord *rec) {
    std::memset(rec, 0, sizeof *rec);
    std::string path = StatusFilePath(folder);
    if (ApplyAttributeRule(path) < 0) return CfgRead::Blocked;
    switch (ReadStatusRecord(path, rec)) {
    case StatusRead::Good: return CfgRead::Good;
    case StatusRead::Bad: return CfgRead::Bad;
    case StatusRead::Missing: break;
    }
    uint32_t attrs;
    // Present but unreadable (locked by the companion): never truncate it.
    if (plat_get_attrs(path, &attrs) == 0) return CfgRead::Bad;
    rec->Checksum = StatusChecksum(rec);
    return WriteStatusRecord(path, rec) ? CfgRead::Good : CfgRead::Bad;
}

CfgSession ReadSessionRecord(const std::string &folder, PrintCfgRecord *rec) {
    std::memset(rec, 0, sizeof *rec);
    std::string path = StatusFilePath(folder);
    if (ApplyAttributeRule(path) < 0) return CfgSession::Missing;
    PrintCfgRecord read;
    switch (ReadStatusRecord(path, &read)) {
    case StatusRead::Missing: return CfgSession::Missing;
    case StatusRead::Bad: return CfgSession::Bad;
    case StatusRead::Good: break;
    }
    if (HasTag(&read, kActiveTag)) {
        *rec = read;
        return CfgSession::Active;
    }
    if (HasTag(&read, kIdleTag)) {
        *rec = read;
        return CfgSession::Idle;
    }
    sl_trace("------------------------------\n");
    return CfgSession::Bad;
}

bool WriteStatusFile(const std::string &folder, PrintCfgRecord *rec) {
    SealStatusRecord(rec, kActiveTag);
    std::string path = StatusFilePath(folder);
    if (ApplyAttributeRule(path) < 0) return false;
    return WriteStatusRecord(path, rec);
}

bool ReadAddresses(const std::string &folder, uint32_t *pc, uint32_t *board) {
    PrintCfgRecord rec;
    const CfgRead read = ReadStatusFile(folder, &rec);
    *pc = kDefaultPcAddr;
    *board = kDefaultBoardAddr;
    if (read != CfgRead::Good) return false;
    if (rec.AddrMark == kAddressMark) {
        *pc = rec.PcAddr;
        *board = rec.BoardAddr;
    }
    return true;
}

void MarkStatusIdle(const StatusFile *file) {
    if (file->access == StatusFileAccess::Unprepared) return;
    std::string path = StatusFilePath(file->folder);
    if (ApplyAttributeRule(path) < 0) return;
    PrintCfgRecord rec;
    StatusRead read = ReadStatusRecord(path, &rec);
    if (read == StatusRead::Missing) return;
    if (read == StatusRead::Bad) std::memset(&rec, 0, sizeof rec);
    rec.StateCode = kStateIdle;
    SealStatusRecord(&rec, kIdleTag);
    WriteStatusRecord(path, &rec);
    sl_trace("SetIDLE\n");
}

}  // namespace sl
