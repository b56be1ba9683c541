// Checked parameter files and the copy of the board's parameter block.
#include "files/para_files.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "shared/checksum.h"

namespace sl {

bool ReadParaFile(const char *path, uint8_t *buffer, uint32_t n) {
    if (!path || !buffer || n < 2) return false;
    std::memset(buffer, 0, n);
    FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    size_t got = std::fread(buffer, 1, n, f);
    std::fclose(f);
    // A short file has no checksum word of its own; never check zeros as one.
    if (got != n) return false;
    uint16_t stored = static_cast<uint16_t>(buffer[n - 2] | (buffer[n - 1] << 8));
    return CalcChecksum16(buffer, n - 2, kParaChecksumType) == stored;
}

void SaveParaFile(const std::string &folder, uint16_t jobId, const UISetupPara *block) {
    SPara rec{};
    rec.JobId = jobId;
    rec.para = *block;
    std::string path = plat_folder_file(folder, kParaSaveFileName);
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        // Unbuffered: the file is complete as soon as the write returns.
        std::setvbuf(f, nullptr, _IONBF, 0);
        std::fwrite(&rec, sizeof rec, 1, f);
        std::fclose(f);
    }
    // The block carries no voltage divisor of its own; the line keeps its text.
    sl_trace("start SaveParafile UI_CurSetting.VoltageBaseDiv:%d\n", 0);
}

}  // namespace sl
