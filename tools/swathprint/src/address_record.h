// The driver finds its board through the status file of its hidden folder.
// This program gives each run a private folder holding a status file whose
// address record names the PC and the board.
#pragma once

#include <cstdint>
#include <string>

namespace swathprint {

// Dotted quad to a 32-bit address, first octet in the most significant byte.
bool ParseIPv4(const std::string &text, uint32_t *address);

// Writes <folder>/printcfg.cfg: a 288-byte record with the active tag, the
// address mark, the two addresses and the record's checksum.
bool WriteAddressRecord(const std::string &folder, uint32_t pc, uint32_t board, std::string *error);

}  // namespace swathprint
