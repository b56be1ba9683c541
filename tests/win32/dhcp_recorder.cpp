// Test stand-in for the DHCP client library's change notification. It
// appends one line per call to the file named by SWATHLINK_DHCP_RECORD and
// returns SWATHLINK_DHCP_RESULT (default 0, success).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Dotted(DWORD networkOrder, char (&out)[16]) {
    const auto *b = reinterpret_cast<const unsigned char *>(&networkOrder);
    std::snprintf(out, sizeof out, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

}  // namespace

extern "C" DWORD WINAPI DhcpNotifyConfigChange(LPWSTR server, LPWSTR adapter, BOOL newAddress,
                                              DWORD index, DWORD address, DWORD mask,
                                              int action) {
    char path[MAX_PATH] = {};
    if (GetEnvironmentVariableA("SWATHLINK_DHCP_RECORD", path, MAX_PATH) > 0) {
        char name[512] = "(none)";
        if (adapter) WideCharToMultiByte(CP_UTF8, 0, adapter, -1, name, sizeof name, nullptr, nullptr);
        char addr[16], net[16];
        Dotted(address, addr);
        Dotted(mask, net);
        if (FILE *f = std::fopen(path, "ab")) {
            std::fprintf(f, "server=%s adapter=%s new=%d index=%lu address=%s mask=%s action=%d\n",
                         server ? "set" : "none", name, newAddress ? 1 : 0,
                         static_cast<unsigned long>(index), addr, net, action);
            std::fclose(f);
        }
    }
    char result[16] = {};
    if (GetEnvironmentVariableA("SWATHLINK_DHCP_RESULT", result, sizeof result) > 0)
        return static_cast<DWORD>(std::strtoul(result, nullptr, 10));
    return 0;
}
