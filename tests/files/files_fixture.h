// A private hidden folder per test, and raw access to the files in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/files_common.h"
#include "shared/checksum.h"
#include "shared/print_job.h"

namespace sl::test {

inline const uint8_t kActive[16] = {0x63, 0x26, 0x04, 0x1C, 0x03, 0x05, 0x09, 0x2D,
                                    0x04, 0x20, 0x09, 0x04, 0x03, 0x5E, 0x02, 0x03};
inline const uint8_t kIdle[16] = {0x63, 0x26, 0x09, 0x08, 0x57, 0x08, 0x62, 0x4B,
                                  0x4A, 0x22, 0x43, 0x00, 0x05, 0x30, 0x03, 0x2A};

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/swathlink-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        dir_ = root_ + "/Prnlog";
        setenv("SWATHLINK_PRNLOG", dir_.c_str(), 1);
        job_.requests = &requests_;
    }
    void TearDown() override {
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
        std::filesystem::remove_all(root_);
        unsetenv("SWATHLINK_PRNLOG");
    }

    std::string StatusPath() const { return dir_ + "/printcfg.cfg"; }
    std::string FilePath(const char *name) const { return dir_ + "/" + name; }

    static void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<uint8_t> ReadBytes(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static uint16_t U16(const std::vector<uint8_t> &b, size_t at) {
        return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
    }

    // A record as the companion writes it: tagged and checksummed.
    static PrintCfgRecord Sealed(PrintCfgRecord rec, const uint8_t tag[16]) {
        std::memcpy(rec.tag, tag, 16);
        rec.Checksum = CalcChecksum16(reinterpret_cast<const uint8_t *>(&rec), 280, 0);
        return rec;
    }
    void WriteRecord(const PrintCfgRecord &rec) {
        auto *p = reinterpret_cast<const uint8_t *>(&rec);
        WriteBytes(StatusPath(), std::vector<uint8_t>(p, p + sizeof rec));
    }
    PrintCfgRecord FileRecord() const {
        PrintCfgRecord rec{};
        auto bytes = ReadBytes(StatusPath());
        EXPECT_EQ(bytes.size(), sizeof rec);
        std::memcpy(&rec, bytes.data(), std::min(bytes.size(), sizeof rec));
        return rec;
    }
    static bool Checks(const PrintCfgRecord &rec) {
        return CalcChecksum16(reinterpret_cast<const uint8_t *>(&rec), 280, 0) == rec.Checksum;
    }
    static bool Tagged(const PrintCfgRecord &rec, const uint8_t tag[16]) {
        return std::memcmp(rec.tag, tag, 16) == 0;
    }

    std::string root_;
    std::string dir_;
    // What a printer and its job hold of the files: the status file, the
    // job's settings and requests, and its id.
    StatusFile file_;
    JobRequests requests_;
    PrintJob job_;
    uint16_t jobId_ = 0;
};

}  // namespace sl::test
