#pragma once

#include <QCoreApplication>

#include <cstdint>

namespace Vantrel {

// Frames dropped while an output falls behind: one warning when dropping begins and one with the
// count when frames go through again (or the stream ends), instead of one line per frame. Not
// thread-safe: each output keeps its own.
class DroppedFrames
{
    Q_DECLARE_TR_FUNCTIONS(DroppedFrames)

public:
    void drop();
    // A frame went through, or the stream ended: reports the frames dropped since dropping began.
    void report();

private:
    uint64_t m_count = 0;
};

} // namespace Vantrel
