// swathprint as a user runs it: good inputs print and leave a sheet; bad
// ones end with one message and their own exit code, and leave no output.
#include <gtest/gtest.h>

#include <filesystem>

#include "image.h"
#include "options.h"
#include "test_support.h"

namespace swathprint::test {
namespace {

const std::string kProgram = SWATHPRINT_PROGRAM;

// Output files of a run: the sheet, its summary, or a temporary of either.
bool HasOutput(const TempDir &dir) {
    for (const std::string &name : dir.Files())
        if (name.find(".printed") != std::string::npos || name.find(".part") != std::string::npos)
            return true;
    return false;
}

// The arguments, with each image name (.png or .tif, not a full path) taken
// from `dir`.
std::vector<std::string> InDir(const TempDir &dir, const std::vector<std::string> &args) {
    std::vector<std::string> out;
    for (const std::string &a : args) {
        const bool image = a.find(".png") != std::string::npos || a.find(".tif") != std::string::npos;
        out.push_back(image && a[0] != '/' ? dir.Path(a) : a);
    }
    return out;
}

// Writes the inputs the table uses into `dir`.
void WriteInputs(const TempDir &dir) {
    std::string error;
    Image grey = PatternImage(ColorModel::kGrey, 90, 40);
    ASSERT_TRUE(WritePng(dir.Path("grey8.png"), grey, 8, &error)) << error;
    Image rgb = PatternImage(ColorModel::kRgb, 120, 50);
    rgb.xdpi = rgb.ydpi = 180;  // printed at twice the size at 360 dpi
    ASSERT_TRUE(WritePng(dir.Path("rgb16.png"), rgb, 16, &error)) << error;
    WriteTiff(dir.Path("cmyk16.tif"), PatternImage(ColorModel::kCmyk, 70, 30), {16});
    WriteTiff(dir.Path("line-art.tif"), PatternImage(ColorModel::kGrey, 77, 33), {1, true});
    WriteTiff(dir.Path("tiny.tif"), PatternImage(ColorModel::kGrey, 3, 2), {8});
    ASSERT_TRUE(WritePng(dir.Path("black.png"), FlatImage(ColorModel::kGrey, 100, 10, {0}), 8, &error))
        << error;
    const std::vector<uint8_t> png = ReadBytes(dir.Path("grey8.png"));
    WriteBytes(dir.Path("cut.png"), {png.begin(), png.begin() + png.size() * 2 / 3});
    const std::vector<uint8_t> tif = ReadBytes(dir.Path("cmyk16.tif"));
    WriteBytes(dir.Path("cut.tif"), {tif.begin(), tif.begin() + tif.size() / 3});
    WriteBytes(dir.Path("notes.png"), {'n', 'o', 't', 'e', 's'});
}

// Each good input prints on the built-in emulator, says what it printed in
// its last two lines and leaves the sheet and its summary beside the input.
TEST(Program, GoodInputsPrintASheet) {
    TempDir dir;
    WriteInputs(dir);
    struct Case {
        std::vector<std::string> args;
        const char *sheet;
        const char *says;  // in the summary line
    };
    const Case cases[] = {
        {{"grey8.png"}, "grey8.printed.png", "at 720 x 720 dpi"},
        {{"--xdpi", "360", "--ydpi", "360", "rgb16.png"},
         "rgb16.printed.png",
         "16.9 x 7.1 mm at 360 x 360 dpi"},
        {{"--xdpi", "360", "--ydpi", "720", "--width-mm", "20", "cmyk16.tif"},
         "cmyk16.printed.png",
         "20.0 x 8.6 mm"},
        {{"--xdpi", "360", "--ydpi", "1440", "line-art.tif"}, "line-art.printed.png", "at 360 x 1440 dpi"},
        {{"--xdpi", "360", "--ydpi", "360", "--bits", "1", "--bidirectional", "grey8.png", "--output",
          "one-bit.png"},
         "one-bit.png",
         "dots K"},
        {{"--xdpi", "360", "--ydpi", "360", "tiny.tif"}, "tiny.printed.png", "0.2 x 0.1 mm"},
        {{"--xdpi", "360", "--ydpi", "360", "--drop-pl", "1,2,1000", "black.png"},
         "black.printed.png",
         "dots K 1000 C 0 M 0 Y 0, ink 1.00 ul (drops 1/2/1000 pl)"},
        {{"--xdpi", "360", "--ydpi", "360", "--library", SWATHLINK_LIBRARY_FILE, "black.png", "--output",
          "b.png"},
         "b.png",
         "7.1 x 0.7 mm"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = InDir(dir, c.args);
        args.insert(args.begin(), {"--emulator-ip", "127.0.0.161"});
        const ProgramRun run = RunProgram(kProgram, args);
        SCOPED_TRACE(c.sheet + std::string(": ") + run.err);
        ASSERT_EQ(run.exit_code, 0) << run.out;
        EXPECT_EQ(LastLine(run.out), "sheet: " + dir.Path(c.sheet));
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(" swaths, "), std::string::npos) << run.out;
        const std::vector<uint8_t> sheet = ReadBytes(dir.Path(c.sheet));
        ASSERT_GT(sheet.size(), 8u);
        EXPECT_EQ(sheet[1], 'P');
        Image printed;
        std::string error;
        EXPECT_TRUE(ReadImage(dir.Path(c.sheet), &printed, &error)) << error;
    }
    for (const std::string &name : dir.Files()) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

// Each bad input: the exit code, the one message (the last line of the error
// output, and the only one of this program), and no output file.
TEST(Program, BadInputsEndWithOneMessage) {
    TempDir dir;
    WriteInputs(dir);
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        const char *says;
    };
    const Case cases[] = {
        {{"missing.png"}, kExitInput, "cannot open"},
        {{"cut.png"}, kExitInput, "truncated PNG"},
        {{"cut.tif"}, kExitInput, "TIFF"},
        {{"notes.png"}, kExitInput, "not a PNG, TIFF, JPEG, PDF or PostScript file"},
        {{"--xdpi", "500", "grey8.png"}, kExitUsage, "unsupported resolution 500 x 720 dpi"},
        {{"--ydpi", "2160", "grey8.png"}, kExitUsage, "unsupported resolution 720 x 2160 dpi"},
        {{"--xdpi", "180", "--ydpi", "360", "grey8.png"}, kExitUsage, "unsupported resolution 180 x 360 dpi"},
        {{"--bits", "4", "grey8.png"}, kExitUsage, "bad value for --bits"},
        {{"--board-preset", "odd", "grey8.png"}, kExitUsage, "unknown --board-preset odd"},
        {{"--speed", "grey8.png"}, kExitUsage, "unknown option --speed"},
        {{"grey8.png", "rgb16.png"}, kExitUsage, "more than one image"},
        {{"--xdpi", "360", "--width-mm", "9000", "grey8.png"},
         kExitTooWide,
         "image too wide: 127559 dots across"},
        {{"--xdpi", "720", "--width-mm", "6100", "grey8.png"}, kExitTooWide, "at most 170756"},
        {{"--board", "127.0.0.163", "grey8.png"},
         kExitBoard,
         "the board at 127.0.0.163 did not take the job"},
        {{"--board", "10.1.2", "grey8.png"}, kExitUsage, "not an IPv4 address: 10.1.2"},
        {{"--emulator-ip", "10.0.0.1", "grey8.png"},
         kExitBoard,
         "cannot start the built-in emulator at 10.0.0.1"},
        {{"--library", "/nonexistent/libswathlink.so", "grey8.png"},
         kExitSetup,
         "cannot load the driver library"},
        {{"--output", "/nonexistent/sheet.png", "--emulator-ip", "127.0.0.162", "grey8.png"},
         kExitSetup,
         "/nonexistent/sheet.png"},
    };
    for (const Case &c : cases) {
        const ProgramRun run = RunProgram(kProgram, InDir(dir, c.args));
        SCOPED_TRACE(c.says);
        EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
        const std::string last = LastLine(run.err);
        EXPECT_EQ(last.rfind("swathprint: ", 0), 0u) << run.err;
        EXPECT_NE(last.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("swathprint: "), run.err.rfind("swathprint: ")) << "one message: " << run.err;
        EXPECT_FALSE(HasOutput(dir));
    }
}

// The progress bar is drawn on a terminal and left out when the output is
// redirected; the summary comes in both cases.
TEST(Program, ProgressBarOnlyOnATerminal) {
    TempDir dir;
    WriteInputs(dir);
    const std::vector<std::string> args = {"--emulator-ip", "127.0.0.164",        "--xdpi", "360", "--ydpi",
                                           "360",           dir.Path("grey8.png")};
    const ProgramRun terminal = RunOnTerminal(kProgram, args);
    ASSERT_EQ(terminal.exit_code, 0) << terminal.out;
    EXPECT_NE(terminal.out.find("\r["), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("/40 lines"), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find(" elapsed"), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("sheet: "), std::string::npos) << terminal.out;

    const ProgramRun redirected = RunProgram(kProgram, args);
    ASSERT_EQ(redirected.exit_code, 0) << redirected.err;
    EXPECT_EQ(redirected.err, "");
    EXPECT_EQ(redirected.out.find("lines"), std::string::npos) << redirected.out;
    EXPECT_NE(redirected.out.find("sheet: "), std::string::npos);
}

// "dots printed N" of a summary (0 when absent).
uint64_t SummaryDotsPrinted(const std::string &out) {
    const size_t at = out.find("dots printed ");
    return at == std::string::npos ? 0 : std::stoull(out.substr(at + 13));
}

// The dots of every channel and level in a sheet's JSON summary.
uint64_t SheetDots(const std::string &json) {
    uint64_t sum = 0;
    for (size_t at = json.find("\"level"); at != std::string::npos; at = json.find("\"level", at + 1))
        sum += std::stoull(json.substr(json.find(':', at) + 1));
    return sum;
}

// --abort-after stops the job there, also while --pause-after holds it: its
// own exit code and message, and the sheet of what was printed up to then.
TEST(Program, AbortAfterStopsTheJob) {
    TempDir dir;
    WriteInputs(dir);
    const std::vector<std::string> controls[] = {{"--abort-after", "25"},
                                                 {"--pause-after", "25", "--abort-after", "25"}};
    for (const auto &control : controls) {
        SCOPED_TRACE(control.size() == 2 ? "abort" : "abort while paused");
        std::vector<std::string> args = {"--emulator-ip", "127.0.0.165", "--xdpi", "360", "--ydpi", "360"};
        args.insert(args.end(), control.begin(), control.end());
        args.push_back(dir.Path("grey8.png"));
        const ProgramRun run = RunProgram(kProgram, args);
        EXPECT_EQ(run.exit_code, kExitAborted) << run.err;
        EXPECT_EQ(LastLine(run.err), "swathprint: aborted after 25 lines, as --abort-after asked");
        EXPECT_EQ(LastLine(run.out), "sheet: " + dir.Path("grey8.printed.png"));
        EXPECT_EQ(SummaryDotsPrinted(run.out), SheetDots(ReadText(dir.Path("grey8.printed.json"))))
            << run.out;
    }
}

// An aborted job's ink is what the board accepted, to the dot: a job
// aborted after the board has taken a few swaths of it counts the dots on
// the sheet, not the lines the driver was given.
TEST(Program, AbortedJobCountsTheInkTheBoardAccepted) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WritePng(dir.Path("tall.png"), PatternImage(ColorModel::kGrey, 64, 2000), 8, &error))
        << error;
    const ProgramRun run = RunProgram(kProgram, {"--emulator-ip", "127.0.0.170", "--xdpi", "360", "--ydpi",
                                                 "360", "--abort-after", "1200", dir.Path("tall.png")});
    EXPECT_EQ(run.exit_code, kExitAborted) << run.err;
    const uint64_t printed = SummaryDotsPrinted(run.out);
    EXPECT_GT(printed, 0u) << run.out;
    EXPECT_EQ(printed, SheetDots(ReadText(dir.Path("tall.printed.json")))) << run.out;
    EXPECT_NE(run.out.find("in the swaths the board accepted"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("swaths, part of a 4.5 x 141.1 mm job at 360 x 360 dpi"), std::string::npos)
        << run.out;
}

// The demo's path: the generated chart printed at 720 x 720 dpi (here at a
// small size) lands with no dot twice and none outside the sheet.
TEST(Program, ChartPrintsCleanly) {
    TempDir dir;
    ASSERT_EQ(RunProgram(SWATHCHART_PROGRAM, {dir.Path("chart.png"), "360"}).exit_code, 0);
    const ProgramRun run =
        RunProgram(kProgram, {"--emulator-ip", "127.0.0.169", "--width-mm", "30", dir.Path("chart.png")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(LastLine(run.out), "sheet: " + dir.Path("chart.printed.png"));
    const std::string summary = ReadText(dir.Path("chart.printed.json"));
    EXPECT_NE(summary.find("\"doubled\": 0,"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"outside\": 0,"), std::string::npos) << summary;
}

TEST(Program, HelpListsTheOptionsAndExitCodes) {
    const ProgramRun run = RunProgram(kProgram, {"--help"});
    EXPECT_EQ(run.exit_code, 0);
    for (const char *word : {"--xdpi", "--width-mm", "--board", "--drop-pl", "(default 4,8,12)",
                             "--pause-after", "--abort-after", "Exit codes"})
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace swathprint::test

namespace swathprint::test {
namespace {

// A number that follows `key` in a sheet's JSON summary.
uint64_t JsonNumber(const std::string &json, const std::string &key) {
    const size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? 0 : std::stoull(json.substr(at + key.size() + 4));
}

// The layout options, each as the sheet shows it: a 40 x 30 pixel image at
// 360 dpi, turned, moved right by the margin, repeated with a gap in one job
// or as jobs of their own.
TEST(Layout, OptionsPlaceThePageOnTheSheet) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WritePng(dir.Path("page.png"), PatternImage(ColorModel::kGrey, 40, 30), 8, &error)) << error;
    const struct {
        std::vector<std::string> options;
        std::vector<std::string> sheets;  // each printed 40 + margin wide and `height` high
        uint64_t width, height;
        const char *says;  // at the start of the summary
    } cases[] = {
        {{}, {"page.printed"}, 40, 30, "1 swaths"},
        {{"--margin-mm", "10"}, {"page.printed"}, 40 + 142, 30, "1 swaths"},  // 10 mm = 141.7 dots
        {{"--rotate", "90"}, {"page.printed"}, 30, 40, "1 swaths"},
        {{"--rotate", "270", "--mirror"}, {"page.printed"}, 30, 40, "1 swaths"},
        {{"--rotate", "180"}, {"page.printed"}, 40, 30, "1 swaths"},
        {{"--mirror"}, {"page.printed"}, 40, 30, "1 swaths"},
        {{"--copies", "2", "--gap-mm", "5"}, {"page.printed"}, 40, 30 + 71 + 30, "2 copies in one job: "},
        {{"--copies", "3", "--gap-mm", "0"}, {"page.printed"}, 40, 90, "3 copies in one job: "},
        {{"--copies", "2"}, {"page.printed-c1", "page.printed-c2"}, 40, 30, "copy 1 of 2: "},
    };
    for (const auto &c : cases) {
        std::string shown;
        for (const std::string &o : c.options) shown += o + " ";
        SCOPED_TRACE(shown);
        std::vector<std::string> args = {"--emulator-ip", "127.0.0.179", "--xdpi", "360", "--ydpi", "360"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(dir.Path("page.png"));
        const ProgramRun run = RunProgram(kProgram, args);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out.rfind(c.says, 0), 0u) << run.out;
        for (const std::string &sheet : c.sheets) {
            const std::string json = ReadText(dir.Path(sheet + ".json"));
            EXPECT_EQ(JsonNumber(json, "width"), c.width) << sheet;
            EXPECT_EQ(JsonNumber(json, "height"), c.height) << sheet;
            EXPECT_EQ(JsonNumber(json, "doubled"), 0u) << sheet;
            EXPECT_EQ(JsonNumber(json, "outside"), 0u) << sheet;
            std::filesystem::remove(dir.Path(sheet + ".json"));
            std::filesystem::remove(dir.Path(sheet + ".png"));
        }
        EXPECT_EQ(dir.Files(), std::vector<std::string>{"page.png"});
    }
}

}  // namespace
}  // namespace swathprint::test
