// The hand-over of frames from the worker: one wake-up per batch, batches kept apart by seals, and after a
// flood one wake-up per many frames.
#include "runtime/framequeue.h"
#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

namespace Vantrel {
namespace {

std::optional<uint64_t> push(FrameQueue &queue, uint32_t id)
{
    HandedFrame frame;
    frame.outputId = id;
    return queue.push(std::move(frame));
}

std::vector<uint32_t> take(FrameQueue &queue, std::optional<uint64_t> mark)
{
    std::vector<uint32_t> ids;
    FrameQueue::Batch batch = queue.take(mark.value_or(~0ull));
    for (const FrameQueue::Entry &entry : batch)
        ids.push_back(entry.frame.outputId);
    queue.recycle(std::move(batch));
    return ids;
}

TEST(FrameQueue, OnlyTheFirstFrameOfABatchWakesTheTaker)
{
    FrameQueue queue;
    const std::optional<uint64_t> mark = push(queue, 1);
    EXPECT_TRUE(mark);
    EXPECT_FALSE(push(queue, 2));
    EXPECT_EQ(take(queue, mark), (std::vector<uint32_t>{1, 2}));
    EXPECT_FALSE(push(queue, 3)) << "the taker at work asks for it";
    EXPECT_EQ(queue.more(*mark), FrameQueue::Next::Take);
    EXPECT_EQ(take(queue, mark), (std::vector<uint32_t>{3}));
    EXPECT_EQ(queue.more(*mark), FrameQueue::Next::Done);
    EXPECT_TRUE(push(queue, 4)) << "the wake-up over: the next frame wakes the taker again";
}

// An event posted right after a seal is handled between the two wake-ups.
TEST(FrameQueue, ASealLeavesLaterFramesToTheNextWakeUp)
{
    FrameQueue queue;
    const std::optional<uint64_t> first = push(queue, 1);
    push(queue, 2);
    EXPECT_FALSE(queue.seal()) << "a wake-up is on its way already";
    const std::optional<uint64_t> second = push(queue, 3);
    push(queue, 4);
    EXPECT_EQ(take(queue, first), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(queue.more(*first), FrameQueue::Next::Done) << "later frames wait for their own wake-up";
    EXPECT_EQ(take(queue, second), (std::vector<uint32_t>{3, 4}));
}

// A wake-up that took FloodFrames leaves the next to a batch of FloodWakeAt frames.
void floodedWakeUp(FrameQueue &queue)
{
    const std::optional<uint64_t> mark = push(queue, 0);
    for (uint32_t id = 1; id < FrameQueue::FloodFrames; ++id)
        push(queue, id);
    take(queue, mark);
    EXPECT_EQ(queue.more(*mark), FrameQueue::Next::DoneInFlood);
}

TEST(FrameQueue, AfterAFloodOnlyAFullBatchWakesTheTaker)
{
    FrameQueue queue;
    floodedWakeUp(queue);
    for (uint32_t id = 1; id < FrameQueue::FloodWakeAt; ++id)
        ASSERT_FALSE(push(queue, id)) << "frame " << id;
    const std::optional<uint64_t> mark = push(queue, 0);
    ASSERT_TRUE(mark);
    EXPECT_EQ(take(queue, mark).size(), FrameQueue::FloodWakeAt);
    EXPECT_EQ(queue.more(*mark), FrameQueue::Next::DoneInFlood) << "still a flood";
}

// Frames waiting out a flood are woken for by whoever needs them now: the timer of the runner's thread,
// the end of a run, an event posted after them. Each answers the mark to take them with; then the next
// frame wakes the taker at once, the flood over.
struct WaitingCase
{
    const char *name;
    std::optional<uint64_t> (*wake)(FrameQueue &queue);
};

class FramesWaitingOutAFlood : public ::testing::TestWithParam<WaitingCase>
{};

TEST_P(FramesWaitingOutAFlood, AreWokenForAtOnce)
{
    FrameQueue queue;
    floodedWakeUp(queue);
    push(queue, 1);
    push(queue, 2);
    const std::optional<uint64_t> mark = GetParam().wake(queue);
    ASSERT_TRUE(mark);
    EXPECT_FALSE(GetParam().wake(queue)) << "woken for once";
    EXPECT_EQ(take(queue, mark), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(queue.more(*mark), FrameQueue::Next::Done);
    EXPECT_TRUE(push(queue, 3));
}

using Test::operator<<;

INSTANTIATE_TEST_SUITE_P(Wakers, FramesWaitingOutAFlood,
                         ::testing::Values(WaitingCase{"Seal", [](FrameQueue &q) { return q.seal(); }},
                                           WaitingCase{"WakeWaiting", [](FrameQueue &q) { return q.wakeWaiting(); }}),
                         Test::RowName());

} // namespace
} // namespace Vantrel
