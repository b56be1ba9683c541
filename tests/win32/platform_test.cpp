// Win32 platform services that differ from posix: the board's static
// address-resolution entry and the trace file.
#include "platform/win32/arp_entry.h"  // winsock2.h ahead of windows.h

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace {

constexpr uint8_t kMac[6] = {0x00, 0x60, 0x03, 0x6e, 0x21, 0x0a};

struct ArpCase {
    const char *pc;
    const char *board;
    const char *line;  // nullptr: refused
};

TEST(ArpEntry, CommandLineHoldsOnlyAddresses) {
    const ArpCase cases[] = {
        {"127.0.0.1", "127.0.0.187", "arp -s 127.0.0.187 00-60-03-6e-21-0a 127.0.0.1"},
        {"192.168.1.5", "192.168.1.100", "arp -s 192.168.1.100 00-60-03-6e-21-0a 192.168.1.5"},
        {"127.0.0.1 & del x", "127.0.0.187", nullptr},
        {"127.0.0.1", "127.0.0.187|calc", nullptr},
        {"127.0.0.1", "127.0.0.256", nullptr},
        {"127.0.0.1", "127.0.0", nullptr},
        {"127.0.0.1", "127.0.0.1.5", nullptr},
        {"", "127.0.0.187", nullptr},
        {"127.0.0.1", "1270.0.0.1", nullptr},
    };
    for (const ArpCase &c : cases) {
        SCOPED_TRACE(std::string(c.pc) + " / " + c.board);
        char line[64] = "untouched";
        const bool built = sl::BuildArpCommand(c.pc, c.board, kMac, line, sizeof line);
        EXPECT_EQ(built, c.line != nullptr);
        if (c.line) {
            EXPECT_STREQ(line, c.line);
        }
    }
}

TEST(ArpEntry, RowIsStaticForTheBoardOnTheAdapter) {
    const MIB_IPNETROW row = sl::BoardArpRow("127.0.0.188", kMac, 7);
    EXPECT_EQ(row.dwIndex, 7u);
    EXPECT_EQ(row.dwPhysAddrLen, 6u);
    EXPECT_EQ(std::memcmp(row.bPhysAddr, kMac, 6), 0);
    const auto *addr = reinterpret_cast<const uint8_t *>(&row.dwAddr);
    EXPECT_EQ(addr[0], 127);
    EXPECT_EQ(addr[3], 188);
    EXPECT_EQ(row.dwType, static_cast<DWORD>(MIB_IPNET_TYPE_STATIC));
}

// Trace formats end in "\r\n"; the file must hold them once, as written.
TEST(TraceFile, LinesAreWrittenByteForByte) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + "swathlink_trace_test.txt";
    DeleteFileA(path.c_str());
    _putenv_s("SWATHLINK_TRACE", path.c_str());
    sl::sl_trace("Close all Thread!!\r\n");
    sl::sl_trace("API_StartPrint\n");
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, "Close all Thread!!\r\nAPI_StartPrint\n");
}

}  // namespace
