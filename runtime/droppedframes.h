#pragma once

#include <QCoreApplication>
#include <QDebug>

#include <chrono>
#include <cstdint>
#include <functional>

namespace Vantrel {

// Frames dropped while an output falls behind: one warning when dropping begins and one with the
// count once frames go through again (or the stream ends), instead of one line per frame. An output
// that keeps falling behind gets one such pair per second at most: drops within the second after the
// first warning are summed into its count. Not thread-safe: each output keeps its own.
class DroppedFrames
{
    Q_DECLARE_TR_FUNCTIONS(DroppedFrames)

public:
    using Clock = std::function<qint64()>; // milliseconds, monotonic
    static constexpr qint64 QuietMs = 1000;

    explicit DroppedFrames(Clock now = &steadyMilliseconds)
        : m_now(std::move(now))
    {
    }

    void drop()
    {
        if (m_count++ > 0)
            return;
        m_since = m_now();
        qWarning().noquote() << tr("Output is falling behind; dropping frames");
    }

    // A frame went through: reports the frames dropped, once the warning is a second old.
    void passed()
    {
        if (m_count > 0 && m_now() - m_since >= QuietMs)
            report();
    }

    // The stream ended: reports the frames dropped whatever the time.
    void ended()
    {
        if (m_count > 0)
            report();
    }

private:
    static qint64 steadyMilliseconds()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    void report()
    {
        qWarning().noquote() << tr("Dropped %1 frames while the output was behind").arg(m_count);
        m_count = 0;
    }

    Clock m_now;
    uint64_t m_count = 0;
    qint64 m_since = 0; // of the warning that dropping began
};

} // namespace Vantrel
