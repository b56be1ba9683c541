// The board's static address-resolution entry as the win32 platform layer
// builds it: the arp command line and the IP Helper row. Declared here so
// the Windows unit tests can check what would reach the system.
#pragma once

#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace sl {

// "arp -s <board> <mac> <pc>", the hardware address written from its six
// bytes. False, and nothing written, when either address is not a dotted
// quad: the line is run as a program, and only addresses may reach it.
bool BuildArpCommand(const char *pc_ip, const char *board_ip, const uint8_t mac[6], char *out,
                     size_t cap);

// The static row for the board on the adapter with index `adapter_index`.
MIB_IPNETROW BoardArpRow(const char *board_ip, const uint8_t mac[6], DWORD adapter_index);

// Dotted-quad text: four decimal parts of one to three digits, each <= 255.
bool IsDottedQuad(const char *text);

}  // namespace sl
