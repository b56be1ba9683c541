// The Windows DLL under Wine prints whole jobs to the Linux board emulator.
// Each job is also printed by the Linux library against a second board; the
// two boards must have received the same swaths, byte for byte, and the
// sheet the emulator prints must equal the job's raster. Also checked
// under Wine: the hidden folder and the status file, "ShareFile" seen by a
// second process, the start-up wording of a Chinese locale, the trace file.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "board_fixture.h"
#include "job_pattern.h"
#include "platform/platform.h"
#include "swathlink/swathlink.h"
#include "transport/net_codes.h"

extern char **environ;

namespace sl::test {
namespace {

// Wine's view of the hidden folder and its own files.
std::string DriveC() { return std::string(std::getenv("WINEPREFIX")) + "/drive_c"; }

std::string ReadText(const std::string &path) {
    const auto bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct HostRun {
    int exitCode = -1;  // -1: did not end in time (and was killed)
    std::string output;
};

std::vector<std::string> Winhost(const std::vector<std::string> &args) {
    std::vector<std::string> command = {std::getenv("SWATHLINK_WINHOST")};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

// A Windows program run by Wine, with the given extra environment.
class WineProcess {
public:
    WineProcess(const std::vector<std::string> &command, const std::vector<std::string> &env) {
        char tmpl[] = "/tmp/swathlink-winhost-XXXXXX";
        const int fd = mkstemp(tmpl);
        out_ = tmpl;
        std::vector<std::string> argv = {"wine"};
        argv.insert(argv.end(), command.begin(), command.end());
        std::vector<char *> a;
        for (auto &s : argv) a.push_back(s.data());
        a.push_back(nullptr);
        envStore_ = env;
        for (char **e = environ; *e; ++e) envStore_.push_back(*e);  // later ones lose
        std::vector<char *> envp;
        for (auto &s : envStore_) envp.push_back(s.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fd, 1);
        started_ = posix_spawnp(&pid_, "wine", &actions, nullptr, a.data(), envp.data()) == 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fd);
    }
    ~WineProcess() {
        Wait(std::chrono::seconds(1));
        std::remove(out_.c_str());
    }
    // Waits a bounded time; a process still running then is killed.
    HostRun Wait(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
        if (!started_ || pid_ <= 0) return run_;
        int status = 0;
        const bool ended = WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        } else if (WIFEXITED(status)) {
            run_.exitCode = WEXITSTATUS(status);
        }
        pid_ = 0;
        run_.output = ReadText(out_);
        return run_;
    }

private:
    pid_t pid_ = 0;
    bool started_ = false;
    std::string out_;
    std::vector<std::string> envStore_;
    HostRun run_;
};

std::vector<std::string> JobArgs(const sl_wine::JobShape &s) {
    return {"--xdpi", std::to_string(s.xdpi), "--ydpi",  std::to_string(s.ydpi),
            "--width", std::to_string(s.width), "--colors", std::to_string(s.colors),
            "--lines", std::to_string(s.lines), "--seed", std::to_string(s.seed)};
}

// What a board kept of a job: each swath command packet the first time it
// came (a repeat after a late answer depends on timing, not on the job) and
// the data kept for each swath.
struct Received {
    std::vector<std::array<uint8_t, 64>> swathPackets;
    std::map<uint32_t, std::vector<uint8_t>> swaths;
};

Received WhatTheBoardKept(const swathboard::Board *b) {
    Received r;
    for (const auto &p : swathboard::Packets(b))
        if (p.code == NET_CMD_SWATH_CREATE && !p.duplicate) r.swathPackets.push_back(p.raw);
    for (uint32_t sn : swathboard::StoredSwathNumbers(b))
        swathboard::StoredSwath(b, sn, &r.swaths[sn]);
    return r;
}

// Compares the printed sheet with the job's raster: every pixel of every
// plane at its level, nothing else inked. Returns "" or the first
// difference with the count of differing pixels.
std::string SheetDifference(const swathboard::Sheet &sheet, const sl_wine::JobShape &shape) {
    if (sheet.width != shape.width || sheet.height != shape.lines)
        return "sheet is " + std::to_string(sheet.width) + " x " + std::to_string(sheet.height);
    // Host planes Y, M, C, K against the sheet's inks.
    constexpr swathboard::Ink kInkOfPlane[4] = {swathboard::kInkY, swathboard::kInkM,
                                                swathboard::kInkC, swathboard::kInkK};
    std::vector<uint8_t> line;
    uint64_t differing = 0;
    std::string first;
    for (uint32_t y = 0; y < shape.lines; ++y) {
        sl_wine::MakeLine(shape, y, line);
        for (uint32_t p = 0; p < 4; ++p) {
            const uint8_t *plane = line.data() + p * sl_wine::PlaneBytes(shape);
            const auto &ink = sheet.ink[kInkOfPlane[p]];
            for (uint32_t x = 0; x < shape.width; ++x) {
                const uint8_t want = (plane[x / 4] >> (6 - 2 * (x % 4))) & 3;
                const uint8_t got = ink[static_cast<size_t>(y) * sheet.width + x];
                if (want == got) continue;
                if (differing++ == 0)
                    first = "plane " + std::to_string(p) + " x " + std::to_string(x) + " y " +
                            std::to_string(y) + ": " + std::to_string(got) + " for " +
                            std::to_string(want);
            }
        }
    }
    return differing ? first + " (" + std::to_string(differing) + " pixels differ)" : "";
}

class WineJob : public BoardTest {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("WINEPREFIX"), nullptr) << "run by scripts/test-wine.sh";
        ASSERT_NE(std::getenv("SWATHLINK_WINHOST"), nullptr);
        wineFolder_ = DriveC() + "/Prnlog";
        std::filesystem::remove_all(wineFolder_);
        std::filesystem::create_directories(wineFolder_);
    }
    void TearDown() override {
        ClosePrint();
        wineBoard_.reset();
        BoardTest::TearDown();
    }
    // The status file's address record in Wine's hidden folder.
    void AddressWineHost(const std::string &boardIp) {
        dir_ = wineFolder_;
        WriteAddresses(boardIp);
        dir_.clear();
    }
    HostRun RunHost(const std::vector<std::string> &args, const std::vector<std::string> &env = {}) {
        return WineProcess(Winhost(args), env).Wait();
    }
    // Wine's reg.exe on the prefix's registry.
    HostRun Reg(const std::vector<std::string> &args) {
        std::vector<std::string> command = {"reg"};
        command.insert(command.end(), args.begin(), args.end());
        return WineProcess(command, {}).Wait();
    }
    // The Windows job against a board at wineIp; the board is kept.
    void PrintUnderWine(const std::string &wineIp, const sl_wine::JobShape &job,
                        swathboard::BoardConfig config = {}, bool aliases = false) {
        StartBoardAt(wineIp, config);
        swathboard::SetImageSize(board(), job.width, job.lines, job.xdpi);
        wineBoard_ = std::move(board_);
        AddressWineHost(wineIp);
        std::vector<std::string> args = JobArgs(job);
        if (aliases) args.push_back("--aliases");
        const HostRun run = RunHost(args);
        EXPECT_EQ(run.exitCode, 0) << run.output;
    }
    // The same job through the Linux library against a board at linuxIp.
    void PrintOnLinux(const std::string &linuxIp, const sl_wine::JobShape &shape,
                      swathboard::BoardConfig config = {}) {
        MakeFolder();
        StartBoardAt(linuxIp, config);
        WriteAddresses(linuxIp);
        ASSERT_EQ(InitPrinter(), 1);
        const JobProp job = sl_wine::MakeJobProp(shape);
        ASSERT_EQ(StartPrint(&job), 1);
        std::vector<uint8_t> line;
        for (uint32_t n = 0; n < shape.lines; ++n) {
            sl_wine::MakeLine(shape, n, line);
            ASSERT_EQ(PrintALine(line.data(), static_cast<uint32_t>(line.size())), 1);
        }
        ASSERT_EQ(EndPrint(), 1);
        ASSERT_EQ(ClosePrint(), 1);
    }

    std::string wineFolder_;
    BoardPtr wineBoard_;
};

struct ModeCase {
    const char *what;
    sl_wine::JobShape job;
    bool bidirectional;
    bool aliases;  // WriteRipData, EndRipData, ExitPrinter
    const char *wineIp;
    const char *linuxIp;
};

TEST_F(WineJob, DllPrintsEachModeAsTheLinuxLibraryDoes) {
    const ModeCase cases[] = {
        {"360 x 720, one direction", {360, 720, 720, 4, 900, 1}, false, false, "127.0.0.180", "127.0.0.181"},
        {"360 x 720, both directions, alias entry points", {360, 720, 720, 4, 900, 2}, true, true, "127.0.0.182", "127.0.0.183"},
        {"720 x 720, columns split", {720, 720, 1440, 4, 700, 3}, false, false, "127.0.0.184", "127.0.0.185"},
    };
    for (const ModeCase &c : cases) {
        SCOPED_TRACE(c.what);
        swathboard::BoardConfig config;
        if (c.bidirectional) config.preset.dir_mode = swathboard::kDirModeBidirectional;
        PrintUnderWine(c.wineIp, c.job, config, c.aliases);
        PrintOnLinux(c.linuxIp, c.job, config);
        const Received windows = WhatTheBoardKept(wineBoard_.get());
        const Received linux = WhatTheBoardKept(board());
        EXPECT_GT(windows.swaths.size(), 2u);
        EXPECT_EQ(windows.swathPackets, linux.swathPackets);
        EXPECT_TRUE(windows.swaths == linux.swaths) << "swath data differs";
        EXPECT_GE(swathboard::CountPackets(wineBoard_.get(), NET_CMD_PRINT_END), 1u);
        swathboard::Sheet sheet;
        ASSERT_TRUE(swathboard::PrintedSheet(wineBoard_.get(), &sheet));
        EXPECT_EQ(SheetDifference(sheet, c.job), "");
        EXPECT_EQ(sheet.summary.doubled, 0u);
        EXPECT_EQ(sheet.summary.outside, 0u);
        size_t backward = 0;
        for (const auto &r : OfCode(swathboard::Packets(wineBoard_.get()), NET_CMD_SWATH_CREATE))
            if (Field(r, "direction") != 0) ++backward;
        EXPECT_EQ(backward > 0, c.bidirectional);
        BoardTest::TearDown();
    }
}

// The status file and the folder as the companion sees them after a job
// whose status file was locked (read-only, hidden, system) before it began;
// the trace file holds each line once, as written.
TEST_F(WineJob, JobUnlocksTheStatusFileAndLeavesItIdle) {
    StartBoardAt("127.0.0.186");
    AddressWineHost("127.0.0.186");
    const std::string trace = DriveC() + "/swathlink_trace.txt";
    std::remove(trace.c_str());
    const sl_wine::JobShape job{360, 720, 720, 4, 400, 4};
    std::vector<std::string> args = JobArgs(job);
    args.push_back("--lock-status");
    const HostRun run = RunHost(args, {"SWATHLINK_TRACE=c:\\swathlink_trace.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_GT(swathboard::StoredSwathNumbers(board()).size(), 1u);

    unsigned long locked = 0, folder = 0, status = 0;
    std::istringstream report(run.output.substr(run.output.find("locked-attributes")));
    std::string word;
    report >> word >> locked;
    report.str(run.output.substr(run.output.find("folder-attributes")));
    report >> word >> folder >> word >> status;
    EXPECT_EQ(locked & (kAttrHidden | kAttrReadOnly | kAttrSystem),
              kAttrHidden | kAttrReadOnly | kAttrSystem);
    EXPECT_EQ(folder & (kAttrHidden | kAttrReadOnly | kAttrSystem | kAttrDirectory),
              kAttrHidden | kAttrDirectory);
    EXPECT_EQ(status & (kAttrHidden | kAttrReadOnly | kAttrSystem), 0u) << status;

    dir_ = wineFolder_;
    const PrintCfgRecord rec = ReadStatus();
    dir_.clear();
    EXPECT_EQ(std::memcmp(rec.tag, kIdleTag, sizeof rec.tag), 0);

    const std::string text = ReadText(trace);
    EXPECT_NE(text.find("API_StartPrint"), std::string::npos);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\r\r\n"), std::string::npos);
}

// A second Wine process opens "ShareFile" while the job runs and sees its
// heartbeat move.
TEST_F(WineJob, SecondProcessSeesTheHeartbeat) {
    StartBoardAt("127.0.0.187");
    AddressWineHost("127.0.0.187");
    std::vector<std::string> args = JobArgs({360, 720, 720, 4, 600, 5});
    args.insert(args.end(), {"--hold-ms", "4000"});
    WineProcess job(Winhost(args), {});
    const HostRun watch = RunHost({"--watch-share"});
    EXPECT_EQ(watch.exitCode, 0) << watch.output;
    const HostRun done = job.Wait();
    EXPECT_EQ(done.exitCode, 0) << done.output;
}

// A crash inside the DLL ends the host with the crash code, never with 0.
TEST_F(WineJob, CrashEndsTheHostWithItsOwnCode) {
    StartBoardAt("127.0.0.189");
    AddressWineHost("127.0.0.189");
    std::vector<std::string> args = JobArgs({360, 720, 720, 4, 400, 6});
    args.push_back("--bad-line");
    const HostRun run = RunHost(args);
    EXPECT_EQ(run.exitCode, 70) << run.output;
}

// The PC's only address is another one, on an interface key of its own: the
// key is rewritten to the wanted address, and with no DHCP notification to
// be had (Wine's would end the process) the job goes on and prints.
TEST_F(WineJob, RewritesTheHostAddressWithoutTheNotification) {
    const std::string key =
        "HKLM\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{wine-e2e}";
    ASSERT_EQ(Reg({"add", key, "/v", "IPAddress", "/t", "REG_MULTI_SZ", "/d", "127.0.0.1", "/f"}).exitCode, 0);
    StartBoardAt("127.0.0.192");
    AddressWineHost("127.0.0.192");
    dir_ = wineFolder_;
    PrintCfgRecord rec = ReadStatus();
    rec.PcAddr = 0x7F0000BF;  // 127.0.0.191, held by no interface
    WriteStatus(rec);
    dir_.clear();
    const std::string trace = DriveC() + "/swathlink_rewrite.txt";
    std::remove(trace.c_str());
    const HostRun run = RunHost(JobArgs({360, 720, 720, 4, 400, 7}),
                                {"SWATHLINK_TRACE=c:\\swathlink_rewrite.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_GT(swathboard::StoredSwathNumbers(board()).size(), 1u);

    const HostRun query = Reg({"query", key});
    Reg({"delete", key, "/f"});
    EXPECT_NE(query.output.find("127.0.0.191"), std::string::npos) << query.output;
    EXPECT_NE(query.output.find("255.255.255.0"), std::string::npos) << query.output;
    EXPECT_NE(query.output.find("0x5dc"), std::string::npos) << query.output;
    const std::string text = ReadText(trace);
    EXPECT_NE(text.find("IP reconfig:127.0.0.191"), std::string::npos);
    EXPECT_NE(text.find("address change not announced"), std::string::npos);
}

// A board that stops answering at the job's end: the host's close still
// returns, with the receive thread woken from its wait on the socket.
TEST_F(WineJob, CloseReturnsWhenTheBoardFallsSilent) {
    swathboard::BoardConfig config;
    config.command_faults.push_back({swathboard::CommandFault::kSilence, NET_CMD_PRINT_END, 1, 1});
    StartBoardAt("127.0.0.193", config);
    AddressWineHost("127.0.0.193");
    const auto started = std::chrono::steady_clock::now();
    const HostRun run = RunHost(JobArgs({360, 720, 720, 4, 400, 8}));
    EXPECT_NE(run.exitCode, -1) << "host still running: " << run.output;
    EXPECT_NE(run.exitCode, 70) << run.output;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    EXPECT_GE(swathboard::CountPackets(board(), NET_CMD_PRINT_END), 1u);
}

struct WordingCase {
    std::vector<std::string> env;
    const char *box;
};

// With no board listening the job is refused; the operator's message uses
// the wording of the system's locale.
TEST_F(WineJob, StartUpMessageFollowsTheLocale) {
    const WordingCase cases[] = {
        {{"LANG=zh_CN.UTF-8", "LC_ALL=zh_CN.UTF-8"}, "Error Tip: connect fail !"},
        {{"LANG=en_US.UTF-8", "LC_ALL=en_US.UTF-8"}, "Error Tip: Connect fail !"},
    };
    AddressWineHost("127.0.0.188");
    for (const WordingCase &c : cases) {
        SCOPED_TRACE(c.box);
        const std::string trace = DriveC() + "/swathlink_wording.txt";
        std::remove(trace.c_str());
        std::vector<std::string> env = c.env;
        env.push_back("SWATHLINK_TRACE=c:\\swathlink_wording.txt");
        const HostRun run = RunHost({"--expect-refusal"}, env);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(ReadText(trace).find(c.box), std::string::npos) << ReadText(trace);
    }
}

}  // namespace
}  // namespace sl::test
