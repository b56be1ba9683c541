#include "api/one_bit.h"

#include "files/para_files.h"
#include "platform/platform.h"

namespace sl {

uint8_t ReadDotSize(const std::string &folder) {
    uint8_t file[6] = {};
    std::string path = plat_folder_file(folder, kDotSizeFileName);
    if (ReadParaFile(path.c_str(), file, sizeof file) && file[0] >= 1 && file[0] <= 3) return file[0];
    return 3;
}

void BuildDotSizeTable(uint8_t dotSize, uint16_t table[256]) {
    for (uint32_t v = 0; v < 256; ++v) {
        uint16_t word = 0;
        for (uint32_t j = 0; j < 8; ++j)
            if (v & (1u << j)) word |= static_cast<uint16_t>(dotSize << (2 * j));
        // Swapped so that, stored low byte first, the left pixels come first.
        table[v] = static_cast<uint16_t>((word >> 8) | (word << 8));
    }
}

}  // namespace sl
