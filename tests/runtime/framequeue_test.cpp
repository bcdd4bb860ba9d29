// The hand-over of frames from the worker: one wake-up per batch, and batches kept apart by seals.
#include "runtime/framequeue.h"

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
    EXPECT_TRUE(queue.more(*mark));
    EXPECT_EQ(take(queue, mark), (std::vector<uint32_t>{3}));
    EXPECT_FALSE(queue.more(*mark));
    EXPECT_TRUE(push(queue, 4)) << "the wake-up over: the next frame wakes the taker again";
}

// An event posted right after a seal is handled between the two wake-ups.
TEST(FrameQueue, ASealLeavesLaterFramesToTheNextWakeUp)
{
    FrameQueue queue;
    const std::optional<uint64_t> first = push(queue, 1);
    push(queue, 2);
    queue.seal();
    const std::optional<uint64_t> second = push(queue, 3);
    push(queue, 4);
    EXPECT_EQ(take(queue, first), (std::vector<uint32_t>{1, 2}));
    EXPECT_FALSE(queue.more(*first)) << "later frames wait for their own wake-up";
    EXPECT_EQ(take(queue, second), (std::vector<uint32_t>{3, 4}));
}

} // namespace
} // namespace Vantrel
