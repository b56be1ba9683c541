#include <sys/stat.h>

#include "files/files_common.h"
#include "files/log_folder.h"
#include "files/request_poll.h"
#include "files/status_file.h"
#include "files_fixture.h"
#include "platform/platform.h"

namespace sl::test {
namespace {

using StatusFile = FilesTest;

TEST_F(StatusFile, ZeroRecordIsValidOnlyWithSeedChecksum) {
    std::vector<uint8_t> zero(288, 0);
    PrepareLogFolder(&file_, dir_);
    WriteBytes(StatusPath(), zero);
    PrintCfgRecord rec;
    EXPECT_EQ(ReadStatusFile(dir_, &rec), CfgRead::Bad);

    zero[284] = 0x00;
    zero[285] = 0x78;
    WriteBytes(StatusPath(), zero);
    EXPECT_EQ(ReadStatusFile(dir_, &rec), CfgRead::Good);
}

TEST_F(StatusFile, PrepareCreatesHiddenFolderAndActiveFile) {
    PrepareLogFolder(&file_, dir_);
    EXPECT_EQ(file_.access.load(), StatusFileAccess::Ready);
    uint32_t attrs = 0;
    ASSERT_EQ(plat_get_attrs(dir_, &attrs), 0);
    EXPECT_TRUE(attrs & kAttrDirectory);
    EXPECT_TRUE(attrs & kAttrHidden);

    PrintCfgRecord rec = FileRecord();
    EXPECT_TRUE(Tagged(rec, kActive));
    EXPECT_TRUE(Checks(rec));
    EXPECT_EQ(rec.ReqType, 0);
}

TEST_F(StatusFile, PrepareKeepsSoundFieldsAndReplacesDamagedRecord) {
    std::filesystem::create_directory(dir_);
    PrintCfgRecord rec{};
    rec.ReqSerial = 41;
    rec.res54[3] = 0x5A;
    rec.res280[0] = 0x77;  // outside the checksum
    WriteRecord(Sealed(rec, kIdle));
    PrepareLogFolder(&file_, dir_);
    PrintCfgRecord kept = FileRecord();
    EXPECT_TRUE(Tagged(kept, kActive));
    EXPECT_TRUE(Checks(kept));
    EXPECT_EQ(kept.ReqSerial, 41);
    EXPECT_EQ(kept.res54[3], 0x5A);
    EXPECT_EQ(kept.res280[0], 0x77);

    rec = Sealed(rec, kIdle);
    rec.Checksum ^= 1;
    WriteRecord(rec);
    PrepareLogFolder(&file_, dir_);
    PrintCfgRecord fresh = FileRecord();
    EXPECT_TRUE(Tagged(fresh, kActive));
    EXPECT_TRUE(Checks(fresh));
    EXPECT_EQ(fresh.ReqSerial, 0);
    EXPECT_EQ(fresh.res54[3], 0);
}

TEST_F(StatusFile, ReadOnlyFileIsMadeWritableAndRewritten) {
    std::filesystem::create_directory(dir_);
    PrintCfgRecord rec{};
    rec.ReqSerial = 9;
    WriteRecord(Sealed(rec, kIdle));
    ASSERT_EQ(chmod(StatusPath().c_str(), 0444), 0);

    PrepareLogFolder(&file_, dir_);
    EXPECT_EQ(file_.access.load(), StatusFileAccess::Ready);
    uint32_t attrs = 0;
    ASSERT_EQ(plat_get_attrs(StatusPath(), &attrs), 0);
    EXPECT_FALSE(attrs & kAttrReadOnly);
    PrintCfgRecord now = FileRecord();
    EXPECT_TRUE(Tagged(now, kActive));
    EXPECT_EQ(now.ReqSerial, 9);
}

TEST_F(StatusFile, ReadOnlyFolderIsReset) {
    std::filesystem::create_directory(dir_);
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    PrepareLogFolder(&file_, dir_);
    EXPECT_EQ(file_.access.load(), StatusFileAccess::Ready);
    uint32_t attrs = 0;
    ASSERT_EQ(plat_get_attrs(dir_, &attrs), 0);
    EXPECT_FALSE(attrs & kAttrReadOnly);
}

TEST_F(StatusFile, UnpreparableFolderDisablesTheStatusFile) {
    struct Case {
        const char *what;
        void (*make)(const std::string &root, const std::string &dir);
    };
    const Case cases[] = {
        // clang-format off
        {"parent missing",
         [](const std::string &root, const std::string &) {
             setenv("SWATHLINK_PRNLOG", (root + "/missing/Prnlog").c_str(), 1);
         }},
        {"a plain file in its place",
         [](const std::string &, const std::string &dir) { WriteBytes(dir, {1, 2, 3}); }},
        // clang-format on
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir_);
        setenv("SWATHLINK_PRNLOG", dir_.c_str(), 1);
        c.make(root_, dir_);
        const std::string folder = plat_prnlog_dir();  // the session's folder as the case left it
        PrepareLogFolder(&file_, folder);
        EXPECT_EQ(file_.access.load(), StatusFileAccess::Unprepared);
        MarkStatusIdle(&file_);  // nothing to mark
        uint32_t pc = 0, board = 0;
        EXPECT_FALSE(ReadAddresses(folder, &pc, &board));
        EXPECT_EQ(pc, kDefaultPcAddr);
        EXPECT_EQ(board, kDefaultBoardAddr);
    }
}

TEST_F(StatusFile, SetIdleWritesIdleTagAndStateZero) {
    PrepareLogFolder(&file_, dir_);
    PrintCfgRecord rec = FileRecord();
    rec.StateCode = 2;
    rec.PcAddr = 0x7F000001;
    WriteRecord(Sealed(rec, kActive));

    MarkStatusIdle(&file_);
    PrintCfgRecord idle = FileRecord();
    EXPECT_TRUE(Tagged(idle, kIdle));
    EXPECT_TRUE(Checks(idle));
    EXPECT_EQ(idle.StateCode, 0);
    EXPECT_EQ(idle.PcAddr, 0x7F000001u);
    PrintCfgRecord out;
    EXPECT_EQ(ReadSessionRecord(dir_, &out), CfgSession::Idle);
}

TEST_F(StatusFile, AddressesComeFromTheMarkedRecordElseDefaults) {
    PrepareLogFolder(&file_, dir_);
    PrintCfgRecord rec{};
    rec.PcAddr = 0x7F000001;     // 127.0.0.1
    rec.BoardAddr = 0x7F000029;  // 127.0.0.41
    uint32_t pc = 0, board = 0;

    WriteRecord(Sealed(rec, kActive));
    EXPECT_TRUE(ReadAddresses(dir_, &pc, &board));
    EXPECT_EQ(pc, kDefaultPcAddr);
    EXPECT_EQ(board, kDefaultBoardAddr);

    rec.AddrMark = kAddressMark;
    WriteRecord(Sealed(rec, kActive));
    EXPECT_TRUE(ReadAddresses(dir_, &pc, &board));
    EXPECT_EQ(pc, 0x7F000001u);
    EXPECT_EQ(board, 0x7F000029u);

    PrintCfgRecord bad = Sealed(rec, kActive);
    bad.Checksum ^= 0x100;
    WriteRecord(bad);
    EXPECT_FALSE(ReadAddresses(dir_, &pc, &board));
    EXPECT_EQ(pc, kDefaultPcAddr);
    EXPECT_EQ(board, kDefaultBoardAddr);
}

TEST_F(StatusFile, MissingFileIsCreatedAsZeroRecord) {
    PrepareLogFolder(&file_, dir_);
    std::filesystem::remove(StatusPath());
    uint32_t pc = 0, board = 0;
    EXPECT_TRUE(ReadAddresses(dir_, &pc, &board));
    EXPECT_EQ(pc, kDefaultPcAddr);
    auto bytes = ReadBytes(StatusPath());
    ASSERT_EQ(bytes.size(), 288u);
    EXPECT_EQ(U16(bytes, 284), 0x7800);
}

// Whatever the companion (or anything else) leaves in the file, the library
// keeps working: the record is rejected, and the next session starts afresh.
TEST_F(StatusFile, GarbageAndShortFilesAreRejected) {
    std::vector<uint8_t> noise(1000);
    uint32_t x = 12345;
    for (auto &b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
    std::vector<uint8_t> marked(noise.begin(), noise.begin() + 288);
    std::memcpy(&marked[156], &kAddressMark, 4);  // valid-looking, unchecked

    const std::pair<const char *, std::vector<uint8_t>> cases[] = {
        {"empty", {}},
        {"ten bytes", std::vector<uint8_t>(noise.begin(), noise.begin() + 10)},
        {"one short", std::vector<uint8_t>(noise.begin(), noise.begin() + 287)},
        {"noise", std::vector<uint8_t>(noise.begin(), noise.begin() + 288)},
        {"long noise", noise},
        {"address mark without checksum", marked},
    };
    for (const auto &[what, bytes] : cases) {
        SCOPED_TRACE(what);
        PrepareLogFolder(&file_, dir_);
        WriteBytes(StatusPath(), bytes);
        PrintCfgRecord rec;
        EXPECT_EQ(ReadStatusFile(dir_, &rec), CfgRead::Bad);
        EXPECT_EQ(ReadSessionRecord(dir_, &rec), CfgSession::Bad);
        uint32_t pc = 0, board = 0;
        EXPECT_FALSE(ReadAddresses(dir_, &pc, &board));
        EXPECT_EQ(board, kDefaultBoardAddr);
        LinkContext link;
        EXPECT_EQ(PollCompanionRequest(&file_, &rec, link.JobId.load()), 0);

        PrepareLogFolder(&file_, dir_);
        EXPECT_EQ(file_.access.load(), StatusFileAccess::Ready);
        PrintCfgRecord fresh = FileRecord();
        EXPECT_TRUE(Tagged(fresh, kActive));
        EXPECT_TRUE(Checks(fresh));
        EXPECT_EQ(fresh.AddrMark, 0u);
    }
}

TEST_F(StatusFile, DirectoryInPlaceOfTheFileIsSurvived) {
    std::filesystem::create_directories(StatusPath());
    PrepareLogFolder(&file_, dir_);
    EXPECT_EQ(file_.access.load(), StatusFileAccess::NotWritable);
    PrintCfgRecord rec;
    EXPECT_NE(ReadStatusFile(dir_, &rec), CfgRead::Good);
    uint32_t pc = 0, board = 0;
    EXPECT_FALSE(ReadAddresses(dir_, &pc, &board));
    MarkStatusIdle(&file_);
}

}  // namespace
}  // namespace sl::test
