// Checked parameter files and the copy of the board's parameter block.
#pragma once

#include <cstdint>

#include <string>

#include "shared/records.h"

namespace sl {

constexpr const char *kParaSaveFileName = "SaveParafile.cfg";
constexpr const char *kDotSizeFileName = "DotsizeFile.cfg";

// Checked parameter files end with this checksum type; the status record uses 0.
constexpr uint16_t kParaChecksumType = 0xABCC;

// True when the file was read whole and its checksum matches; false when it
// cannot be opened, is short, or fails the checksum.
[[nodiscard]] bool ReadParaFile(const char *path, uint8_t *buffer, uint32_t n);
void SaveParaFile(const std::string &folder, uint16_t jobId, const UISetupPara *block);

}  // namespace sl
