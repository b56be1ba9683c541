// The program's job through the real driver, real TCP and the emulator:
// the printed sheet holds exactly the dots the program screened.
#include <gtest/gtest.h>

#include <array>

#include "driver.h"
#include "job_plan.h"
#include "print_run.h"
#include "raster.h"
#include "session.h"
#include "test_support.h"

namespace swathprint::test {
namespace {

// The dot level each pixel prints at, as the program screens it (a 1-bit
// dot prints at level 3).
std::array<std::vector<uint8_t>, kPlanes> Screened(const Image &image, const JobPlan &plan) {
    DotCounts dots;
    auto levels = ScreenImage(image, plan.content_width, plan.width, plan.height, plan.bits, &dots);
    if (plan.bits == 1)
        for (auto &plane : levels)
            for (uint8_t &v : plane) v = static_cast<uint8_t>(v * 3);
    return levels;
}

class Roundtrip : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(LoadDriver(SWATHLINK_LIBRARY_FILE, &driver_, &error)) << error;
    }
    void TearDown() override { CloseSession(&session_); }

    // Prints `image` with `options`; the sheet must equal the screened raster.
    void PrintAndCompare(const Image &image, const Options &options) {
        JobPlan plan;
        std::string error;
        ASSERT_EQ(PlanJob(options, ImagePage(&image)->Info(), 1, &plan, &error), kExitOk) << error;
        ASSERT_EQ(OpenSession(options, &session_, &error), kExitOk) << error;
        FrameSheet(&session_, plan);
        RunStats stats;
        ASSERT_EQ(RunJob(
                      driver_, plan, [&image](std::string *) { return ImagePage(&image); },
                      DefaultConversion(image), options, [] { return -1; }, &stats, &error),
                  kExitOk)
            << error;
        swathboard::Sheet sheet;
        ASSERT_TRUE(swathboard::PrintedSheet(session_.board, &sheet));
        ASSERT_EQ(sheet.width, plan.width);
        ASSERT_EQ(sheet.height, plan.height);
        EXPECT_EQ(sheet.summary.doubled, 0u);
        EXPECT_EQ(sheet.summary.outside, 0u);
        const auto want = Screened(image, plan);
        const std::pair<Plane, swathboard::Ink> inks[] = {{kK, swathboard::kInkK},
                                                          {kC, swathboard::kInkC},
                                                          {kM, swathboard::kInkM},
                                                          {kY, swathboard::kInkY}};
        for (const auto &[plane, ink] : inks) {
            size_t wrong = 0, first = 0;
            for (size_t i = 0; i < want[plane].size(); ++i) {
                if (sheet.ink[ink][i] == want[plane][i]) continue;
                if (wrong++ == 0) first = i;
            }
            EXPECT_EQ(wrong, 0u) << "plane " << int(plane) << ", first at x " << first % plan.width << " y "
                                 << first / plan.width;
        }
    }

    Driver driver_;
    Session session_;
};

// A CMYK picture in the program's modes (every resolution class), 2-bit and
// 1-bit, one way and both.
TEST_F(Roundtrip, SheetHoldsExactlyTheScreenedDots) {
    struct Mode {
        uint32_t xdpi, ydpi;
        int bits;
        bool bidirectional;
    };
    const Mode modes[] = {
        {360, 360, 2, false},   {360, 720, 2, true},  {600, 720, 2, false},  {360, 1440, 2, true},
        {1440, 1440, 2, false}, {720, 720, 2, false}, {720, 360, 2, true},   {720, 1440, 2, true},
        {360, 360, 1, true},    {720, 720, 1, false}, {270, 360, 2, true},   {450, 720, 2, false},
        {1080, 360, 2, false},  {1200, 720, 2, true}, {2160, 360, 2, false}, {2880, 360, 2, true},
    };
    const Image image = PatternImage(ColorModel::kCmyk, 150, 61);
    for (const Mode &m : modes) {
        SCOPED_TRACE(std::to_string(m.xdpi) + " x " + std::to_string(m.ydpi) + " bits " +
                     std::to_string(m.bits) + (m.bidirectional ? " both ways" : " one way"));
        Options options;
        options.emulator_ip = "127.0.0.166";
        options.xdpi = m.xdpi;
        options.ydpi = m.ydpi;
        options.bits = m.bits;
        options.bidirectional = m.bidirectional;
        PrintAndCompare(image, options);
        CloseSession(&session_);
    }
}

// A pause mid-job reaches the board as pause and continue, and the sheet is
// still exact.
TEST_F(Roundtrip, PauseAfterPausesAndContinues) {
    Options options;
    options.emulator_ip = "127.0.0.167";
    options.xdpi = options.ydpi = 360;
    options.pause_after = 20;
    PrintAndCompare(PatternImage(ColorModel::kRgb, 100, 80), options);
    auto debug_count = [&](uint8_t sub) {
        size_t n = 0;
        for (const auto &r : swathboard::Packets(session_.board)) n += r.code == 1 && r.raw[4] == sub;
        return n;
    };
    EXPECT_GE(debug_count(20), 1u) << "pause";
    EXPECT_GE(debug_count(21), 1u) << "continue";
}

// With --board the program prints to that board and writes no sheet; the
// summary has no swath count it cannot know. The board misbehaves in ways a
// real one does; an interrupt (Ctrl-C) aborts a job the board holds up.
TEST(ExternalBoard, PrintsToTheBoardGivenThroughItsFaults) {
    struct Case {
        const char *name;
        void (*fault)(swathboard::Board *);
        int interrupt_s;  // 0: none
        int exit_code;
        const char *says;  // on the last line of the error output; "" for none
        const char *link;  // the summary's link line; "" for none, null: not checked (a board
                           // that does not answer in time has the driver reconnect)
    };
    const Case cases[] = {
        {"no fault", [](swathboard::Board *) {}, 0, kExitOk, "", ""},
        {"drops the link on the second swath",
         [](swathboard::Board *b) {
             swathboard::ArmClose(b, {2, -1, 0});
         },
         0, kExitOk, "", "link: dropped 1 time during the job and came back each time"},
        {"answers swaths late", [](swathboard::Board *b) { swathboard::DelayNext(b, 9, 3, 200); }, 0, kExitOk,
         "", nullptr},
        {"refuses a swath", [](swathboard::Board *b) { swathboard::RefuseNext(b, 9, 1); }, 0, kExitOk, "",
         ""},
        {"stops answering swaths", [](swathboard::Board *b) { swathboard::SilenceNext(b, 9, 100000); }, 3,
         kExitAborted, "as the interrupt asked", nullptr},
        // A cancel in the print status is in the driver's trace: the program
        // says what happened.
        {"reports a cancel at the printer", [](swathboard::Board *b) { swathboard::CancelNext(b, 9, 1); }, 0,
         kExitCancelled, "cancelled at the printer after", ""},
        // A swath refused as cancelled reaches the program only as the
        // driver's refusal of the next line: another stop, as far as it can
        // tell.
        {"refuses a swath as cancelled",
         [](swathboard::Board *b) {
             swathboard::InjectSwathFault(b, swathboard::SwathFault::kPrinterCancel, 2);
         },
         0, kExitBoardStopped, "stopped by the board after", ""},
    };
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WritePng(dir.Path("in.png"), PatternImage(ColorModel::kGrey, 64, 2000), 8, &error));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        swathboard::BoardConfig config;
        config.ip = "127.0.0.168";
        swathboard::Board *board = swathboard::StartBoard(config, &error);
        ASSERT_NE(board, nullptr) << error;
        c.fault(board);
        const std::vector<std::string> args = {"--board", "127.0.0.168", "--xdpi",          "360",
                                               "--ydpi",  "360",         dir.Path("in.png")};
        const ProgramRun run = c.interrupt_s ? RunInterrupted(SWATHPRINT_PROGRAM, args, c.interrupt_s)
                                             : RunProgram(SWATHPRINT_PROGRAM, args);
        EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
        if (*c.says) {
            EXPECT_NE(LastLine(run.err).find(c.says), std::string::npos) << run.err;
        }
        EXPECT_EQ(run.out.find("sheet:"), std::string::npos) << run.out;
        if (c.link && *c.link) {
            EXPECT_NE(run.out.find(std::string(c.link) + "\n"), std::string::npos) << run.out;
        } else if (c.link) {
            EXPECT_EQ(run.out.find("link:"), std::string::npos) << run.out;
        }
        if (c.exit_code == kExitAborted) {
            EXPECT_NE(run.out.find("ink unknown (the job stopped part way"), std::string::npos) << run.out;
        }
        if (c.exit_code == kExitOk) {
            EXPECT_EQ(run.out.find("swaths"), std::string::npos) << run.out;
            EXPECT_NE(run.out.find("dots K"), std::string::npos) << run.out;
            const auto stored = swathboard::StoredSwathNumbers(board);
            ASSERT_FALSE(stored.empty());
            EXPECT_EQ(stored.back(), stored.size()) << "every swath once";
        }
        EXPECT_EQ(dir.Files(), std::vector<std::string>{"in.png"});
        swathboard::StopBoard(board);
    }
}

}  // namespace
}  // namespace swathprint::test
