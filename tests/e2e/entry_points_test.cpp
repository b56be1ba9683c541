// Entry-point rules that need a running job: a second StartPrint, the end of
// a one-pass job, several lines per call, 1-bit lines, and a job refused once
// the board's alignment makes its swath too wide.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <map>
#include <string>
#include <vector>

#include "api/job_state.h"
#include "api/memory_plan.h"
#include "board_fixture.h"
#include "platform/platform.h"
#include "support/default_printer.h"
#include "support/test_addresses.h"
#include "swathlink/swathlink.h"
#include "transport/net_codes.h"

namespace sl::test {
namespace {

std::vector<std::string> gBoxes;
void CatchBox(const char *caption, const char *text) { gBoxes.push_back(std::string(caption) + "|" + text); }

JobProp MakeJob(uint32_t ydpi, uint32_t width, uint32_t bytesPerLine, uint16_t colors) {
    return JobRecord(360, ydpi, width, bytesPerLine, colors, 1000);
}

// A line whose every plane byte differs from its neighbours', so a line stored
// in the wrong place or twice shows in the swath data.
std::vector<uint8_t> PatternLine(uint32_t bytes, uint32_t seed) {
    std::vector<uint8_t> line(bytes);
    for (uint32_t i = 0; i < bytes; ++i) line[i] = static_cast<uint8_t>((i * 7 + seed * 13) | 0x11);
    return line;
}

class EntryPoints : public BoardTest {
protected:
    void SetUp() override {
        MakeFolder();
        gBoxes.clear();
        plat_set_message_sink(CatchBox);
    }
    void TearDown() override {
        ClosePrint();
        EXPECT_EQ(TxThreadLeft(), nullptr);
        EXPECT_EQ(RxThreadLeft(), nullptr);
        EXPECT_EQ(SocketLeft(), kInvalidSocket);
        EXPECT_EQ(HeldJobBlock(), nullptr);
        plat_set_message_sink(nullptr);
        BoardTest::TearDown();
    }
    int Begin(const std::string &ip, const JobProp &job) {
        board_.reset();
        StartBoardAt(ip);
        WriteAddresses(ip);
        InitPrinter();
        return StartPrint(&job);
    }
    // Swath data the board kept, by serial.
    std::map<uint32_t, std::vector<uint8_t>> Stored() {
        std::map<uint32_t, std::vector<uint8_t>> out;
        for (uint32_t sn : swathboard::StoredSwathNumbers(board())) {
            std::vector<uint8_t> data;
            swathboard::StoredSwath(board(), sn, &data);
            out[sn] = data;
        }
        return out;
    }
    size_t InkedSwaths() {
        size_t n = 0;
        for (const auto &r : OfCode(WithoutResends(swathboard::Packets(board())), swathboard::NET_CMD_SWATH_CREATE))
            if (Field(r, "Len") > 0) ++n;
        return n;
    }
};

TEST_F(EntryPoints, SecondStartPrintLeavesTheRunningJobAlone) {
    const JobProp job = MakeJob(720, 720, 180, 4);
    ASSERT_EQ(Begin(TestIp(kAddrSecondStartPrint), job), 1);
    const JobProp running = HeldJob()->print.prop;
    const uint32_t lineBytes = HeldJob()->host.bytesPerLine;
    JobProp other = MakeJob(1440, 2000, 250, 2);  // 1-bit lines at XDPI 720
    other.XDPI = 720;
    EXPECT_EQ(StartPrint(&other), 1);
    EXPECT_EQ(std::memcmp(&HeldJob()->print.prop, &running, sizeof running), 0);
    EXPECT_EQ(HeldJob()->host.bytesPerLine, lineBytes);
    EXPECT_FALSE(XdpiIs720(HeldJob()));
    EXPECT_EQ(swathboard::CountPackets(board(), NET_CMD_JOB_CREATE), 1u);
    // The running job still takes its own lines.
    const auto line = PatternLine(4 * 180, 3);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(PrintALine(line.data(), static_cast<uint32_t>(line.size())), 1);
    EXPECT_EQ(EndPrint(), 1);
    EXPECT_EQ(ClosePrint(), 1);
    EXPECT_GT(InkedSwaths(), 1u);
}

TEST_F(EntryPoints, OnePassJobPrintsItsLastLines) {
    // 900 lines at 360 x 360: two whole swaths of 360 and 180 lines more.
    ASSERT_EQ(Begin(TestIp(kAddrOnePassJobEnd), MakeJob(360, 720, 180, 4)), 1);
    const auto line = PatternLine(4 * 180, 1);
    for (int i = 0; i < 900; ++i) ASSERT_EQ(PrintALine(line.data(), static_cast<uint32_t>(line.size())), 1);
    EXPECT_EQ(EndPrint(), 1);
    EXPECT_EQ(ClosePrint(), 1);
    EXPECT_EQ(InkedSwaths(), 3u);
}

TEST_F(EntryPoints, SeveralLinesPerCallPrintAsOneLinePerCall) {
    const JobProp job = MakeJob(720, 720, 180, 4);
    const uint32_t lineBytes = 4 * 180;
    std::vector<uint8_t> image;
    for (uint32_t i = 0; i < 600; ++i) {
        const auto line = PatternLine(lineBytes, i);
        image.insert(image.end(), line.begin(), line.end());
    }

    ASSERT_EQ(Begin(TestIp(kAddrOneLinePerCall), job), 1);
    for (uint32_t i = 0; i < 600; ++i) ASSERT_EQ(PrintALine(&image[i * lineBytes], lineBytes), 1);
    EndPrint();
    ClosePrint();
    const auto single = Stored();

    ASSERT_EQ(Begin(TestIp(kAddrSeveralLinesPerCall), job), 1);
    image.push_back(0xEE);  // a remainder shorter than a line is ignored
    for (uint32_t i = 0; i < 600; i += 7) {
        const uint32_t lines = std::min(7u, 600 - i);
        const uint32_t extra = i + lines == 600 ? 1 : 0;
        ASSERT_EQ(PrintALine(&image[i * lineBytes], lines * lineBytes + extra), 1);
    }
    EXPECT_EQ(PrintALine(nullptr, lineBytes), 0);  // a call without its data
    EndPrint();
    ClosePrint();
    EXPECT_EQ(Stored(), single);
    EXPECT_GT(single.size(), 2u);
}

TEST_F(EntryPoints, OneBitLinesPrintAsLevelThreeDots) {
    // Width 720: 90 bytes a plane at 1 bit per pixel, 180 at 2 bits.
    std::vector<uint8_t> oneBit(4 * 90), twoBit(4 * 180);
    for (uint32_t i = 0; i < oneBit.size(); ++i) {
        oneBit[i] = static_cast<uint8_t>(i * 37 + 5);
        uint16_t word = 0;  // each set pixel a dot of size 3, leftmost first
        for (int b = 0; b < 8; ++b)
            if (oneBit[i] & (0x80 >> b)) word |= static_cast<uint16_t>(3u << (14 - 2 * b));
        twoBit[2 * i] = static_cast<uint8_t>(word >> 8);
        twoBit[2 * i + 1] = static_cast<uint8_t>(word & 0xFF);
    }
    ASSERT_EQ(Begin(TestIp(kAddrOneBitDots), MakeJob(720, 720, 180, 4)), 1);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(PrintALine(twoBit.data(), static_cast<uint32_t>(twoBit.size())), 1);
    EndPrint();
    ClosePrint();
    const auto expected = Stored();

    ASSERT_EQ(Begin(TestIp(kAddrOneBitDotsNarrow), MakeJob(720, 720, 90, 4)), 1);
    EXPECT_EQ(HeldJob()->host.oneBitInput, 1u);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(PrintALine(oneBit.data(), static_cast<uint32_t>(oneBit.size())), 1);
    EndPrint();
    ClosePrint();
    EXPECT_EQ(Stored(), expected);
}

TEST_F(EntryPoints, JobTooWideForTheSwathIsClosedOnTheBoard) {
    // Fits the early checks; only the board's channel offsets push the
    // swath past the largest the swath buffer holds.
    const JobProp job = MakeJob(360, 116000, 29000, 1);
    EXPECT_EQ(Begin(TestIp(kAddrJobTooWide), job), 0);
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_EQ(gBoxes[0].rfind("Error|", 0), 0u) << gBoxes[0];
    EXPECT_EQ(JobStarted(), 0u);
    std::vector<uint8_t> codes;
    for (const auto &r : swathboard::Packets(board())) codes.push_back(r.code);
    EXPECT_EQ(codes, (std::vector<uint8_t>{NET_CMD_JOB_CREATE, NET_CMD_PRINT_START, NET_CMD_PRINT_END}));
}

TEST_F(EntryPoints, LinesAfterAFatalHandOffFailureAreRefused) {
    ASSERT_EQ(Begin(TestIp(kAddrLinesAfterFatalHandOff), MakeJob(720, 720, 180, 4)), 1);
    const auto line = PatternLine(4 * 180, 2);
    // The link ends on its own (neither an abort nor a board stop): the next
    // swath cannot be handed on and the job's buffers are released.
    JobLinkOf().PrintEndFlag.store(true);
    int result = 1;
    for (int i = 0; i < 600 && result == 1; ++i)
        result = PrintALine(line.data(), static_cast<uint32_t>(line.size()));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(HeldJobBlock(), nullptr);
    EXPECT_EQ(PrintALine(line.data(), static_cast<uint32_t>(line.size())), 0);
    EXPECT_EQ(EndPrint(), 1);
    // The swath that could not be handed on never reached the board.
    EXPECT_EQ(ClosePrint(), 0);
}

// A listener whose accept queue is full: the kernel drops further
// connection attempts, so a connect neither succeeds nor is refused.
class SilentListener {
public:
    explicit SilentListener(const char *ip) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(4000);
        inet_pton(AF_INET, ip, &at.sin_addr);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ok_ = bind(listener_, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0 && listen(listener_, 0) == 0;
        for (int &c : fillers_) {
            c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(c, reinterpret_cast<sockaddr *>(&at), sizeof at);
        }
    }
    ~SilentListener() {
        for (int c : fillers_) close(c);
        close(listener_);
    }
    bool ok() const { return ok_; }

private:
    int listener_ = -1;
    int fillers_[3] = {-1, -1, -1};
    bool ok_ = false;
};

TEST_F(EntryPoints, BoardThatNeverAnswersFailsAfterTheConnectTimeOut) {
    SilentListener silent(TestIp(kAddrSilentBoard).c_str());
    ASSERT_TRUE(silent.ok());
    WriteAddresses(TestIp(kAddrSilentBoard));
    InitPrinter();
    const JobProp job = MakeJob(720, 720, 180, 4);
    const uint32_t before = plat_ticks_ms();
    EXPECT_EQ(StartPrint(&job), 0);
    const uint32_t waited = plat_ticks_ms() - before;
    EXPECT_GE(waited, plat_scaled_ms(15000) - 10);  // the writable wait ran out
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_EQ(gBoxes[0], "Error Tip|Connect fail !");
    EXPECT_EQ(JobStarted(), 0u);
}

}  // namespace
}  // namespace sl::test
