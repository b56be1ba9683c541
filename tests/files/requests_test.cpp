#include "files/files_common.h"
#include "files/log_folder.h"
#include "files/request_poll.h"
#include "files_fixture.h"

namespace sl::test {
namespace {

class Requests : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        PrepareLogFolder(&file_, dir_);
        link_.JobId = 0x1234;
    }
    static PrintCfgRecord Pause(uint16_t serial) {
        PrintCfgRecord rec{};
        rec.JobId = 0x1234;
        rec.ReqSerial = serial;
        rec.ReqType = kRequestPause;
        return rec;
    }
    LinkContext link_;
};

TEST_F(Requests, NewRequestIsTakenOnce) {
    WriteRecord(Sealed(Pause(7), kActive));
    PrintCfgRecord rec;
    ASSERT_EQ(PollCompanionRequest(&file_, &rec, link_.JobId.load()), 1);
    EXPECT_EQ(rec.ReqType, kRequestPause);
    EXPECT_EQ(file_.requestSerialSeen, 7);
    EXPECT_EQ(PollCompanionRequest(&file_, &rec, link_.JobId.load()), 0);

    WriteRecord(Sealed(Pause(8), kActive));
    EXPECT_EQ(PollCompanionRequest(&file_, &rec, link_.JobId.load()), 1);
}

TEST_F(Requests, IgnoredRequests) {
    static const uint8_t kOther[16] = {1, 2, 3};
    struct Case {
        const char *what;
        uint16_t seen;
        void (*change)(PrintCfgRecord *rec);
        const uint8_t *tag;
    };
    const Case cases[] = {
        {"serial already seen", 6, [](PrintCfgRecord *) {}, kActive},
        {"serial zero at session start", 0, [](PrintCfgRecord *r) { r->ReqSerial = 0; }, kActive},
        {"another job", 5, [](PrintCfgRecord *r) { r->JobId = 0x4321; }, kActive},
        {"no request", 5, [](PrintCfgRecord *r) { r->ReqType = 0; }, kActive},
        {"idle file", 5, [](PrintCfgRecord *) {}, kIdle},
        {"unknown tag", 5, [](PrintCfgRecord *) {}, kOther},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        file_.requestSerialSeen = c.seen;
        PrintCfgRecord rec = Pause(6);
        c.change(&rec);
        WriteRecord(Sealed(rec, c.tag));
        PrintCfgRecord out;
        EXPECT_EQ(PollCompanionRequest(&file_, &out, link_.JobId.load()), 0);
        EXPECT_EQ(file_.requestSerialSeen, c.seen);
    }
}

TEST_F(Requests, DamagedRecordIsIgnored) {
    PrintCfgRecord rec = Sealed(Pause(7), kActive);
    rec.ReqArg1 ^= 1;  // changed after sealing: a torn or foreign write
    WriteRecord(rec);
    PrintCfgRecord out;
    EXPECT_EQ(PollCompanionRequest(&file_, &out, link_.JobId.load()), 0);
    EXPECT_EQ(file_.requestSerialSeen, 0);
}

TEST_F(Requests, NothingIsTakenWithoutAPreparedFolder) {
    WriteRecord(Sealed(Pause(7), kActive));
    file_.access = StatusFileAccess::Unprepared;
    PrintCfgRecord out;
    EXPECT_EQ(PollCompanionRequest(&file_, &out, link_.JobId.load()), 0);
}

}  // namespace
}  // namespace sl::test
