#include "frames/input/invalidframes.h"

#include <QCoreApplication>
#include <QDebug>

namespace Vantrel {

namespace {

void tellUntold(quint64 count, qint64 sinceMs)
{
    qWarning().noquote() << QCoreApplication::translate("FrameDispatcher", "%1 more invalid frames skipped in %2 s")
                                .arg(count)
                                .arg(qRound64(sinceMs / 1000.0));
}

} // namespace

InvalidFrames::InvalidFrames()
    : m_untold(IntervalMs, &tellUntold)
{
}

InvalidFrames::~InvalidFrames()
{
    m_untold.tell();
}

void InvalidFrames::skipped(uint64_t offset, size_t length)
{
    if (m_untold.recent()) {
        m_untold.add();
        return;
    }
    m_untold.tell();
    m_untold.beginRun();
    qWarning().noquote() << QCoreApplication::translate("FrameDispatcher",
                                                        "The frame at byte %1 (%2 bytes) is not a valid frame; skipped")
                                .arg(offset)
                                .arg(length);
}

void InvalidFrames::tellIfDue()
{
    m_untold.tellIfDue();
}

} // namespace Vantrel
