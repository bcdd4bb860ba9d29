#pragma once

#include "process/ratelimitedcount.h"

#include <QCoreApplication>
#include <QDebug>

#include <utility>

namespace Vantrel {

// Frames dropped while an output falls behind: one warning when dropping begins and one with the
// count once frames go through again (or the stream ends), instead of one line per frame. An output
// that keeps falling behind gets one such pair per second at most: drops within the second after the
// first warning are summed into its count. Not thread-safe: each output keeps its own.
class DroppedFrames
{
    Q_DECLARE_TR_FUNCTIONS(DroppedFrames)

public:
    using Clock = RateLimitedCount::Clock;
    static constexpr qint64 QuietMs = 1000;

    explicit DroppedFrames(Clock now = &steadyMilliseconds)
        : m_dropped(QuietMs, &report, std::move(now))
    {
    }

    void drop()
    {
        if (m_dropped.beginRun())
            qWarning().noquote() << tr("Output is falling behind; dropping frames");
        m_dropped.add();
    }

    // A frame went through: reports the frames dropped, once the warning is a second old.
    void passed() { m_dropped.tellIfDue(); }

    // The stream ended: reports the frames dropped whatever the time.
    void ended() { m_dropped.tell(); }

private:
    static void report(quint64 count, qint64)
    {
        qWarning().noquote() << tr("Dropped %1 frames while the output was behind").arg(count);
    }

    RateLimitedCount m_dropped;
};

} // namespace Vantrel
