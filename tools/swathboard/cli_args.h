// Command-line options of the swathboard program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "swathboard.h"

namespace swathboard {

struct CodeFaultArg {
  enum Kind : std::uint8_t { kRefuse, kDelay, kSilence };
  Kind kind = kRefuse;
  std::uint8_t code = 0;
  std::uint32_t count = 0;
  std::uint32_t value = 0;  // refusal status or delay in ms
};

struct CliOptions {
  BoardConfig config;
  std::vector<CodeFaultArg> code_faults;
  std::optional<SwathFault> swath_fault;
  std::uint32_t swath_fault_nth = 0;
  std::optional<CloseFault> close;
  bool help = false;
};

// False with a message in *error for unknown flags, bad values or an
// address outside 127.0.0.0/8.
bool ParseCli(int argc, const char* const* argv, CliOptions* options, std::string* error);
void ApplyCliFaults(Board* board, const CliOptions& options);
const char* CliUsage();

}  // namespace swathboard
