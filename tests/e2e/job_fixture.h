// Whole jobs through the eleven entry points: a board, the addresses, a
// session and a two-inch job; lines fed from the test's thread or from a
// host thread of their own.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "board_fixture.h"
#include "platform/platform.h"
#include "support/default_printer.h"
#include "swathlink/swathlink.h"

namespace sl::test {

constexpr uint32_t kWidth = 720;         // pixels at 360 dpi: two inches
constexpr uint32_t kBytesPerLine = 180;  // 2 bits per pixel
constexpr uint16_t kColors = 4;
constexpr uint32_t kLineBytes = kColors * kBytesPerLine;

// Two inches at 360 x 720 in four colours.
inline JobProp TwoInchJob() {
    JobProp job{};
    job.XDPI = 360;
    job.YDPI = 720;
    job.Width = kWidth;
    job.BytesPerLine = kBytesPerLine;
    job.Colors = kColors;
    job.Height = 3200;
    return job;
}

inline std::vector<std::string> gBoxes;
inline void CatchBox(const char *caption, const char *text) {
    gBoxes.push_back(std::string(caption) + "|" + text);
}

class Job : public BoardTest {
protected:
    void SetUp() override {
        MakeFolder();
        gBoxes.clear();
        plat_set_message_sink(CatchBox);
        inked_.resize(kLineBytes);
        for (size_t i = 0; i < inked_.size(); ++i) inked_[i] = static_cast<uint8_t>(0x55 + i * 13);
        blank_.assign(kLineBytes, 0);
    }
    void TearDown() override {
        ClosePrint();  // harmless when no job runs
        EXPECT_EQ(TxThreadLeft(), nullptr);
        EXPECT_EQ(RxThreadLeft(), nullptr);
        EXPECT_EQ(HeartThreadLeft(), nullptr);
        EXPECT_EQ(SocketLeft(), kInvalidSocket);
        plat_set_message_sink(nullptr);
        BoardTest::TearDown();
    }

    void Request(uint8_t type, uint16_t arg1 = 0, uint16_t arg2 = 0) {
        PrintCfgRecord rec = ReadStatus();
        rec.ReqSerial = ++serial_;
        rec.ReqType = type;
        rec.ReqArg1 = arg1;
        rec.ReqArg2 = arg2;
        WriteStatus(rec);
    }

    // Board, addresses, session and job.
    void Begin(const std::string &ip, swathboard::BoardConfig config = {}) {
        StartBoardAt(ip, config);
        WriteAddresses(ip);
        ASSERT_EQ(InitPrinter(), 1);
        const JobProp job = TwoInchJob();
        ASSERT_EQ(StartPrint(&job), 1);
    }
    int Lines(uint32_t n, bool inked) {
        for (uint32_t i = 0; i < n; ++i)
            if (PrintALine(inked ? inked_.data() : blank_.data(), kLineBytes) != 1) return 0;
        return 1;
    }

    std::vector<uint8_t> inked_, blank_;
    uint16_t serial_ = 0;
};

// The host keeps printing on its own thread while pause, continue and abort
// come from elsewhere.
class Feeder {
public:
    Feeder(std::function<int()> line)
        : thread_([this, line] {
              while (!stop_ && line() == 1) ++lines_;
              done_ = true;
          }) {}
    ~Feeder() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_; }

private:
    std::atomic<bool> stop_{false}, done_{false};
    std::atomic<uint32_t> lines_{0};
    std::thread thread_;
};

}  // namespace sl::test
