// Ctrl-C and bad output paths: the first interrupt aborts through the driver
// and says so at once, the second ends the program and still removes what
// it was writing, and an output that cannot be written is found before any
// ink is spent. Nothing of a run is left in the folder or in $TMPDIR.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "image.h"
#include "options.h"
#include "test_support.h"

namespace swathprint::test {
namespace {

const std::string kProgram = SWATHPRINT_PROGRAM;
constexpr int kExitSecondInterrupt = 130;

// A PNG that arrives through a pipe and stalls half way, as from a slow
// source: the job prints what came and then waits for more, until the
// test ends the stall.
class StalledPng {
public:
    explicit StalledPng(const TempDir &dir) : path_(dir.Path("slow.png")) {
        std::string error;
        const Image image = PatternImage(ColorModel::kGrey, 200, 4000);
        EXPECT_TRUE(WritePng(dir.Path("whole.png"), image, 8, &error)) << error;
        const std::vector<uint8_t> whole = ReadBytes(dir.Path("whole.png"));
        std::filesystem::remove(dir.Path("whole.png"));
        EXPECT_EQ(mkfifo(path_.c_str(), 0600), 0);
        writer_ =
            std::thread([this, half = std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2)] {
                const int fd = open(path_.c_str(), O_WRONLY);
                if (fd < 0) return;
                EXPECT_EQ(write(fd, half.data(), half.size()), ssize_t(half.size()));
                while (!release_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                close(fd);
            });
    }
    ~StalledPng() {
        release_.store(true);
        // A writer still waiting for a reader is let go by one.
        const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        writer_.join();
        if (fd >= 0) close(fd);
        std::filesystem::remove(path_);
    }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
    std::atomic<bool> release_{false};
    std::thread writer_;
};

// The files in `dir` other than those named.
std::vector<std::string> Others(const TempDir &dir, const std::vector<std::string> &expected) {
    std::vector<std::string> out;
    for (const std::string &name : dir.Files())
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) out.push_back(name);
    return out;
}

TEST(Interrupt, FirstAbortsThroughTheDriverAndSaysSoAtOnce) {
    TempDir dir, tmp;
    StalledPng input(dir);
    Watch watch;
    watch.interrupts_s = {1.0};
    watch.tmpdir = tmp.root;
    const ProgramRun run = RunWatched(
        kProgram, {"--emulator-ip", "127.0.0.172", "--xdpi", "360", "--ydpi", "360", input.Path()}, watch);
    EXPECT_EQ(run.exit_code, kExitAborted) << run.err;
    EXPECT_NE(run.err.find("aborting: waiting for the printer to confirm\n"), std::string::npos) << run.err;
    const std::string last = LastLine(run.err);
    EXPECT_EQ(last.rfind("swathprint: aborted after ", 0), 0u) << run.err;
    EXPECT_NE(last.find(" lines, as the interrupt asked"), std::string::npos) << run.err;
    // The sheet of what was printed, whole.
    EXPECT_EQ(LastLine(run.out), "sheet: " + dir.Path("slow.printed.png")) << run.out;
    EXPECT_EQ(Others(dir, {"slow.png", "slow.printed.png", "slow.printed.json"}), std::vector<std::string>{});
    EXPECT_EQ(tmp.Files(), std::vector<std::string>{});
}

// The second interrupt comes while the driver waits for the printer to
// confirm the abort (at the driver's real pace): the program ends at once
// and removes its private folder and any sheet it was writing.
TEST(Interrupt, SecondEndsAtOnceAndLeavesNothing) {
    TempDir dir, tmp;
    StalledPng input(dir);
    Watch watch;
    watch.interrupts_s = {5.0, 5.5};
    watch.tmpdir = tmp.root;
    watch.time_scale = "1";
    const ProgramRun run = RunWatched(
        kProgram, {"--emulator-ip", "127.0.0.173", "--xdpi", "360", "--ydpi", "360", input.Path()}, watch);
    EXPECT_EQ(run.exit_code, kExitSecondInterrupt) << run.err;
    EXPECT_NE(run.err.find("aborting: waiting for the printer to confirm"), std::string::npos) << run.err;
    EXPECT_EQ(Others(dir, {"slow.png"}), std::vector<std::string>{});
    EXPECT_EQ(tmp.Files(), std::vector<std::string>{});
}

// Outputs that cannot be written end the run before the job starts, with
// their own message; the input is never touched.
TEST(Interrupt, OutputProblemsAreFoundBeforePrinting) {
    TempDir dir, tmp;
    std::string error;
    ASSERT_TRUE(WritePng(dir.Path("in.png"), PatternImage(ColorModel::kRgb, 40, 30), 8, &error)) << error;
    const std::vector<uint8_t> before = ReadBytes(dir.Path("in.png"));
    std::filesystem::create_directory(dir.Path("folder"));
    const struct {
        std::string output;
        const char *says;
    } cases[] = {
        {dir.Path("in.png"), "is the document itself"},
        {dir.root + "/./folder/../in.png", "is the document itself"},
        {dir.Path("folder"), "is a folder"},
        {"/proc/swathprint-sheet.png", "cannot write /proc/swathprint-sheet.png"},
        {dir.Path("missing/sheet.png"), "its folder does not exist"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.output);
        Watch watch;
        watch.tmpdir = tmp.root;
        const ProgramRun run = RunWatched(
            kProgram, {"--emulator-ip", "127.0.0.174", "--output", c.output, dir.Path("in.png")}, watch);
        EXPECT_EQ(run.exit_code, kExitSetup) << run.err;
        EXPECT_NE(LastLine(run.err).find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << "no job was printed";
        EXPECT_EQ(ReadBytes(dir.Path("in.png")), before);
        EXPECT_EQ(Others(dir, {"in.png", "folder"}), std::vector<std::string>{});
        EXPECT_EQ(tmp.Files(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace swathprint::test

namespace swathprint::test {
namespace {

// Memory follows the width, not the length: a 0.8 m wide job 30 cm long
// peaks at about what a 5 cm one of the same width does (both measured in
// this run; the lines are made, screened and the sheet written as they go).
// Six times the length would hold six times the rows if anything kept them
// (a whole page of this width is about 190 MB of ink); the full 1.6 m x 10 m
// banner is the benchmark's (frontend_bench --banner), too slow for a test.
TEST(Banner, PeakMemoryStaysFlatAlongTheLength) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer keeps freed memory in quarantine: resident size follows what was freed";
#endif
    TempDir dir, tmp;
    const std::string convert = "/usr/bin/convert";
    for (const char *geometry : {"80x5 short.png", "80x30 long.png"}) {
        const ProgramRun made =
            RunProgram("/bin/sh", {"-c", "cd '" + dir.root + "' && " + convert + " -size " +
                                             std::string(geometry).replace(std::string(geometry).find(' '), 1,
                                                                           " gradient:white-black ")});
        ASSERT_EQ(made.exit_code, 0) << made.err;
    }
    long peak[2] = {};
    int i = 0;
    for (const char *name : {"short.png", "long.png"}) {
        Watch watch;
        watch.tmpdir = tmp.root;
        watch.limit_s = 120;
        const ProgramRun run = RunWatched(kProgram,
                                          {"--emulator-ip", "127.0.0.178", "--xdpi", "360", "--ydpi", "360",
                                           "--width-mm", "800", "--preview-scale", "8", dir.Path(name)},
                                          watch);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        peak[i++] = run.peak_kb;
    }
    EXPECT_LT(peak[1], peak[0] * 5 / 4) << "5 cm: " << peak[0] << " kB, 30 cm: " << peak[1] << " kB";
    EXPECT_EQ(tmp.Files(), std::vector<std::string>{});
}

}  // namespace
}  // namespace swathprint::test
