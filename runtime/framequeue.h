#pragma once

#include "runtime/droppedframes.h"
#include "runtime/handedframe.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace Vantrel {

// Hands decoded frames from the worker to the runner's thread: that thread is woken once for as many
// frames as pile up before it gets to them, instead of once per signal. Bounded: when it is full, the
// worker waits while the runner's thread takes frames, so a runtime faster than that thread is held to
// its pace; a runner's thread that has taken nothing for StallMs costs frames, never memory.
//
// A wake-up that finds a flood (FloodFrames or more taken in it) makes the next one wait for FloodWakeAt
// frames: a runtime that hands frames over back to back then costs a wake-up per many frames rather
// than one per the few that come while the taker sleeps. The taker comes back for fewer on its own, by
// a timer, and anyone about to post an event wakes it for them first.
//
// Events that other code posts to the runner's thread from the worker (log records, errors) keep their
// place among the frames: whoever posts one seals the queue first, so frames pushed before it are
// taken by an earlier wake-up and frames pushed after it by a later one.
class FrameQueue
{
public:
    static constexpr size_t Capacity = 256;
    static constexpr int StallMs = 250;
    static constexpr size_t FloodFrames = 16;
    static constexpr size_t FloodWakeAt = Capacity / 2;

    struct Entry
    {
        uint64_t epoch;
        HandedFrame frame;
    };
    using Batch = std::vector<Entry>;

    FrameQueue();

    // Worker side: whether the next frame will be taken, once there is room for it. Only the worker
    // pushes, so the room it saw stays until its push.
    bool admit();
    // Worker side. Answers a mark when the runner's thread has to be woken to call take(mark).
    std::optional<uint64_t> push(HandedFrame frame);
    // Worker side, when a run ends: frames dropped up to its end are reported too.
    void runEnded() { m_dropped.ended(); }

    // Any thread, right before it posts an event to the runner's thread. Answers a mark when the runner's
    // thread has to be woken, before that event, to call take(mark) for frames waiting out a flood; then
    // the next frame wakes the taker again.
    std::optional<uint64_t> seal();
    // Any thread: frames waiting out a flood are due now. Answers a mark as seal() does; from here on the
    // next frame wakes the taker again.
    std::optional<uint64_t> wakeWaiting();
    // A stop was asked: frames handed over from now on are not published. reopen() starts a run afresh.
    void cut();
    void reopen();

    // Runner's thread: the frames pushed up to the seal that follows the wake-up with `mark`, oldest first.
    // Frames pushed while the taker handles them wake nobody: it asks for them with more().
    Batch take(uint64_t mark);
    // Runner's thread: a batch handled, whose room the next take() uses again.
    void recycle(Batch batch);
    enum class Next {
        Take, // frames of the same wake-up have come meanwhile: take them
        Done, // the wake-up is over: the next frame pushed wakes the taker again
        DoneInFlood, // over, and the next wake-up waits for FloodWakeAt frames: call wakeWaiting() soon
    };
    // Runner's thread, once it has handled what it took.
    Next more(uint64_t mark);

private:
    // With m_mutex held.
    std::optional<uint64_t> wakeForWaiting();

    std::mutex m_mutex;
    std::condition_variable m_room;
    // Two buffers of Capacity, swapped between the worker and the taker: the queue itself allocates
    // nothing in a steady stream, and frees nothing on one thread that the other allocated (each such free
    // waits for the allocator's lock while the worker allocates).
    Batch m_entries;
    Batch m_spare; // the taker's alone
    uint64_t m_epoch = 0; // of the frames pushed now; a seal starts the next one
    bool m_wakePosted = false; // a wake-up for m_epoch is on its way
    size_t m_wakeAt = 1; // frames waiting that make push() wake the taker
    size_t m_takenInWakeUp = 0;
    bool m_cut = false;
    bool m_workerWaiting = false; // for room: the next take has to wake it
    bool m_takerStalled = false; // took nothing while the worker waited; cleared by the next take
    DroppedFrames m_dropped; // the worker's alone
};

} // namespace Vantrel
