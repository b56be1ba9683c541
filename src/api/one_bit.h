// 1-bit input: every set pixel becomes a 2-bit dot of the dot size chosen by
// the dot-size file.
#pragma once

#include <cstdint>
#include <string>

#include "swathlink/swathlink.h"

namespace sl {

// Dot size from "DotsizeFile.cfg": its first byte when the file checks and the
// byte is 1, 2 or 3; otherwise 3.
uint8_t ReadDotSize(const std::string &folder);
// A host stride of exactly 1 bit per pixel (BytesPerLine / (Width / 8) = 1).
inline bool IsOneBitInput(const JobProp *p) { return p->Width >= 8 && p->BytesPerLine / (p->Width / 8) == 1; }
void BuildDotSizeTable(uint8_t dotSize, uint16_t table[256]);

}  // namespace sl
