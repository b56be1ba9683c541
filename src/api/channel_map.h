// Which two head channels print each of the colours K, C, M, Y: the board's
// map where it has a usable one, else the built-in map.
#pragma once

#include <cstdint>

#include "shared/records.h"

namespace sl {

// Board channel map (4 bytes at chantable[2..5]); false (and C1, C2 left
// alone) when invalid.
bool DecodeBoardChannelMap(const uint8_t map[4], uint8_t C1[8], uint8_t C2[8]);
void ConvertColorToChannel(const JobProp *job, const UISetupPara *ui, FormatInfo *fmt, bool xdpi720);

}  // namespace sl
