#pragma once

#include <QCoreApplication>
#include <QDebug>

#include <cstdint>

namespace Vantrel {

// Frames dropped while an output falls behind: one warning when dropping begins and one with the
// count when frames go through again (or the stream ends), instead of one line per frame. Not
// thread-safe: each output keeps its own.
class DroppedFrames
{
    Q_DECLARE_TR_FUNCTIONS(DroppedFrames)

public:
    void drop()
    {
        if (m_count++ == 0)
            qWarning().noquote() << tr("Output is falling behind; dropping frames");
    }

    // A frame went through, or the stream ended: reports the frames dropped since dropping began.
    void report()
    {
        if (m_count > 0)
            qWarning().noquote() << tr("Dropped %1 frames while the output was behind").arg(m_count);
        m_count = 0;
    }

private:
    uint64_t m_count = 0;
};

} // namespace Vantrel
