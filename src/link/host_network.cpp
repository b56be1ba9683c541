// Host address check: the PC must hold the address the board expects before
// a connection is tried. The system's view of its interfaces comes from the
// platform layer; only a PC with exactly one other address is reconfigured,
// and only where the platform allows it.
#include "link/host_network.h"

#include <cstring>

#include "platform/platform.h"

namespace sl {

namespace {
constexpr int kMaxHostAddresses = 32;
}

int EnsureLocalAddress(const char *wanted, const char *) {
    if (plat_check_interface_ip(wanted) == 1) return 1;

    char list[kMaxHostAddresses][128];
    int count = 0;
    plat_list_host_addresses(list, kMaxHostAddresses, &count);
    for (int i = 0; i < count; ++i) {
        sl_trace("%d(%d)-%s\n", i, count, list[i]);
        if (std::strcmp(list[i], wanted) == 0) return 1;
    }

    if (count == 1) {
        // Finds the sole address's interface (and sets its MTU); the result
        // does not matter, the rewrite below decides.
        plat_check_interface_ip(list[0]);
        if (plat_set_interface_ip(wanted, "255.255.255.0") == 1) return 1;
    }
    return 0;
}

}  // namespace sl
