// Host network settings on Windows: the TCP/IP interface keys (static address,
// mask, MTU), the DHCP client's change notification, the host-name address
// list and the static address-resolution entry for the board.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/arp_entry.h"

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

// Interface keys are read with read access only: a host running without
// elevation must still find its address. Write access is asked for the one
// key that is changed, when it is changed.
LONG OpenInterfaceKey(const char *keyName, REGSAM access, RegKey *key) {
    char path[512];
    std::snprintf(path, sizeof path, "%s\\%s", kInterfacesKey, keyName);
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key->h);
}

// The first string of the key's "IPAddress" multi-string. The whole value
// is read, however many addresses it lists, and the first string is kept
// in a bounded, zeroed buffer: an overlong first string can only compare
// unequal.
LONG ReadFirstAddress(HKEY key, char (&text)[66]) {
    std::memset(text, 0, sizeof text);
    DWORD type = 0;
    DWORD len = 0;
    LONG rc = RegQueryValueExA(key, "IPAddress", nullptr, &type, nullptr, &len);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<char> value(len + 2, '\0');
    rc = RegQueryValueExA(key, "IPAddress", nullptr, &type, reinterpret_cast<BYTE *>(value.data()),
                          &len);
    if (rc != ERROR_SUCCESS) return rc;
    std::memcpy(text, value.data(), std::min<size_t>(strnlen(value.data(), value.size()), 65));
    return ERROR_SUCCESS;
}

LONG WriteMtu(const char *keyName) {
    RegKey key;
    LONG rc = OpenInterfaceKey(keyName, KEY_SET_VALUE, &key);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD wanted = kWantedMtu;
    return RegSetValueExA(key.h, "MTU", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&wanted),
                          sizeof wanted);
}

int EnsureMtu(HKEY key, const char *keyName, const char *address) {
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
    rc = WriteMtu(keyName);
    if (rc != ERROR_SUCCESS) {
        sl_trace("RegSetValueEx(MTU:%X)fail, code: %d\n", static_cast<unsigned>(kWantedMtu),
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
// The function is looked up at run time: a system without it (or with a
// stand-in that does nothing) only delays the change to the next start.
int NotifyAddressChange(const char *address, const char *keyName) {
    HMODULE dll = LoadLibraryA("dhcpcsvc");
    if (!dll) {
        sl_trace("dhcpcsvc not loaded, code: %d\n", static_cast<int>(GetLastError()));
        return 0;
    }
    auto notify = reinterpret_cast<DhcpNotifyFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "DhcpNotifyConfigChange")));
    if (!notify) {
        sl_trace("DhcpNotifyConfigChange not found\n");
        FreeLibrary(dll);
        return 0;
    }
    wchar_t adapter[257] = {};
    MultiByteToWideChar(CP_ACP, 0, keyName, -1, adapter, 256);
    DWORD rc = notify(nullptr, adapter, TRUE, 0, inet_addr(address), inet_addr("255.255.255.0"), 0);
    FreeLibrary(dll);
    if (rc != 0) sl_trace("DhcpNotifyConfigChange fail, code: %d\n", static_cast<int>(rc));
    return rc == 0 ? 1 : 0;
}

// Runs the command line as a program without a console window (a GUI host
// would flash one otherwise), waiting a bounded time for it to end.
void RunHidden(char *commandLine) {
    constexpr DWORD kCommandWaitMs = 10000;
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION proc{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &start, &proc)) {
        sl_trace("arp: not started, code: %d\n", static_cast<int>(GetLastError()));
        return;
    }
    if (WaitForSingleObject(proc.hProcess, kCommandWaitMs) != WAIT_OBJECT_0)
        sl_trace("arp: still running, left alone\n");
    CloseHandle(proc.hThread);
    CloseHandle(proc.hProcess);
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
        rc = RegOpenKeyExA(interfaces.h, name, 0, KEY_READ, &sub.h);
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
        return EnsureMtu(sub.h, name, address);
    }
    return 0;
}

void plat_list_host_addresses(char (*list)[128], int max, int *count) {
    *count = 0;
    plat_net_startup();
    char host[257] = {};
    if (gethostname(host, 256) != 0) {
        sl_trace("Error: %u\n", static_cast<unsigned>(WSAGetLastError()));
        return;
    }
    hostent *entry = gethostbyname(host);
    if (!entry) {
        sl_trace("Error: %u\n", static_cast<unsigned>(WSAGetLastError()));
        return;
    }
    if (entry->h_addrtype != AF_INET || entry->h_length != 4) return;
    for (int i = 0; entry->h_addr_list[i] && *count < max && *count < 32; ++i) {
        in_addr addr;
        std::memcpy(&addr, entry->h_addr_list[i], sizeof addr);
        std::snprintf(list[*count], 128, "%s", inet_ntoa(addr));
        sl_trace("nAdapter(%d): %s\n", *count, list[*count]);
        ++*count;
    }
}

// The key is rewritten first and the change announced after. A missing or
// failing announcement leaves the key right for the next start of the
// interface; the connection attempt goes on and tells whether the address
// is already held.
int plat_set_interface_ip(const char *address, const char *mask) {
    sl_trace("IP reconfig:%s\n", address);
    if (gAdapterKeyName[0] == '\0') return 0;
    {
        RegKey key;
        if (OpenInterfaceKey(gAdapterKeyName, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
            sl_trace("can not open reg list %s\\%s\n", kInterfacesKey, gAdapterKeyName);
            return 0;
        }
        LONG rc = WriteMultiString(key.h, "IPAddress", address);
        if (rc == ERROR_SUCCESS) rc = WriteMultiString(key.h, "SubnetMask", mask);
        if (rc != ERROR_SUCCESS) {
            sl_trace("RegSetValueEx(IPAddress) fail, code: %d\n", static_cast<int>(rc));
            return 0;
        }
    }
    if (NotifyAddressChange(address, gAdapterKeyName) != 1)
        sl_trace("address change not announced: it applies from the next interface start\n");
    return 1;
}

bool IsDottedQuad(const char *text) {
    if (!text) return false;
    const char *p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *p++ != '.') return false;
        int digits = 0;
        unsigned value = 0;
        for (; *p >= '0' && *p <= '9'; ++p, ++digits) value = value * 10 + static_cast<unsigned>(*p - '0');
        if (digits == 0 || digits > 3 || value > 255) return false;
    }
    return *p == '\0';
}

bool BuildArpCommand(const char *pc_ip, const char *board_ip, const uint8_t mac[6], char *out,
                     size_t cap) {
    if (!IsDottedQuad(pc_ip) || !IsDottedQuad(board_ip)) return false;
    int n = std::snprintf(out, cap, "arp -s %s %02x-%02x-%02x-%02x-%02x-%02x %s", board_ip, mac[0],
                          mac[1], mac[2], mac[3], mac[4], mac[5], pc_ip);
    return n > 0 && static_cast<size_t>(n) < cap;
}

MIB_IPNETROW BoardArpRow(const char *board_ip, const uint8_t mac[6], DWORD adapter_index) {
    MIB_IPNETROW row{};
    row.dwIndex = adapter_index;
    row.dwPhysAddrLen = 6;
    std::memcpy(row.bPhysAddr, mac, 6);
    row.dwAddr = inet_addr(board_ip);
    row.dwType = MIB_IPNET_TYPE_STATIC;
    return row;
}

// The hardware address text is written from the bytes, so only the
// addresses need checking.
void plat_install_board_arp(const char *pc_ip, const char *board_ip, const char *,
                            const uint8_t mac[6]) {
    char command[64];
    if (BuildArpCommand(pc_ip, board_ip, mac, command, sizeof command))
        RunHidden(command);
    else
        sl_trace("arp: refused address text\n");
    if (!IsDottedQuad(board_ip)) return;

    IP_ADAPTER_INFO *list = GetAdapterList();
    if (!list) return;
    for (IP_ADAPTER_INFO *a = list; a; a = a->Next) {
        TraceAdapter(a);
        if (a->Type == MIB_IF_TYPE_ETHERNET) {
            MIB_IPNETROW row = BoardArpRow(board_ip, mac, a->Index);
            // An existing entry for the address makes this fail harmlessly.
            CreateIpNetEntry(&row);
        }
    }
    std::free(list);
}

}  // namespace sl
