// A board emulator on its own loopback address and a private hidden folder
// per test, with the library's link pointed at them.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "files/status_record.h"
#include "shared/records.h"
#include "src/protocol.h"  // the emulator's command codes: the tests name packets by them
#include "swathboard.h"
#include "swathlink/swathlink.h"

namespace sl::test {

using namespace std::chrono_literals;

struct BoardDeleter {
    void operator()(swathboard::Board *b) const { swathboard::StopBoard(b); }
};
using BoardPtr = std::unique_ptr<swathboard::Board, BoardDeleter>;

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 10s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

inline uint32_t Field(const swathboard::PacketRecord &r, const char *name) {
    uint32_t v = 0;
    EXPECT_TRUE(swathboard::FieldValue(r, name, &v)) << name;
    return v;
}

inline std::vector<swathboard::PacketRecord> OfCode(const std::vector<swathboard::PacketRecord> &all,
                                                    uint8_t code) {
    std::vector<swathboard::PacketRecord> out;
    for (const auto &r : all)
        if (r.code == code) out.push_back(r);
    return out;
}

// The packets less the resends: on a loaded machine an answer can come after
// the resend interval, and the copy sent again is one the board already kept.
// Each copy dropped must repeat the kept one byte for byte.
inline std::vector<swathboard::PacketRecord> WithoutResends(const std::vector<swathboard::PacketRecord> &all) {
    std::vector<swathboard::PacketRecord> out;
    std::map<uint64_t, std::array<uint8_t, 64>> kept;  // SwathSN -> header as kept
    for (const auto &r : all) {
        if (r.code == swathboard::NET_CMD_SWATH_CREATE && !r.stored) {
            const auto first = kept.find(Field(r, "SwathSN"));
            if (first != kept.end()) {
                EXPECT_EQ(r.raw, first->second) << "a second copy that is not a resend";
                continue;
            }
        }
        if (r.code == swathboard::NET_CMD_SWATH_CREATE && r.stored) kept[Field(r, "SwathSN")] = r.raw;
        out.push_back(r);
    }
    return out;
}

// Debug packets with a given sub-code.
inline size_t CountDebug(const swathboard::Board *b, uint16_t sub) {
    size_t n = 0;
    for (const auto &r : swathboard::Packets(b))
        if (r.code == swathboard::NET_CMD_DEBUG && r.raw[4] == sub) ++n;
    return n;
}

// Swath serials in the order the board kept them, and whether that order is
// 1, 2, 3 ... with each once.
inline std::vector<uint32_t> StoredInArrivalOrder(const swathboard::Board *b) {
    std::vector<uint32_t> sns;
    for (const auto &r : swathboard::Packets(b))
        if (r.code == swathboard::NET_CMD_SWATH_CREATE && r.stored) sns.push_back(Field(r, "SwathSN"));
    return sns;
}

inline std::vector<uint32_t> OneTo(uint32_t n) {
    std::vector<uint32_t> v(n);
    for (uint32_t i = 0; i < n; ++i) v[i] = i + 1;
    return v;
}

// The heartbeat word of "ShareFile", or -1 when the block does not exist.
inline int64_t HeartbeatWord() {
    int fd = shm_open("/ShareFile", O_RDONLY, 0);
    if (fd < 0) return -1;
    void *p = mmap(nullptr, 128, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) return -1;
    uint32_t v;
    std::memcpy(&v, static_cast<uint8_t *>(p) + 4, 4);
    munmap(p, 128);
    return v;
}

// Whether the heartbeat word takes a new value within the time limit.
inline bool HeartbeatChanges() {
    const int64_t first = HeartbeatWord();
    return WaitUntil([&] { return HeartbeatWord() != first; });
}

// A job record with the fields the tests vary; the rest stay zero.
inline JobProp JobRecord(uint32_t xdpi, uint32_t ydpi, uint32_t width, uint32_t bytesPerLine, uint16_t colors,
                         uint32_t height) {
    JobProp job{};
    job.XDPI = xdpi;
    job.YDPI = ydpi;
    job.Width = width;
    job.BytesPerLine = bytesPerLine;
    job.Colors = colors;
    job.Height = height;
    return job;
}

inline std::vector<uint8_t> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class BoardTest : public ::testing::Test {
protected:
    // A temporary hidden folder, set before the library looks for it.
    void MakeFolder() {
        char tmpl[] = "/tmp/swathlink-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        dir_ = root_ + "/Prnlog";
        std::filesystem::create_directory(dir_);
        setenv("SWATHLINK_PRNLOG", dir_.c_str(), 1);
    }
    void StartBoardAt(const std::string &ip, swathboard::BoardConfig config = {}) {
        ASSERT_TRUE(swathboard::IsLoopbackAddress(ip));
        ip_ = ip;
        config.ip = ip;
        std::string error;
        board_.reset(swathboard::StartBoard(config, &error));
        ASSERT_TRUE(board_) << error;
    }
    void TearDown() override {
        board_.reset();
        unsetenv("SWATHLINK_PRNLOG");
        if (!root_.empty()) std::filesystem::remove_all(root_);
    }
    swathboard::Board *board() { return board_.get(); }

    // The companion's side of the status file.
    // The library rewrites the file whole without a lock: like the
    // companion, read until a complete record checks.
    PrintCfgRecord ReadStatus() {
        PrintCfgRecord rec{};
        const bool read = WaitUntil([&] {
            const auto bytes = ReadFile(dir_ + "/printcfg.cfg");
            if (bytes.size() != sizeof rec) return false;
            std::memcpy(&rec, bytes.data(), sizeof rec);
            return StatusChecksum(&rec) == rec.Checksum;
        });
        EXPECT_TRUE(read);
        return rec;
    }
    void WriteStatus(PrintCfgRecord rec) {
        rec.Checksum = StatusChecksum(&rec);
        std::ofstream out(dir_ + "/printcfg.cfg", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(&rec), sizeof rec);
    }
    void WriteAddresses(const std::string &boardIp) {
        PrintCfgRecord rec{};
        std::memcpy(rec.tag, kActiveTag, 16);
        rec.AddrMark = 0xA6CF9968;
        rec.PcAddr = 0x7F000001;
        rec.BoardAddr = 0x7F000000 | static_cast<uint32_t>(std::stoi(boardIp.substr(8)));
        WriteStatus(rec);
    }

    std::string root_, dir_, ip_;
    BoardPtr board_;
};

}  // namespace sl::test
