// 1-bit input: every set pixel becomes a 2-bit dot of the dot size chosen by
// the dot-size file.
#pragma once

#include <cstdint>

namespace sl {

// Dot size from "DotsizeFile.cfg": its first byte when the file checks and the
// byte is 1, 2 or 3; otherwise 3.
uint8_t ReadDotSize();
void BuildDotSizeTable(uint8_t dotSize, uint16_t table[256]);

}  // namespace sl
