#include "files/status_record.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "shared/checksum.h"

namespace sl {

const uint8_t kActiveTag[16] = {0x63, 0x26, 0x04, 0x1C, 0x03, 0x05, 0x09, 0x2D,
                                0x04, 0x20, 0x09, 0x04, 0x03, 0x5E, 0x02, 0x03};
const uint8_t kIdleTag[16] = {0x63, 0x26, 0x09, 0x08, 0x57, 0x08, 0x62, 0x4B,
                              0x4A, 0x22, 0x43, 0x00, 0x05, 0x30, 0x03, 0x2A};

namespace {
// Bytes 280..283 and 286..287 lie outside the checksum.
constexpr uint32_t kCheckedBytes = 280;

const uint8_t *bytes_of(const PrintCfgRecord *rec) { return reinterpret_cast<const uint8_t *>(rec); }
}  // namespace

std::string StatusFilePath(const std::string &folder) { return plat_folder_file(folder, kStatusFileName); }

int ApplyAttributeRule(const std::string &path) {
    uint32_t attrs = 0;
    if (plat_get_attrs(path, &attrs) != 0) return 1;
    if (!(attrs & (kAttrReadOnly | kAttrHidden | kAttrSystem))) return 1;
    if (plat_set_attrs(path, kAttrArchive) == 0) return 1;
    if (plat_may_delete_locked_file())
        (void)plat_delete_file(path);  // a fresh file is written in its place, or the write fails
    else
        sl_trace("printcfg.cfg cannot be made writable: left as it is\n");
    return -1;
}

uint16_t StatusChecksum(const PrintCfgRecord *rec) { return CalcChecksum16(bytes_of(rec), kCheckedBytes, 0); }

bool HasTag(const PrintCfgRecord *rec, const uint8_t tag[16]) {
    return std::memcmp(rec->tag, tag, sizeof rec->tag) == 0;
}

StatusRead ReadStatusRecord(const std::string &path, PrintCfgRecord *rec) {
    std::memset(rec, 0, sizeof *rec);
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return StatusRead::Missing;
    size_t got = std::fread(rec, 1, sizeof *rec, f);
    std::fclose(f);
    if (got != sizeof *rec) return StatusRead::Bad;
    return StatusChecksum(rec) == rec->Checksum ? StatusRead::Good : StatusRead::Bad;
}

void SealStatusRecord(PrintCfgRecord *rec, const uint8_t tag[16]) {
    std::memcpy(rec->tag, tag, sizeof rec->tag);
    rec->Checksum = StatusChecksum(rec);
}

bool WriteStatusRecord(const std::string &path, const PrintCfgRecord *rec) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes_of(rec), 1, sizeof *rec, f) == sizeof *rec;
    // A failed flush at close means the record did not reach the file.
    return (std::fclose(f) == 0) && ok;
}

}  // namespace sl
