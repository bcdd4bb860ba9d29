#include "runtime/framequeue.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

namespace Vantrel {

FrameQueue::FrameQueue()
{
    m_entries.reserve(Capacity);
    m_spare.reserve(Capacity);
}

bool FrameQueue::admit()
{
    bool full = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto roomOrCut = [this] { return m_cut || m_entries.size() < Capacity; };
        if (!roomOrCut() && !m_takerStalled) {
            m_workerWaiting = true;
            m_takerStalled = !m_room.wait_for(lock, std::chrono::milliseconds(StallMs), roomOrCut);
            m_workerWaiting = false;
        }
        if (m_cut)
            return false;
        full = m_entries.size() >= Capacity;
    }
    // Outside the lock: the warnings are posted, which seals the queue.
    if (full)
        m_dropped.drop();
    else
        m_dropped.passed();
    return !full;
}

std::optional<uint64_t> FrameQueue::push(HandedFrame frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cut)
        return std::nullopt;
    m_entries.push_back({m_epoch, std::move(frame)});
    if (m_wakePosted || m_entries.size() < m_wakeAt)
        return std::nullopt;
    m_wakePosted = true;
    return m_epoch;
}

std::optional<uint64_t> FrameQueue::seal()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Without a wake-up on its way, the next frame posts its own after the caller's event anyway; frames
    // waiting out a flood are woken for first.
    const std::optional<uint64_t> wake = wakeForWaiting();
    if (!m_wakePosted)
        return std::nullopt;
    ++m_epoch;
    m_wakePosted = false;
    return wake;
}

std::optional<uint64_t> FrameQueue::wakeWaiting()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return wakeForWaiting();
}

std::optional<uint64_t> FrameQueue::wakeForWaiting()
{
    m_wakeAt = 1;
    // Frames of earlier epochs have their wake-ups on the way.
    if (m_wakePosted || m_entries.empty() || m_entries.back().epoch != m_epoch)
        return std::nullopt;
    m_wakePosted = true;
    return m_epoch;
}

void FrameQueue::cut()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cut = true;
    }
    m_room.notify_one();
}

void FrameQueue::reopen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cut = false;
}

FrameQueue::Batch FrameQueue::take(uint64_t mark)
{
    // Moved out under the lock in one piece when it can be, so that the worker pushing the next frames
    // does not wait for the lock meanwhile.
    Batch taken;
    taken.swap(m_spare);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_entries.empty() && m_entries.back().epoch <= mark) {
        taken.swap(m_entries);
    } else {
        const auto later =
            std::find_if(m_entries.begin(), m_entries.end(), [mark](const Entry &entry) { return entry.epoch > mark; });
        std::move(m_entries.begin(), later, std::back_inserter(taken));
        m_entries.erase(m_entries.begin(), later);
    }
    m_takerStalled = false;
    m_takenInWakeUp += taken.size();
    const bool wake = m_workerWaiting && !taken.empty();
    lock.unlock();
    // After unlocking, so that the worker does not wake only to wait for the lock.
    if (wake)
        m_room.notify_one();
    return taken;
}

void FrameQueue::recycle(Batch batch)
{
    batch.clear();
    m_spare = std::move(batch);
}

FrameQueue::Next FrameQueue::more(uint64_t mark)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_entries.empty() && m_entries.front().epoch <= mark)
        return Next::Take;
    const bool flooded = std::exchange(m_takenInWakeUp, 0) >= FloodFrames;
    // Everything of the current epoch is taken: the next frame has to wake the runner's thread again.
    if (mark == m_epoch) {
        m_wakePosted = false;
        m_wakeAt = flooded ? FloodWakeAt : 1;
    }
    // While frames may wait without a wake-up, the taker has to come back for them by itself.
    return m_wakeAt > 1 ? Next::DoneInFlood : Next::Done;
}

} // namespace Vantrel
