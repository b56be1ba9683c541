// Host address check on posix: answers from the real interfaces and the
// host-name list, and never changes the host's settings.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>
#include <cstring>

#include "platform/platform.h"

namespace sl {

int plat_check_interface_ip(const char *address) {
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    int found = 0;
    for (ifaddrs *a = list; a && !found; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        auto *in = reinterpret_cast<sockaddr_in *>(a->ifa_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) && std::strcmp(text, address) == 0)
            found = 1;
    }
    freeifaddrs(list);
    if (found) sl_trace("MTU:%d and IP: %s Check OK!\n", 1500, address);
    return found;
}

void plat_list_host_addresses(char (*list)[128], int max, int *count) {
    *count = 0;
    char host[257] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        sl_trace("Error: %u\n", 0u);
        return;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0) {
        sl_trace("Error: %u\n", 0u);
        return;
    }
    for (addrinfo *r = res; r && *count < max; r = r->ai_next) {
        auto *in = reinterpret_cast<sockaddr_in *>(r->ai_addr);
        if (!inet_ntop(AF_INET, &in->sin_addr, list[*count], 128)) continue;
        sl_trace("nAdapter(%d): %s\n", *count, list[*count]);
        ++*count;
    }
    freeaddrinfo(res);
}

int plat_set_interface_ip(const char *address, const char *) {
    sl_trace("IP reconfig:%s\n", address);
    return 0;
}

void plat_install_board_arp(const char *, const char *, const char *, const uint8_t *) {}

}  // namespace sl
