// Host network settings on Windows: the TCP/IP interface keys (static address,
// mask, MTU), the DHCP client's change notification, the host-name address
// list and the static address-resolution entry for the board.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace sl {

namespace {

constexpr const char *kInterfacesKey =
    "System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";
constexpr DWORD kWantedMtu = 1500;

// Name of the interface key found by the last successful check. Sized for
// any key name, so that a rewrite never opens a truncated, wrong key.
char gAdapterKeyName[256] = "";

struct RegKey {
    HKEY h = nullptr;
    ~RegKey() {
        if (h) RegCloseKey(h);
    }
};

// The first string of the key's "IPAddress" multi-string. The value is read
// into a bounded, zeroed buffer: an overlong or unterminated value can only
// compare unequal.
LONG ReadFirstAddress(HKEY key, char (&text)[66]) {
    std::memset(text, 0, sizeof text);
    DWORD type = 0;
    DWORD len = 64;
    return RegQueryValueExA(key, "IPAddress", nullptr, &type, reinterpret_cast<BYTE *>(text), &len);
}

int EnsureMtu(HKEY key, const char *address) {
    DWORD mtu = 0;
    DWORD type = 0;
    DWORD len = sizeof mtu;
    LONG rc = RegQueryValueExA(key, "MTU", nullptr, &type, reinterpret_cast<BYTE *>(&mtu), &len);
    if (rc == ERROR_FILE_NOT_FOUND) {
        mtu = 0;
        sl_trace("undefine MTU\n");
    } else if (rc != ERROR_SUCCESS) {
        sl_trace("RegQueryValueEx(MTU)=%d fail, code: %d\n", static_cast<int>(mtu),
                 static_cast<int>(rc));
        return 0;
    }
    if (mtu == kWantedMtu) {
        sl_trace("MTU:%d and IP: %s Check OK!\n", static_cast<int>(mtu), address);
        return 1;
    }
    sl_trace("reconfig MTU: %d->%d\n", static_cast<int>(mtu), static_cast<int>(kWantedMtu));
    DWORD wanted = kWantedMtu;
    rc = RegSetValueExA(key, "MTU", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&wanted),
                        sizeof wanted);
    if (rc != ERROR_SUCCESS) {
        sl_trace("RegSetValueEx(MTU:%X)fail, code: %d\n", static_cast<unsigned>(wanted),
                 static_cast<int>(rc));
        return 0;
    }
    return 1;
}

// One string in a multi-string: the text, its NUL and the list's closing NUL.
LONG WriteMultiString(HKEY key, const char *name, const char *text) {
    char value[130] = {};
    size_t n = strnlen(text, sizeof value - 2);
    std::memcpy(value, text, n);
    return RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(value),
                          static_cast<DWORD>(n + 2));
}

using DhcpNotifyFn = DWORD(WINAPI *)(LPWSTR server, LPWSTR adapter, BOOL newAddress,
                                     DWORD index, DWORD address, DWORD mask, int action);

// Makes the DHCP client service apply the rewritten static address at once.
int NotifyAddressChange(const char *address, const char *keyName) {
    HMODULE dll = LoadLibraryA("dhcpcsvc");
    if (!dll) return 0;
    auto notify = reinterpret_cast<DhcpNotifyFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "DhcpNotifyConfigChange")));
    if (!notify) {
        FreeLibrary(dll);
        return 0;
    }
    wchar_t adapter[257] = {};
    MultiByteToWideChar(CP_ACP, 0, keyName, -1, adapter, 256);
    DWORD rc = notify(nullptr, adapter, TRUE, 0, inet_addr(address), inet_addr("255.255.255.0"), 0);
    FreeLibrary(dll);
    return rc == 0 ? 1 : 0;
}

// The command line reaches the command interpreter: only address and
// hardware-address characters may be part of it.
bool IsAddressText(const char *s) {
    if (!s || !*s) return false;
    for (; *s; ++s) {
        char c = *s;
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                  c == '.' || c == '-';
        if (!ok) return false;
    }
    return true;
}

struct AdapterType {
    UINT type;
    const char *name;
};
constexpr AdapterType kAdapterTypes[] = {
    {MIB_IF_TYPE_OTHER, "Other\n"},       {MIB_IF_TYPE_ETHERNET, "Ethernet\n"},
    {MIB_IF_TYPE_TOKENRING, "Token Ring\n"}, {MIB_IF_TYPE_FDDI, "FDDI\n"},
    {MIB_IF_TYPE_PPP, "PPP\n"},           {MIB_IF_TYPE_LOOPBACK, "Lookback\n"},
    {MIB_IF_TYPE_SLIP, "Slip\n"},
};

// The adapter listing goes to the trace: a host application has no console,
// and the trace is where the rest of the connection story is told.
void TraceAdapter(const IP_ADAPTER_INFO *a) {
    sl_trace("\tComboIndex: \t%d\n", static_cast<int>(a->ComboIndex));
    sl_trace("\tAdapter Name: \t%s\n", a->AdapterName);
    sl_trace("\tAdapter Desc: \t%s\n", a->Description);
    sl_trace("\tAdapter Addr: \t");
    UINT n = a->AddressLength < MAX_ADAPTER_ADDRESS_LENGTH ? a->AddressLength
                                                            : MAX_ADAPTER_ADDRESS_LENGTH;
    for (UINT i = 0; i < n; ++i) sl_trace(i + 1 == n ? "%.2X\n" : "%.2X-", a->Address[i]);
    if (n == 0) sl_trace("\n");
    sl_trace("\tIndex: \t%d\n", static_cast<int>(a->Index));
    sl_trace("\tType: \t");
    const char *type = nullptr;
    for (const AdapterType &t : kAdapterTypes)
        if (t.type == a->Type) type = t.name;
    if (type)
        sl_trace("%s", type);
    else
        sl_trace("Unknown type %ld\n", static_cast<long>(a->Type));
    sl_trace("\tIP Address: \t%s\n", a->IpAddressList.IpAddress.String);
    sl_trace("\tIP Mask: \t%s\n", a->IpAddressList.IpMask.String);
    sl_trace("\tGateway: \t%s\n", a->GatewayList.IpAddress.String);
    sl_trace("\t***\n");
    if (a->DhcpEnabled) {
        sl_trace("\tDHCP Enabled: Yes\n");
        sl_trace("\t  DHCP Server: \t%s\n", a->DhcpServer.IpAddress.String);
        std::time_t obtained = static_cast<std::time_t>(a->LeaseObtained);
        char when[32] = "?\n";
        if (const std::tm *t = std::localtime(&obtained))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S\n", t);
        sl_trace("\t  Lease Obtained: %s", when);
    } else {
        sl_trace("\tDHCP Enabled: No\n");
    }
    if (a->HaveWins) {
        sl_trace("\tHave Wins: Yes\n");
        sl_trace("\t  Primary Wins Server:    %s\n", a->PrimaryWinsServer.IpAddress.String);
        sl_trace("\t  Secondary Wins Server:  %s\n", a->SecondaryWinsServer.IpAddress.String);
    } else {
        sl_trace("\tHave Wins: No\n");
    }
    sl_trace("\n");
}

// Adapter list with one retry at the size the first call reports; nullptr
// after tracing the failure. The caller frees the list.
IP_ADAPTER_INFO *GetAdapterList() {
    ULONG len = 640;
    auto *list = static_cast<IP_ADAPTER_INFO *>(std::malloc(len));
    if (!list) {
        sl_trace("Error allocating memory needed to call GetAdaptersinfo\n");
        return nullptr;
    }
    if (GetAdaptersInfo(list, &len) == ERROR_BUFFER_OVERFLOW) {
        std::free(list);
        list = static_cast<IP_ADAPTER_INFO *>(std::malloc(len));
        if (!list) {
            sl_trace("Error allocating memory needed to call GetAdaptersinfo\n");
            return nullptr;
        }
    }
    DWORD rc = GetAdaptersInfo(list, &len);
    if (rc != NO_ERROR) {
        sl_trace("GetAdaptersInfo failed with error: %d\n", static_cast<int>(rc));
        std::free(list);
        return nullptr;
    }
    return list;
}

}  // namespace

int plat_check_interface_ip(const char *address) {
    RegKey interfaces;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInterfacesKey, 0, KEY_READ, &interfaces.h);
    if (rc != ERROR_SUCCESS) {
        sl_trace("RegOpenKeyEx(%s) fail, code: %d\n", kInterfacesKey, static_cast<int>(rc));
        return 0;
    }
    DWORD subkeys = 0;
    rc = RegQueryInfoKeyA(interfaces.h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) {
        sl_trace("RegQueryInfoKey fail, code: %d\n", static_cast<int>(rc));
        return 0;
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        char name[256] = {};
        DWORD nameLen = sizeof name;
        rc = RegEnumKeyExA(interfaces.h, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            sl_trace("RegEnumKeyEx(%d)fail, code: %d\n", static_cast<int>(i), static_cast<int>(rc));
            return 0;
        }
        RegKey sub;
        rc = RegOpenKeyExA(interfaces.h, name, 0, KEY_ALL_ACCESS, &sub.h);
        if (rc != ERROR_SUCCESS) {
            sl_trace("RegOpenKeyEx(%s)fail, code: %d\n", name, static_cast<int>(rc));
            return 0;
        }
        char first[66];
        rc = ReadFirstAddress(sub.h, first);
        if (rc != ERROR_SUCCESS) {
            sl_trace("RegQueryValueEx(IPAddress) fail, code: %d\n", static_cast<int>(rc));
            return 0;
        }
        if (std::strcmp(first, address) != 0) continue;
        std::snprintf(gAdapterKeyName, sizeof gAdapterKeyName, "%s", name);
        return EnsureMtu(sub.h, address);
    }
    return 0;
}

int plat_list_host_addresses(char (*list)[128], int max, int *count) {
    *count = 0;
    plat_net_startup();
    char host[257] = {};
    if (gethostname(host, 256) != 0) {
        sl_trace("Error: %u\n", static_cast<unsigned>(WSAGetLastError()));
        return 1;
    }
    hostent *entry = gethostbyname(host);
    if (!entry) {
        sl_trace("Error: %u\n", static_cast<unsigned>(WSAGetLastError()));
        return 1;
    }
    if (entry->h_addrtype != AF_INET || entry->h_length != 4) return 1;
    for (int i = 0; entry->h_addr_list[i] && *count < max && *count < 32; ++i) {
        in_addr addr;
        std::memcpy(&addr, entry->h_addr_list[i], sizeof addr);
        std::snprintf(list[*count], 128, "%s", inet_ntoa(addr));
        sl_trace("nAdapter(%d): %s\n", *count, list[*count]);
        ++*count;
    }
    return 1;
}

int plat_set_interface_ip(const char *address, const char *mask) {
    sl_trace("IP reconfig:%s\n", address);
    if (gAdapterKeyName[0] == '\0') return 0;
    char path[512];
    std::snprintf(path, sizeof path, "%s\\%s", kInterfacesKey, gAdapterKeyName);
    {
        RegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &key.h) != ERROR_SUCCESS) {
            sl_trace("can not open reg list %s\n", path);
            return 0;
        }
        WriteMultiString(key.h, "IPAddress", address);
        WriteMultiString(key.h, "SubnetMask", mask);
    }
    return NotifyAddressChange(address, gAdapterKeyName) == 1 ? 1 : 0;
}

void plat_install_board_arp(const char *pc_ip, const char *board_ip, const char *mac_text,
                            const uint8_t mac[6]) {
    if (IsAddressText(pc_ip) && IsAddressText(board_ip) && IsAddressText(mac_text)) {
        char command[400];
        std::snprintf(command, sizeof command, "arp -s %s %s %s", board_ip, mac_text, pc_ip);
        std::system(command);
    } else {
        sl_trace("arp: refused address text\n");
    }

    MIB_IPNETROW row{};
    row.dwPhysAddrLen = 6;
    std::memcpy(row.bPhysAddr, mac, 6);
    row.dwAddr = inet_addr(board_ip);
    row.dwType = MIB_IPNET_TYPE_STATIC;

    IP_ADAPTER_INFO *list = GetAdapterList();
    if (!list) return;
    for (IP_ADAPTER_INFO *a = list; a; a = a->Next) {
        TraceAdapter(a);
        if (a->Type == MIB_IF_TYPE_ETHERNET) {
            row.dwIndex = a->Index;
            // An existing entry for the address makes this fail harmlessly.
            CreateIpNetEntry(&row);
        }
    }
    std::free(list);
}

}  // namespace sl
