#include "frames/state/framecounters.h"

#include "decoding/decodedframe.h"
#include "decoding/framedecoder.h"

#include <QStringList>

#include <chrono>
#include <cstring>
#include <utility>

namespace Vantrel {

namespace {

int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

struct FrameCounters::KindCount
{
    QByteArray name;
    std::atomic<uint64_t> frames{0};
};

FrameCounters::FrameCounters()
    : m_lastFrameMs(wallClockMs())
{
    // Every kind is there from the start, at 0, so that rates over a kind's first frames are right.
    QStringList kinds = FrameDecoder::kinds();
    kinds.append(QStringLiteral("unknown"));
    m_kindCount = kinds.size();
    m_kinds = std::make_unique<KindCount[]>(size_t(m_kindCount));
    for (int i = 0; i < m_kindCount; ++i)
        m_kinds[size_t(i)].name = kinds[i].toUtf8();
}

FrameCounters::~FrameCounters() = default;

const QByteArray &FrameCounters::kindName(int index) const
{
    return m_kinds[size_t(index)].name;
}

uint64_t FrameCounters::frames(int index) const
{
    return m_kinds[size_t(index)].frames.load(std::memory_order_relaxed);
}

void FrameCounters::count(const DecodedFrame &frame)
{
    m_unread = true;
    const char *kind = frame.kind ? frame.kind : "unknown";
    if (kind != m_lastKind) {
        m_lastKind = kind;
        m_lastCount = nullptr;
        for (int i = 0; i < m_kindCount && !m_lastCount; ++i) {
            if (std::strcmp(m_kinds[size_t(i)].name.constData(), kind) == 0)
                m_lastCount = &m_kinds[size_t(i)];
        }
    }
    // Written by this thread alone: no read-modify-write is needed, only whole values for readers.
    if (m_lastCount)
        m_lastCount->frames.store(m_lastCount->frames.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);

    // Every output of a frame period carries the period's number, counted from 0 in each run: a
    // number skipped is a period lost before this program (the runtime's backlog, a full FIFO), and
    // a smaller one is a new run.
    const uint32_t sequence = frame.sequenceNumber;
    if (m_haveSequence && sequence > m_lastSequence + 1ull)
        m_sequenceGaps.store(sequenceGaps() + (sequence - m_lastSequence - 1), std::memory_order_relaxed);
    m_haveSequence = true;
    m_lastSequence = sequence;
}

void FrameCounters::read()
{
    if (std::exchange(m_unread, false))
        m_lastFrameMs.store(wallClockMs(), std::memory_order_relaxed);
}

} // namespace Vantrel
