// The status file shared with the companion application: opening a session,
// reading, rewriting and closing it. The companion rewrites the file whole
// at any time, so every reader checks the checksum and the tag.
#include <cstring>

#include "files/parameter_files.h"
#include "files/status_record.h"
#include "platform/platform.h"

namespace sl {

int PrintCfgInit() {
    std::string path = StatusFilePath();
    if (ApplyAttributeRule(path) < 0) return -1;
    PrintCfgRecord rec;
    // A damaged record is replaced whole; a sound one keeps every field.
    if (ReadStatusRecord(path, &rec) == StatusRead::Bad) std::memset(&rec, 0, sizeof rec);
    SealStatusRecord(&rec, kActiveTag);
    return WriteStatusRecord(path, &rec) ? 1 : -1;
}

int PrintCfgRead(PrintCfgRecord *rec) {
    std::memset(rec, 0, sizeof *rec);
    std::string path = StatusFilePath();
    if (ApplyAttributeRule(path) < 0) return -1;
    switch (ReadStatusRecord(path, rec)) {
    case StatusRead::Good:
        return 1;
    case StatusRead::Bad:
        return 0;
    case StatusRead::Missing:
        break;
    }
    uint32_t attrs;
    // Present but unreadable (locked by the companion): never truncate it.
    if (plat_get_attrs(path, &attrs)) return 0;
    rec->Checksum = StatusChecksum(rec);
    return WriteStatusRecord(path, rec) ? 1 : 0;
}

int PrintCfgReadActive(PrintCfgRecord *rec) {
    std::memset(rec, 0, sizeof *rec);
    std::string path = StatusFilePath();
    if (ApplyAttributeRule(path) < 0) return -1;
    PrintCfgRecord read;
    switch (ReadStatusRecord(path, &read)) {
    case StatusRead::Missing:
        return -1;
    case StatusRead::Bad:
        return -2;
    case StatusRead::Good:
        break;
    }
    if (HasTag(&read, kActiveTag)) {
        *rec = read;
        return 1;
    }
    if (HasTag(&read, kIdleTag)) {
        *rec = read;
        return 0;
    }
    sl_trace("------------------------------\n");
    return -2;
}

int PrintCfgWrite(PrintCfgRecord *rec) {
    SealStatusRecord(rec, kActiveTag);
    std::string path = StatusFilePath();
    if (ApplyAttributeRule(path) < 0) return -1;
    return WriteStatusRecord(path, rec) ? 1 : -1;
}

int PrintCfgGetAddresses(uint32_t *pc, uint32_t *board) {
    PrintCfgRecord rec;
    int read = PrintCfgRead(&rec);
    *pc = kDefaultPcAddr;
    *board = kDefaultBoardAddr;
    if (read != 1) return 0;
    if (rec.AddrMark == kAddressMark) {
        *pc = rec.PcAddr;
        *board = rec.BoardAddr;
    }
    return 1;
}

void SetIDLE() {
    if (gStatusFile.state == 0) return;
    std::string path = StatusFilePath();
    if (ApplyAttributeRule(path) < 0) return;
    PrintCfgRecord rec;
    StatusRead read = ReadStatusRecord(path, &rec);
    if (read == StatusRead::Missing) return;
    if (read == StatusRead::Bad) std::memset(&rec, 0, sizeof rec);
    rec.StateCode = 0;
    SealStatusRecord(&rec, kIdleTag);
    WriteStatusRecord(path, &rec);
    sl_trace("SetIDLE\n");
}

}  // namespace sl
