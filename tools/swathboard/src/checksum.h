// The board's seeded 16-bit folded sum, closing every reply.
#pragma once

#include <cstddef>
#include <cstdint>

namespace swathboard {

// Sum of little-endian words (a trailing odd byte added alone), seeded from
// `type` (the command code for replies), carries folded back in, not
// complemented.
std::uint16_t CalcChecksum16(const std::uint8_t *data, std::size_t length, std::uint16_t type);

}  // namespace swathboard
