#include "files/para_files.h"
#include "files_fixture.h"

namespace sl::test {
namespace {

using ParaFiles = FilesTest;

std::vector<uint8_t> Checked(std::vector<uint8_t> data, uint16_t type) {
    uint16_t sum = CalcChecksum16(data.data(), static_cast<uint32_t>(data.size()), type);
    data.push_back(static_cast<uint8_t>(sum));
    data.push_back(static_cast<uint8_t>(sum >> 8));
    return data;
}

TEST_F(ParaFiles, ReadParaFileChecksTheTrailingWord) {
    std::filesystem::create_directory(dir_);
    const std::string path = FilePath(kDotSizeFileName);
    std::vector<uint8_t> good = Checked({2, 0, 0, 0}, kParaChecksumType);
    std::vector<uint8_t> longer = good;
    longer.push_back(0xEE);
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
        bool expected;
    };
    const Case cases[] = {
        {"type 0xABCC", good, true},
        {"type 0 rejected", Checked({2, 0, 0, 0}, 0), false},
        {"flipped data byte", {3, 0, 0, 0, good[4], good[5]}, false},
        {"short file", {good.begin(), good.begin() + 5}, false},
        {"empty file", {}, false},
        {"trailing bytes ignored", longer, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.bytes);
        uint8_t buf[6];
        EXPECT_EQ(ReadParaFile(path.c_str(), buf, sizeof buf), c.expected);
        if (c.expected) {
            EXPECT_EQ(buf[0], 2);
        }
    }
    std::filesystem::remove(path);
    uint8_t buf[6];
    EXPECT_FALSE(ReadParaFile(path.c_str(), buf, sizeof buf));
    EXPECT_FALSE(ReadParaFile(path.c_str(), buf, 1));
}

TEST_F(ParaFiles, SaveParaFileWritesJobIdAndBlock) {
    std::filesystem::create_directory(dir_);
    UISetupPara block{};
    auto *raw = reinterpret_cast<uint8_t *>(&block);
    for (size_t i = 0; i < sizeof block; ++i) raw[i] = static_cast<uint8_t>(i * 7 + 1);
    WriteBytes(FilePath(kParaSaveFileName), std::vector<uint8_t>(1000, 0xFF));

    SaveParaFile(dir_, 0xBEEF, &block);
    auto bytes = ReadBytes(FilePath(kParaSaveFileName));
    ASSERT_EQ(bytes.size(), 428u);
    EXPECT_EQ(U16(bytes, 0), 0xBEEF);
    EXPECT_EQ(U16(bytes, 2), 0);
    EXPECT_EQ(U16(bytes, 4), 0);
    EXPECT_EQ(U16(bytes, 6), 0);
    EXPECT_TRUE(std::equal(raw, raw + sizeof block, bytes.begin() + 8));
}

}  // namespace
}  // namespace sl::test
