// Reading the host's 64-byte command packets.
#pragma once

#include <cstdint>
#include <vector>

#include "swathboard.h"

namespace swathboard {

// The named fields of a packet, per its command code (byte 0). Unknown codes
// decode to no fields.
std::vector<NamedField> DecodePacket(const std::uint8_t *packet);

// The two swath fields the board acts on.
std::uint32_t SwathDataLength(const std::uint8_t *packet);
std::uint32_t SwathSerial(const std::uint8_t *packet);

}  // namespace swathboard
