// Host address check and rewrite against the TCP/IP interface keys of the
// test's own Wine prefix, with the DHCP notification caught by the test's
// dhcpcsvc.dll.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/host_network.h"
#include "platform/platform.h"

namespace {

constexpr const char *kParams = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
constexpr const char *kInterfaces = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A multi-string value from its strings.
std::string Multi(const std::vector<std::string> &strings) {
    std::string v;
    for (const auto &s : strings) v += s + '\0';
    return v + '\0';
}

class InterfaceKeys : public ::testing::Test {
protected:
    void SetUp() override {
        DropInterfaces();
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInterfaces, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(k);
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        record_ = std::string(dir) + "dhcp_notify.txt";
        DeleteFileA(record_.c_str());
        SetEnvironmentVariableA("SWATHLINK_DHCP_RECORD", record_.c_str());
        SetEnvironmentVariableA("SWATHLINK_DHCP_RESULT", nullptr);
    }
    void TearDown() override {
        DropInterfaces();
        DeleteFileA(record_.c_str());
    }
    static void DropInterfaces() {
        HKEY params = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParams, 0, KEY_ALL_ACCESS, &params) != ERROR_SUCCESS)
            return;
        RegDeleteTreeA(params, "Interfaces");
        RegCloseKey(params);
    }
    static std::string Path(const std::string &name) { return std::string(kInterfaces) + "\\" + name; }

    // An interface key; an empty address list leaves "IPAddress" out, a
    // negative MTU leaves "MTU" out.
    static void AddInterface(const std::string &name, const std::vector<std::string> &addresses,
                             long mtu = -1) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, Path(name).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        if (!addresses.empty()) {
            const std::string v = Multi(addresses);
            RegSetValueExA(k, "IPAddress", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(v.data()),
                           static_cast<DWORD>(v.size()));
        }
        if (mtu >= 0) {
            DWORD m = static_cast<DWORD>(mtu);
            RegSetValueExA(k, "MTU", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&m), sizeof m);
        }
        RegCloseKey(k);
    }
    // Everyone may read the key and nobody may change it, as for a host
    // running without elevation.
    static void MakeReadOnly(const std::string &name) {
        HKEY k = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path(name).c_str(), 0, KEY_ALL_ACCESS, &k),
                  ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)",
                                                                         SDDL_REVISION_1, &sd, nullptr));
        EXPECT_EQ(RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
        LocalFree(sd);
        RegCloseKey(k);
        HKEY w = nullptr;
        ASSERT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path(name).c_str(), 0, KEY_SET_VALUE, &w),
                  ERROR_SUCCESS);
    }
    static std::string Value(const std::string &name, const char *value) {
        char buf[512] = {};
        DWORD len = sizeof buf - 2;
        DWORD type = 0;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, Path(name).c_str(), value, RRF_RT_ANY, &type, buf,
                         &len) != ERROR_SUCCESS)
            return "(absent)";
        return std::string(buf, len);
    }
    static long Mtu(const std::string &name) {
        DWORD m = 0;
        DWORD len = sizeof m;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, Path(name).c_str(), "MTU", RRF_RT_REG_DWORD, nullptr,
                         &m, &len) != ERROR_SUCCESS)
            return -1;
        return static_cast<long>(m);
    }
    std::string record_;
};

TEST_F(InterfaceKeys, FreshPrefixHasNoInterfacesKeyAndNothingMatches) {
    DropInterfaces();
    EXPECT_EQ(sl::plat_check_interface_ip("127.0.0.181"), 0);
    EXPECT_EQ(sl::plat_set_interface_ip("127.0.0.181", "255.255.255.0"), 0);
}

// What the check finds and does to the MTU, per key layout.
struct CheckCase {
    const char *what;
    std::vector<std::string> firstKey;  // enumerated first; empty: no "IPAddress"
    long firstMtu;
    std::vector<std::string> secondKey;
    long secondMtu;
    int result;
    long secondMtuAfter;
};

TEST_F(InterfaceKeys, CheckFindsTheAddressAndSetsTheMtu) {
    const std::string longTail(80, '9');  // makes the list longer than one read buffer
    const CheckCase cases[] = {
        {"match without MTU gets 1500", {"10.1.1.1"}, 1500, {"127.0.0.181"}, -1, 1, 1500},
        {"match with another MTU gets 1500", {"10.1.1.1"}, 1400, {"127.0.0.181"}, 576, 1, 1500},
        {"match with MTU 1500 is left alone", {"10.1.1.1"}, -1, {"127.0.0.181"}, 1500, 1, 1500},
        {"several addresses: only the first counts", {"10.1.1.1"}, -1, {"10.2.2.2", "127.0.0.181"}, -1, 0, -1},
        {"several addresses, the first one matching", {"10.1.1.1"}, -1, {"127.0.0.181", "10.2.2.2"}, -1, 1, 1500},
        {"a key without an address ends the search", {}, -1, {"127.0.0.181"}, -1, 0, -1},
        {"a list longer than the read buffer is read whole", {"10.1.1.1", longTail}, -1,
         {"127.0.0.181", longTail}, -1, 1, 1500},
        {"no key holds the address", {"10.1.1.1"}, -1, {"10.2.2.2"}, 1500, 0, 1500},
    };
    for (const CheckCase &c : cases) {
        SCOPED_TRACE(c.what);
        DropInterfaces();
        AddInterface("{A-first}", c.firstKey, c.firstMtu);
        AddInterface("{B-second}", c.secondKey, c.secondMtu);
        EXPECT_EQ(sl::plat_check_interface_ip("127.0.0.181"), c.result);
        EXPECT_EQ(Mtu("{B-second}"), c.secondMtuAfter);
        EXPECT_EQ(Mtu("{A-first}"), c.firstMtu);
    }
}

// Finding the address needs read access only; write access is asked for
// only when the MTU must change.
TEST_F(InterfaceKeys, ReadOnlyKeysStillTellTheAddress) {
    AddInterface("{A-first}", {"10.1.1.1"}, 1500);
    AddInterface("{B-second}", {"127.0.0.181"}, 1500);
    AddInterface("{C-third}", {"127.0.0.189"}, -1);
    MakeReadOnly("{A-first}");
    MakeReadOnly("{B-second}");
    MakeReadOnly("{C-third}");
    EXPECT_EQ(sl::plat_check_interface_ip("127.0.0.181"), 1);
    EXPECT_EQ(sl::plat_check_interface_ip("127.0.0.189"), 0);  // its MTU cannot be set
    EXPECT_EQ(Mtu("{C-third}"), -1);
}

TEST_F(InterfaceKeys, RewriteSetsAddressMaskAndAnnouncesTheChange) {
    AddInterface("{C0FFEE-182}", {"10.9.8.7"}, 1400);
    ASSERT_EQ(sl::plat_check_interface_ip("10.9.8.7"), 1);  // finds the key, sets the MTU
    EXPECT_EQ(sl::plat_set_interface_ip("127.0.0.182", "255.255.255.0"), 1);
    EXPECT_EQ(Value("{C0FFEE-182}", "IPAddress"), Multi({"127.0.0.182"}));
    EXPECT_EQ(Value("{C0FFEE-182}", "SubnetMask"), Multi({"255.255.255.0"}));
    EXPECT_EQ(Mtu("{C0FFEE-182}"), 1500);
    EXPECT_EQ(ReadText(record_),
              "server=none adapter={C0FFEE-182} new=1 index=0 address=127.0.0.182 "
              "mask=255.255.255.0 action=0\n");
}

TEST_F(InterfaceKeys, RefusedAnnouncementLeavesTheKeyRightAndGoesOn) {
    SetEnvironmentVariableA("SWATHLINK_DHCP_RESULT", "50");
    AddInterface("{C0FFEE-183}", {"10.9.8.7"}, 1500);
    ASSERT_EQ(sl::plat_check_interface_ip("10.9.8.7"), 1);
    EXPECT_EQ(sl::plat_set_interface_ip("127.0.0.183", "255.255.255.0"), 1);
    EXPECT_EQ(Value("{C0FFEE-183}", "IPAddress"), Multi({"127.0.0.183"}));
    EXPECT_NE(ReadText(record_).find("address=127.0.0.183"), std::string::npos);
}

TEST_F(InterfaceKeys, NoKeyFoundMeansNoRewrite) {
    AddInterface("{C0FFEE-184}", {"10.9.8.7"}, 1500);
    EXPECT_EQ(sl::plat_check_interface_ip("10.1.1.1"), 0);
    EXPECT_EQ(sl::plat_set_interface_ip("127.0.0.184", "255.255.255.0"), 0);
    EXPECT_EQ(Value("{C0FFEE-184}", "IPAddress"), Multi({"10.9.8.7"}));
    EXPECT_EQ(ReadText(record_), "");
}

// The whole check as a connection attempt runs it: a PC whose only address
// is another one gets the wanted address on that address's interface.
TEST_F(InterfaceKeys, SoleOtherAddressIsRewrittenToTheWantedOne) {
    char list[32][128];
    int count = 0;
    sl::plat_list_host_addresses(list, 32, &count);
    ASSERT_EQ(count, 1) << "the private network gives the host one address";
    AddInterface("{A-other}", {"10.1.1.1"}, 1500);
    AddInterface("{B-host}", {list[0]}, -1);
    EXPECT_EQ(sl::EnsureLocalAddress("127.0.0.185", "127.0.0.186"), 1);
    EXPECT_EQ(Value("{B-host}", "IPAddress"), Multi({"127.0.0.185"}));
    EXPECT_EQ(Value("{B-host}", "SubnetMask"), Multi({"255.255.255.0"}));
    EXPECT_EQ(Mtu("{B-host}"), 1500);
    EXPECT_EQ(Value("{A-other}", "IPAddress"), Multi({"10.1.1.1"}));
    EXPECT_EQ(ReadText(record_),
              "server=none adapter={B-host} new=1 index=0 address=127.0.0.185 "
              "mask=255.255.255.0 action=0\n");
}

TEST_F(InterfaceKeys, HeldAddressChangesNothing) {
    char list[32][128];
    int count = 0;
    sl::plat_list_host_addresses(list, 32, &count);
    ASSERT_GE(count, 1);
    AddInterface("{B-host}", {"10.1.1.1"}, 1500);
    EXPECT_EQ(sl::EnsureLocalAddress(list[0], "127.0.0.186"), 1);
    EXPECT_EQ(Value("{B-host}", "IPAddress"), Multi({"10.1.1.1"}));
    EXPECT_EQ(ReadText(record_), "");
}

}  // namespace
