// The board's listening socket.
#pragma once

#include <string>

#include <netinet/in.h>

namespace swathboard {

// Parses a dotted quad and accepts it only inside 127.0.0.0/8, or anywhere
// when `any` is set.
bool ParseBoardAddress(const std::string &ip, bool any, in_addr *address);

// A non-blocking socket listening on address:4000; -1 (reason in *error)
// on failure.
int OpenListener(const in_addr &address, std::string *error);

}  // namespace swathboard
