// An answer acknowledges only the copy it answers: late answers to resent
// copies never release a swath the board has not received, and a late
// second answer to the job's creation never rewrites the job's settings.
#include "job_fixture.h"
#include "support/default_printer.h"
#include "support/test_addresses.h"
#include "transport/net_codes.h"
#include "transport/parameter_block.h"

namespace sl::test {
namespace {

// Answers that come after the packet was sent again (a swath after 2 s, a
// command after 5 s, scaled), but before seven copies have gone unanswered
// and the link is reconnected: the late answers arrive on the same
// connection.
constexpr uint32_t kLateSwathMs = 80;
constexpr uint32_t kLateCommandMs = 250;

using LateAnswers = Job;

// The job's first swath is answered late, after it was sent again; the
// answers to its copies then arrive while the second swath is on its way.
TEST_F(LateAnswers, EverySwathIsPrintedOnceInOrder) {
    using swathboard::CommandFault;
    const CommandFault late{CommandFault::kDelay, NET_CMD_SWATH_CREATE, 1, kLateSwathMs};
    const CommandFault refused{CommandFault::kRefuse, NET_CMD_SWATH_CREATE, 1, 1};
    // The link is cut under the second swath, before the board has all of it.
    const swathboard::CloseFault cutUnderSecond{1, 1000, 0, 2};
    const struct {
        const char *name;
        std::vector<CommandFault> faults;
        bool cut;
    } cases[] = {
        {"answered late", {late}, false},
        {"answered late, then the link drops", {late}, true},
        {"a refusal answered late", {late, refused}, false},
        {"a refusal answered late, then the link drops", {late, refused}, true},
    };
    uint32_t address = kAddrLateAnswersFirst;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        swathboard::BoardConfig config;
        config.command_faults = c.faults;
        if (c.cut) config.close = cutUnderSecond;
        Begin(TestIp(address++), config);
        ASSERT_EQ(Lines(1500, true), 1);
        ASSERT_EQ(EndPrint(), 1);
        ASSERT_EQ(ClosePrint(), 1);
        const uint32_t sent = SwathSerial() - 1;
        EXPECT_EQ(StoppedByBoard(), 0u);
        EXPECT_EQ(swathboard::StoredSwathNumbers(board()), OneTo(sent));
        EXPECT_EQ(StoredInArrivalOrder(board()), OneTo(sent));
        EXPECT_EQ(swathboard::CountPackets(board(), NET_CMD_PRINT_END), 1u);
        board_.reset();
    }
}

// The job's creation answered late, and its resent copy answered too, with
// other settings: the job runs with those of the first answer.
TEST_F(LateAnswers, SecondAnswerToTheJobsCreationIsIgnored) {
    swathboard::BoardConfig config;
    swathboard::ParamPreset other = config.preset;
    other.fw_version = 200;  // would send 4 in NET_CMD_PRINT_START byte 32
    other.vert.fill(1234);
    other.base_step = 1234;
    config.later_job_create_presets = {other};
    config.command_faults = {{swathboard::CommandFault::kDelay, NET_CMD_JOB_CREATE, 1, kLateCommandMs}};
    Begin(TestIp(kAddrLateJobCreateAnswer), config);
    ASSERT_EQ(Lines(300, true), 1);
    ASSERT_EQ(EndPrint(), 1);
    ASSERT_EQ(ClosePrint(), 1);

    ASSERT_GE(swathboard::CountPackets(board(), NET_CMD_JOB_CREATE), 2u);  // it was resent
    EXPECT_EQ(BoardSettings().CurFWVersion, config.preset.fw_version);
    const auto start = OfCode(swathboard::Packets(board()), NET_CMD_PRINT_START).at(0);
    EXPECT_EQ(Field(start, "b32"), 6u);
    EXPECT_NE(Field(start, "step_cal"), 1234u);
    EXPECT_EQ(StoredInArrivalOrder(board()), OneTo(SwathSerial() - 1));
}

}  // namespace
}  // namespace sl::test
