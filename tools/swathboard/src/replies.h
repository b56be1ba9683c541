// Building the board's answers.
#pragma once

#include <cstdint>
#include <vector>

#include "swathboard.h"

namespace swathboard {

struct ReplyHeader {
    std::uint8_t code = 0;
    std::uint8_t status = 0;
    std::uint16_t print_status = 0;  // debug and swath answers only
    std::uint16_t swath_state = 0;   // swath answers only
};

// The complete answer to `header.code`, sized by its checksum position and
// closed with the checksum word. Every answer carries the preset's layout
// selector in bytes 1 and 3; the job-create answer also its parameter block.
std::vector<std::uint8_t> BuildReply(const ReplyHeader &header, const ParamPreset &preset);

}  // namespace swathboard
