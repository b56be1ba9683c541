#include "transport/command_protocol.h"
#include "transport/net_codes.h"
#include "transport/transmit_thread.h"
#include "transport_fixture.h"

namespace sl::test {
namespace {

class PrintState : public TransportTest {
protected:
    // One cycle: a step, then the transmit thread's part: the built
    // command counts as sent and answered.
    uint8_t Step(uint8_t state, uint16_t *built) {
        link_->command.CmdStatus = kCmdAnswered;
        link_->command.packet[4] = 0;
        const uint8_t next = PrintStateStep(link_.get(), state);
        *built = link_->command.CmdStatus.load() == kCmdPending ? U16(link_->command.packet, 4) : 0;
        return next;
    }
};

TEST_F(PrintState, PauseSyncsAndResendsThePauseEveryTwelfthCycle) {
    uint16_t built = 0;
    requests_.pause = 1;
    ASSERT_EQ(Step(TX_RUNNING, &built), TX_SEND_PAUSE);
    EXPECT_EQ(built, 0);
    ASSERT_EQ(Step(TX_SEND_PAUSE, &built), TX_ALL_PAUSE);
    EXPECT_EQ(built, NET_DEBUG_PAUSE);
    for (int i = 0; i < 11; ++i) {
        ASSERT_EQ(Step(TX_ALL_PAUSE, &built), TX_ALL_PAUSE) << i;
        EXPECT_EQ(built, NET_DEBUG_SYNCY);
    }
    EXPECT_EQ(Step(TX_ALL_PAUSE, &built), TX_SEND_PAUSE);
    EXPECT_EQ(built, 0);

    requests_.pause = 0;
    ASSERT_EQ(Step(TX_ALL_PAUSE, &built), TX_SEND_CONTINUE);
    ASSERT_EQ(Step(TX_SEND_CONTINUE, &built), TX_ALL_RESUME);
    EXPECT_EQ(built, NET_DEBUG_CONTINUE);
    ASSERT_EQ(Step(TX_ALL_RESUME, &built), TX_RUNNING);
    EXPECT_EQ(built, NET_DEBUG_SYNCY);  // a sync also on the way back
    EXPECT_EQ(Step(TX_RUNNING, &built), TX_RUNNING);
    EXPECT_EQ(built, 0);
}

TEST_F(PrintState, AbortDuringPauseCancelsUntilThePrinterConfirms) {
    uint16_t built = 0;
    requests_.pause = 1;
    requests_.abort = 1;
    // Abort overrides pause.
    ASSERT_EQ(Step(TX_RUNNING, &built), TX_SEND_CANCEL);
    ASSERT_EQ(Step(TX_ALL_PAUSE, &built), TX_SEND_CANCEL);
    ASSERT_EQ(Step(TX_SEND_CANCEL, &built), TX_ALL_CANCEL);
    EXPECT_EQ(built, NET_DEBUG_STOP);
    for (int i = 0; i < 11; ++i) ASSERT_EQ(Step(TX_ALL_CANCEL, &built), TX_ALL_CANCEL);
    EXPECT_EQ(Step(TX_ALL_CANCEL, &built), TX_SEND_CANCEL);

    link_->PrintStopFlag = true;
    ASSERT_EQ(Step(TX_ALL_CANCEL, &built), TX_QUIT_STATUS);
    EXPECT_EQ(link_->PrintEndFlag.load(), 0u);
    ASSERT_EQ(Step(TX_QUIT_STATUS, &built), TX_QUIT_STATUS);
    EXPECT_EQ(link_->PrintEndFlag.load(), 1u);
}

TEST_F(PrintState, PrinterStopQuitsAndUnknownStatesRun) {
    uint16_t built = 0;
    link_->PrintStopFlag = true;
    EXPECT_EQ(Step(TX_RUNNING, &built), TX_QUIT_STATUS);
    EXPECT_EQ(Step(7, &built), TX_RUNNING);
}

TEST_F(PrintState, AStateCommandWaitsForAPendingHostCommand) {
    requests_.pause = 1;
    ASSERT_TRUE(BuildNetCommand(link_.get(), NET_CMD_PRINT_END));
    EXPECT_EQ(PrintStateStep(link_.get(), TX_SEND_PAUSE), TX_SEND_PAUSE);
    EXPECT_EQ(U16(link_->command.packet, 0), NET_CMD_PRINT_END);
}

}  // namespace
}  // namespace sl::test
