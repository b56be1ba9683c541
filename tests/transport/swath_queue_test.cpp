#include <numeric>

#include "transport/command_protocol.h"
#include "transport_fixture.h"

namespace sl::test {
namespace {

using namespace std::chrono_literals;

struct PositionCase {
    uint32_t xdpi;
    uint8_t dir;
    uint32_t start, end, width;
    SwathPlacement want;
};

TEST(SwathPositions, HeadUnitsColumnsAndDataStart) {
    const PositionCase cases[] = {
        // Pstart 100/4 = 25 -> 24; Pend 902/4 = 225 -> 226 -> even 226; (202 + 1) x 4.
        {720, 0, 100, 899, 1000, {24, 226, 812, 96}},
        {360, 0, 16, 400, 2000, {6, 202, 394, 12}},
        // Right to left: the data is mirrored inside the width.
        {360, 1, 16, 400, 2000, {200, 0, 402, 1600}},
        // 225/270: the 540 formula doubled, Pend to 16 units, k applied as x3 / 2.
        {270, 0, 30, 600, 4000, {18, 402, 577, 27}},
        // An end of 408 units is rounded up to 416, not down past the last
        // inked column.
        {270, 0, 30, 610, 4000, {18, 418, 601, 27}},
        {1440, 0, 800, 1600, 4000, {98, 202, 840, 784}},
        // Unlisted resolution: k = 2.
        {1000, 0, 10, 20, 100, {4, 12, 18, 8}},
        // A right edge past the line's end starts the data at column 0.
        {360, 1, 0, 4000, 1000, {2000, 0, 4002, 0}},
    };
    for (const PositionCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.xdpi << " dir " << int(c.dir) << " " << c.start);
        const SwathPlacement got = SwathPositions(c.xdpi, c.dir, c.start, c.end, c.width);
        EXPECT_EQ(got.Pstart, c.want.Pstart);
        EXPECT_EQ(got.Pend, c.want.Pend);
        EXPECT_EQ(got.Columns, c.want.Columns);
        EXPECT_EQ(got.DataStart, c.want.DataStart);
    }
}

using QueueRules = TransportTest;

TEST_F(QueueRules, FullQueueRefusesAndSendableNeedsTwoHandedOut) {
    SwathEntry *a = QueueGetEmpty(link_.get());
    ASSERT_EQ(a, &link_->queue.Slots[0]);
    EXPECT_EQ(link_->queue.Slots[1].State.load(), 5);  // the gap slot is marked reserved
    QueueSetReady(link_.get(), a);
    EXPECT_EQ(link_->queue.Sendable.load(), 0);
    EXPECT_EQ(QueueGetReady(link_.get()), nullptr);

    SwathEntry *b = QueueGetEmpty(link_.get());
    ASSERT_EQ(b, &link_->queue.Slots[1]);
    EXPECT_EQ(QueueHasSpace(link_.get()), 0);
    EXPECT_EQ(QueueGetEmpty(link_.get()), nullptr);
    QueueSetReady(link_.get(), b);
    EXPECT_EQ(link_->queue.Sendable.load(), 1);
    EXPECT_EQ(QueueGetReady(link_.get()), a);
    QueueFree(link_.get(), a);
    EXPECT_EQ(QueueGetReady(link_.get()), b);

    // QHead 1, QTail 0 after wrapping is full as well.
    link_->queue.QHead = 1;
    link_->queue.QTail = 0;
    EXPECT_EQ(QueueHasSpace(link_.get()), 0);
    EXPECT_EQ(QueueGetEmpty(link_.get()), nullptr);
}

class Assembly : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        src_.resize(4200 * kSliceBytes);
        std::iota(src_.begin(), src_.end(), uint8_t{0});
    }
    Status Add(uint8_t dir, uint32_t start, uint32_t end, uint32_t step) {
        return AddSwath(link_.get(), src_.data(), dir, start, end, 4000, step, 2);
    }
    std::vector<uint8_t> src_;
};

TEST_F(Assembly, SwathsArePublishedOneLateWithTheirSuccessorsStart) {
    QueueConsumer board(link_.get());
    ASSERT_TRUE(Add(0, 16, 400, 300).ok());
    ASSERT_TRUE(Add(0, 32, 800, 300).ok());
    ASSERT_TRUE(Add(0, 48, 1200, 0).ok());
    FlushLastSwath(link_.get());
    WaitAllSwathFinish(link_.get());
    board.Stop();

    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 3u);
    const uint32_t starts[] = {6, 14, 22};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sent[i].Pstart, starts[i]);
        EXPECT_EQ(sent[i].Len % 320, 0u);
        EXPECT_GE(sent[i].Len, (sent[i].Pend - sent[i].Pstart + 1) * 2 * kSliceBytes);
        EXPECT_EQ(sent[i].NextStart, i + 1 < 3 ? starts[i + 1] : 0u);
        // The data starts at column Pstart x k of the swath buffer.
        const size_t from = size_t{starts[i]} * 2 * kSliceBytes;
        EXPECT_EQ(sent[i].head, std::vector<uint8_t>(src_.begin() + from, src_.begin() + from + 16));
    }
    EXPECT_EQ(sent[0].Step, 300);
    EXPECT_EQ(sent[0].FeedUnits, 180u * 2880 / 720);
    EXPECT_EQ(sent[2].FeedUnits, 0);  // no feed, no feed units
    EXPECT_EQ(AssemblySwathCount(link_.get()), 3u);
}

TEST_F(Assembly, LoneSwathIsSentByTheFinalWait) {
    QueueConsumer board(link_.get());
    ASSERT_TRUE(Add(0, 16, 400, 300).ok());
    FlushLastSwath(link_.get());
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(board.Sent().empty());  // one slot handed out: not yet sendable
    WaitAllSwathFinish(link_.get());
    board.Stop();
    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].NextStart, 0u);
}

TEST_F(Assembly, LastInkedSwathFollowedOnlyByBlanksIsSent) {
    QueueConsumer board(link_.get());
    ASSERT_TRUE(Add(0, 16, 400, 300).ok());
    ASSERT_TRUE(Add(0, 0, 0, 300).ok());
    ASSERT_TRUE(Add(0, 0, 0, 300).ok());
    FlushLastSwath(link_.get());
    WaitAllSwathFinish(link_.get());
    board.Stop();
    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].NextStart, sent[0].Pend);  // published unchanged by the blank
}

struct BlankRunCase {
    std::vector<uint32_t> blankSteps;
    std::vector<uint16_t> feeds;
};

TEST_F(Assembly, BlankRunsBecomeFeedOnlySwathsBeforeTheNextInkedSwath) {
    const BlankRunCase cases[] = {
        {{100, 100, 50}, {250}},
        {{70000}, {32767, 32767, 4466}},
    };
    for (const BlankRunCase &c : cases) {
        SCOPED_TRACE(c.blankSteps.size());
        NewLink();
        QueueConsumer board(link_.get());
        ASSERT_TRUE(Add(0, 16, 400, 10).ok());
        for (uint32_t step : c.blankSteps) ASSERT_TRUE(Add(0, 0, 0, step).ok());
        ASSERT_TRUE(Add(1, 16, 400, 20).ok());
        FlushLastSwath(link_.get());
        WaitAllSwathFinish(link_.get());
        board.Stop();

        const auto sent = board.Sent();
        ASSERT_EQ(sent.size(), c.feeds.size() + 2);
        EXPECT_EQ(sent.front().Step, 10);
        for (size_t i = 0; i < c.feeds.size(); ++i) {
            const SentSwath &f = sent[1 + i];
            EXPECT_EQ(f.Len, 0u);
            EXPECT_EQ(f.Step, c.feeds[i]);
            EXPECT_EQ(f.FeedUnits, 0);
            EXPECT_EQ(f.Pstart + f.Pend + f.NextStart + f.Mode + f.Direction, 0u);
        }
        EXPECT_EQ(sent.back().Step, 20);
        EXPECT_EQ(sent.back().Direction, 1);
        EXPECT_EQ(AssemblyBlankFeed(link_.get()), 0u);
    }
}

TEST_F(Assembly, BidirectionalModeSetsFiringModeAndNextStart) {
    job_.board.Dir = 11;
    job_.pass.passmode = 1;
    QueueConsumer board(link_.get());
    ASSERT_TRUE(Add(0, 16, 400, 1).ok());   // Pstart 6, Pend 202
    ASSERT_TRUE(Add(1, 16, 300, 1).ok());   // Pstart 150 + 1 -> 150, below the previous Pend
    ASSERT_TRUE(Add(0, 800, 900, 1).ok());  // Pstart 399 -> 398
    FlushLastSwath(link_.get());
    WaitAllSwathFinish(link_.get());
    board.Stop();
    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].Mode, 1);
    EXPECT_EQ(sent[1].Mode, 2);
    EXPECT_EQ(sent[2].Mode, 1);
    EXPECT_EQ(sent[0].NextStart, 202u);          // dir 1 follows: the larger of 150 and 202
    EXPECT_EQ(sent[1].NextStart, sent[1].Pend);  // dir 0 follows: the smaller of 398 and Pend
}

TEST_F(Assembly, AbortEndsTheWaitForAFullQueue) {
    ASSERT_TRUE(Add(0, 16, 400, 1).ok());
    ASSERT_TRUE(Add(0, 16, 400, 1).ok());
    std::thread abort([this] {
        std::this_thread::sleep_for(30ms);
        requests_.abort = 1;
    });
    EXPECT_EQ(Add(0, 16, 400, 1).code, StatusCode::Aborted);
    abort.join();
    EXPECT_EQ(link_->ErrorCode.load(), 1u);
}

TEST_F(Assembly, EndOfLinkEndsTheWaitWithoutError) {
    ASSERT_TRUE(Add(0, 16, 400, 1).ok());
    ASSERT_TRUE(Add(0, 16, 400, 1).ok());
    link_->PrintEndFlag = true;
    EXPECT_EQ(Add(0, 16, 400, 1).code, StatusCode::Failed);
    EXPECT_EQ(link_->ErrorCode.load(), 0u);
    WaitAllSwathFinish(link_.get());  // returns at once
}

}  // namespace
}  // namespace sl::test
