// The swathboard program's options, and one run of the real program.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "cli_args.h"
#include "raw_client.h"

namespace {

using namespace std::chrono_literals;

bool Parse(std::vector<const char *> args, swathboard::CliOptions *o, std::string *error) {
    args.insert(args.begin(), "swathboard");
    return swathboard::ParseCli(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(Cli, ParsesPresetAndFaults) {
    swathboard::CliOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--ip",
                       "127.0.0.9",
                       "--bidir",
                       "--fw",
                       "420",
                       "--preset",
                       "new-align",
                       "--log",
                       "/tmp/x.jsonl",
                       "--refuse",
                       "2:3:8",
                       "--delay",
                       "9:2:500",
                       "--silence",
                       "18:1",
                       "--close-after-swaths",
                       "4:100",
                       "--close-refuse-ms",
                       "300",
                       "--too-wide-on-swath",
                       "5",
                       "--refuse-connections",
                       "250"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.config.ip, "127.0.0.9");
    EXPECT_EQ(o.config.preset.rev[2], 0xA0);  // preset applied before --fw and --bidir
    EXPECT_EQ(o.config.preset.fw_version, 420);
    EXPECT_EQ(o.config.preset.dir_mode, 11);
    EXPECT_EQ(o.config.log_path, "/tmp/x.jsonl");
    EXPECT_EQ(o.config.refuse_connections_ms_at_start, 250u);
    const swathboard::BoardConfig &c = o.config;
    ASSERT_EQ(c.command_faults.size(), 3u);
    EXPECT_EQ(c.command_faults[0].kind, swathboard::CommandFault::kRefuse);
    EXPECT_EQ(c.command_faults[0].code, 2);
    EXPECT_EQ(c.command_faults[0].count, 3u);
    EXPECT_EQ(c.command_faults[0].value, 8u);
    EXPECT_EQ(c.command_faults[1].kind, swathboard::CommandFault::kDelay);
    EXPECT_EQ(c.command_faults[1].value, 500u);
    EXPECT_EQ(c.command_faults[2].kind, swathboard::CommandFault::kSilence);
    ASSERT_TRUE(c.close.has_value());
    EXPECT_EQ(c.close->nth_swath, 4u);
    EXPECT_EQ(c.close->after_data_bytes, 100);
    EXPECT_EQ(c.close->refuse_ms, 300u);
    ASSERT_TRUE(c.swath_fault.has_value());
    EXPECT_EQ(c.swath_fault->fault, swathboard::SwathFault::kTooWide);
    EXPECT_EQ(c.swath_fault->nth_swath, 5u);
}

// The link benchmark's board: a slow board on a private network's address.
TEST(Cli, AnswerLatencyAndAnyAddress) {
    swathboard::CliOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--ip", "192.0.2.2", "--any-address", "--answer-latency", "5"}, &o, &error)) << error;
    EXPECT_EQ(o.config.ip, "192.0.2.2");
    EXPECT_TRUE(o.config.any_address);
    EXPECT_EQ(o.config.answer_latency_ms, 5u);
    EXPECT_FALSE(Parse({"--ip", "127.0.0.9", "--answer-latency", "soon"}, &o, &error));
}

TEST(Cli, ExtraAndUnsolicitedAnswers) {
    swathboard::CliOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--ip", "127.0.0.9", "--extra-answer", "9:3", "--unsolicited", "1:250:2"}, &o, &error))
        << error;
    ASSERT_EQ(o.config.command_faults.size(), 1u);
    EXPECT_EQ(o.config.command_faults[0].kind, swathboard::CommandFault::kAnswerTwice);
    EXPECT_EQ(o.config.command_faults[0].code, 9);
    EXPECT_EQ(o.config.command_faults[0].count, 3u);
    ASSERT_TRUE(o.config.unsolicited.has_value());
    EXPECT_EQ(o.config.unsolicited->code, 1);
    EXPECT_EQ(o.config.unsolicited->after_ms, 250u);
    EXPECT_EQ(o.config.unsolicited->status, 2);
    for (const char *bad : {"9", "9:0", "300:1", "9:1:1"}) {
        swathboard::CliOptions p;
        EXPECT_FALSE(Parse({"--ip", "127.0.0.9", "--extra-answer", bad}, &p, &error)) << bad;
    }
    EXPECT_FALSE(Parse({"--ip", "127.0.0.9", "--unsolicited", "9"}, &o, &error));
}

TEST(Cli, RejectsBadInput) {
    const std::vector<std::vector<const char *>> bad = {
        {},
        {"--ip", "192.168.1.5"},
        {"--ip", "0.0.0.0"},
        {"--ip", "127.0.0.9", "--preset", "newest"},
        {"--ip", "127.0.0.9", "--preset"},
        {"--ip", "127.0.0.9", "--refuse", "2"},
        {"--ip", "127.0.0.9", "--refuse", "300:1"},
        {"--ip", "127.0.0.9", "--delay", "9:1"},
        {"--ip", "127.0.0.9", "--cancel-on-swath", "0"},
        {"--ip", "127.0.0.9", "--markers", "odd"},
        {"--ip", "127.0.0.9", "--frobnicate"},
    };
    for (const auto &args : bad) {
        swathboard::CliOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, &o, &error)) << (args.empty() ? "(none)" : args.back());
    }
}

// The forms a getopt_long program takes: "--opt=value", "-h", and "--"
// ending the options; the preset still applies before what adjusts it.
TEST(Cli, JoinedValuesHelpAndEndOfOptions) {
    swathboard::CliOptions o;
    std::string error;
    ASSERT_TRUE(Parse(
        {
            "--fw=420",
            "--ip=127.0.0.9",
            "--preset=new-align",
            "--",
        },
        &o, &error))
        << error;
    EXPECT_EQ(o.config.ip, "127.0.0.9");
    EXPECT_EQ(o.config.preset.rev[2], 0xA0);
    EXPECT_EQ(o.config.preset.fw_version, 420);

    swathboard::CliOptions help;
    ASSERT_TRUE(Parse({"-h"}, &help, &error)) << error;
    EXPECT_TRUE(help.help);
    swathboard::CliOptions version;
    ASSERT_TRUE(Parse({"--version"}, &version, &error)) << error;
    EXPECT_TRUE(version.version);

    const std::vector<std::vector<const char *>> bad = {
        {"--ip=127.0.0.9", "stray"},          // the board takes no operands
        {"--ip=127.0.0.9", "--", "--bidir"},  // after "--" nothing is an option
        {"--ip=127.0.0.9", "--bidir=1"},      // a switch takes no value
        {"--ip=127.0.0.9", "--fw="},          // an empty value is no number
        {"--ip=127.0.0.9", "-x"},
    };
    for (const auto &args : bad) {
        swathboard::CliOptions p;
        EXPECT_FALSE(Parse(args, &p, &error)) << args.back();
        EXPECT_FALSE(error.empty());
    }
}

#ifdef SWATHBOARD_PROGRAM
TEST(Cli, ProgramServesUntilTerminated) {
    const std::string ip = sbtest::TestIp(sbtest::kAddrCliProgram);
    const std::string log = ::testing::TempDir() + "swathboard_cli_test.jsonl";
    const pid_t pid = sbtest::SpawnProgram(
        SWATHBOARD_PROGRAM, {"swathboard", "--ip", ip, "--preset", "old", "--log", log, "--refuse", "8:1"});
    ASSERT_GE(pid, 0);
    sbtest::RawClient client;
    ASSERT_TRUE(sbtest::ConnectWhenListening(&client, ip));
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(sbtest::Exchange(&client, sbtest::CommandPacket(2), 432, &reply));
    EXPECT_EQ(reply[1] | reply[3], 0);  // older layout
    ASSERT_TRUE(sbtest::Exchange(&client, sbtest::CommandPacket(8), 14, &reply));
    EXPECT_EQ(reply[2], 1);  // refused once, from the command line
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(log);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) ++lines;
    EXPECT_EQ(lines, 2);
    std::remove(log.c_str());
}
#endif

}  // namespace
