#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace sl {

// Seeded 16-bit folded sum used by the parameter files and the board replies.
uint16_t CalcChecksum16(const uint8_t *data, uint32_t length, uint16_t type);
// Job identifier from a local time; never 0.
uint16_t JobIdFromTime(const PlatTime &t);

}  // namespace sl
