// The two decodings of the board's settings from its job-create answer.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

// `answer` is the whole NET_CMD_JOB_CREATE reply (byte 0 = command code);
// `len` bytes of it are valid. Bytes beyond `len` read as 0.
void DecodeOlderBlock(UISetupPara *ui, const uint8_t *answer, uint32_t len);
void DecodeNewerBlock(UISetupPara *ui, const uint8_t *answer, uint32_t len);

}  // namespace sl
