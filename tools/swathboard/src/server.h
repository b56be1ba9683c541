// The board's socket loop.
#pragma once

#include "board.h"

namespace swathboard {

// Runs until board->stopping is set; owns every socket of the board.
void ServeBoard(Board *board);

}  // namespace swathboard
