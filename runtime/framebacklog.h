#pragma once

#include "runtime/droppedframes.h"

#include <atomic>

class QObject;

namespace Vantrel {

// Bounds the frames that the worker has queued to the main thread and that the main thread has not
// handled yet. Beyond the bound the worker drops frames before queueing them, so a main thread that
// falls behind costs frames, never memory.
class FrameBacklog
{
public:
    // Two seconds of frames at the runtime's highest usual rates, and far more at 20 Hz.
    static constexpr int Capacity = 256;

    // Worker side, before a frame's signals are emitted: false when the frame is to be dropped.
    bool admit();
    // Worker side, after a frame's signals were emitted: the frame leaves the backlog once the thread
    // of `receiver` has handled everything queued to it before this call.
    void queued(QObject *receiver);
    // Worker side, when a run ends: frames dropped up to its end are reported too.
    void runEnded() { m_dropped.ended(); }

private:
    std::atomic<int> m_inFlight{0};
    DroppedFrames m_dropped;
};

} // namespace Vantrel
