#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <memory>

namespace Vantrel {

struct DecodedFrame;

// What the stream has brought so far: frames by kind, frame periods missing from it, and when the
// last frame was read. Counted on the Qt thread; read from any (scrapes of the metrics), each value
// an atomic of its own so that neither side waits for the other.
class FrameCounters final
{
public:
    Q_DISABLE_COPY(FrameCounters)
    FrameCounters();
    ~FrameCounters();

    // --- The Qt thread

    void count(const DecodedFrame &frame);
    // The frames counted so far have all been read now: the time of the last one is taken once per
    // read, not per frame.
    void read();

    // --- Any thread

    // Every kind the decoders know, then "unknown", in a fixed order.
    int kindCount() const { return m_kindCount; }
    const QByteArray &kindName(int index) const;
    uint64_t frames(int index) const;
    // Frame periods whose frames never came (the writer's backlog overflowed, a full FIFO).
    uint64_t sequenceGaps() const { return m_sequenceGaps.load(std::memory_order_relaxed); }
    // Wall clock, milliseconds since the Epoch; the start before the first frame, since a stream
    // that never begins is as late as one that stopped.
    int64_t lastFrameMs() const { return m_lastFrameMs.load(std::memory_order_relaxed); }

private:
    struct KindCount;

    std::unique_ptr<KindCount[]> m_kinds;
    int m_kindCount = 0;

    // The Qt thread's alone: the last sequence number, to tell the frame periods that never came;
    // the kind of the last frame, which the next one most often shares; whether frames came since
    // the last read().
    bool m_haveSequence = false;
    uint32_t m_lastSequence = 0;
    const char *m_lastKind = nullptr;
    KindCount *m_lastCount = nullptr;
    bool m_unread = false;

    std::atomic<uint64_t> m_sequenceGaps{0};
    std::atomic<int64_t> m_lastFrameMs;
};

} // namespace Vantrel
