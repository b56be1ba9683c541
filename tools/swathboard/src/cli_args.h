// Command-line options of the swathboard program.
#pragma once

#include <string>

#include "swathboard.h"

namespace swathboard {

struct CliOptions {
  BoardConfig config;
  bool help = false;
};

// False with a message in *error for unknown flags, bad values or an
// address outside 127.0.0.0/8.
bool ParseCli(int argc, const char* const* argv, CliOptions* options, std::string* error);
const char* CliUsage();

}  // namespace swathboard
