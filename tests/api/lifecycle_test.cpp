// Entry-point rules that need no board: calls outside a job, and job
// records the library refuses before it takes any memory or connection.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/job_check.h"
#include "api/job_state.h"
#include "api/memory_plan.h"
#include "platform/platform.h"
#include "support/default_printer.h"
#include "support/temp_prnlog.h"
#include "swathlink/swathlink.h"

namespace {

std::vector<std::string> gBoxes;
void CaptureBox(const char *caption, const char *text) {
    gBoxes.push_back(std::string(caption) + ": " + text);
}

JobProp GoodJob() {
    JobProp p{};
    p.XDPI = 360;
    p.YDPI = 720;
    p.Width = 1000;
    p.BytesPerLine = 250;
    p.Height = 100;
    p.Colors = 4;
    return p;
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        gBoxes.clear();
        sl::plat_set_message_sink(CaptureBox);
        InitPrinter();
    }
    void TearDown() override {
        ClosePrint();
        sl::plat_set_message_sink(nullptr);
    }

    const sl_test::TempPrnlog prnlog_;  // made before SetUp, removed after TearDown
};

TEST_F(Lifecycle, CallsOutsideAJobAreIgnored) {
    uint8_t line[1000] = {};
    EXPECT_EQ(PrintALine(line, sizeof line), 1);
    EXPECT_EQ(EndPrint(), 1);
    EXPECT_EQ(ClosePrint(), 1);
    EXPECT_EQ(ClosePrint(), 1);
    EXPECT_EQ(sl::test::HeldJobBlock(), nullptr);
}

TEST_F(Lifecycle, NoLineDataOutsideAJobIsStillIgnored) {
    EXPECT_EQ(PrintALine(nullptr, 0), 1);
    EXPECT_EQ(PrintALine(nullptr, 720), 1);
}

TEST_F(Lifecycle, AbortMakesPrintALineFail) {
    uint8_t line[1000] = {};
    EXPECT_EQ(AbortPrint(), 1);
    EXPECT_EQ(PrintALine(line, sizeof line), 0);
    InitPrinter();  // a new session clears the abort
    EXPECT_EQ(PrintALine(line, sizeof line), 1);
}

TEST_F(Lifecycle, PauseAndContinueOnlySetTheFlag) {
    EXPECT_EQ(PausePrint(), 1);
    EXPECT_EQ(sl::test::PauseFlag(), 1u);
    EXPECT_EQ(ContinuePrint(), 1);
    EXPECT_EQ(sl::test::PauseFlag(), 0u);
}

struct Refusal {
    const char *what;
    void (*spoil)(JobProp *);
};

const Refusal kRefusals[] = {
    {"width below 8", [](JobProp *p) { p->Width = 7; }},
    {"YDPI 0", [](JobProp *p) { p->YDPI = 0; }},
    {"YDPI not a multiple of 360", [](JobProp *p) { p->YDPI = 700; }},
    {"YDPI beyond the line order", [](JobProp *p) { p->YDPI = 360 * 33; }},
    {"no colours", [](JobProp *p) { p->Colors = 0; }},
    {"seven colours", [](JobProp *p) { p->Colors = 7; }},
    {"BytesPerLine 0", [](JobProp *p) { p->BytesPerLine = 0; }},
    {"BytesPerLine below 1 bit per pixel", [](JobProp *p) { p->BytesPerLine = 124; }},
    {"XDPI 0", [](JobProp *p) { p->XDPI = 0; }},
    {"line beyond the empty-line buffer",
     [](JobProp *p) {
         p->Width = 200000;
         p->BytesPerLine = 50000;
     }},
    {"1-bit line beyond the expansion buffer",
     [](JobProp *p) {
         p->Colors = 6;
         p->Width = 120000;
         p->BytesPerLine = 15000;  // 6 x 15000 x 2 > 170760
     }},
    {"width beyond the widest swath",
     [](JobProp *p) {
         p->Width = 240000;
         p->BytesPerLine = 30000;
         p->Colors = 1;
     }},
    {"host stride longer than the widened line", [](JobProp *p) { p->BytesPerLine = 5000; }},
};

TEST_F(Lifecycle, OutOfDomainRecordsAreRefused) {
    EXPECT_EQ(StartPrint(nullptr), 0);
    for (const Refusal &r : kRefusals) {
        SCOPED_TRACE(r.what);
        JobProp p = GoodJob();
        r.spoil(&p);
        ASSERT_NE(sl::JobPropProblem(&p), nullptr);
        gBoxes.clear();
        EXPECT_EQ(StartPrint(&p), 0);
        ASSERT_EQ(gBoxes.size(), 1u);
        EXPECT_EQ(gBoxes[0].rfind("Error: ", 0), 0u) << gBoxes[0];
        EXPECT_EQ(sl::test::JobStarted(), 0u);
        EXPECT_EQ(sl::test::HeldJobBlock(), nullptr);
    }
}

TEST_F(Lifecycle, DomainEdgesAreAccepted) {
    JobProp p = GoodJob();
    EXPECT_EQ(sl::JobPropProblem(&p), nullptr);
    p.Width = 8;
    p.BytesPerLine = 1;  // one byte of 1-bit pixels
    EXPECT_EQ(sl::JobPropProblem(&p), nullptr);
    p = GoodJob();
    p.Colors = 6;
    p.YDPI = 1440;
    EXPECT_EQ(sl::JobPropProblem(&p), nullptr);
}

}  // namespace
