#include "frames/input/invalidframes.h"

#include <QCoreApplication>
#include <QDebug>

namespace Vantrel {

InvalidFrames::~InvalidFrames()
{
    tellCount();
}

void InvalidFrames::skipped(uint64_t offset, size_t length)
{
    if (m_sinceTold.isValid() && m_sinceTold.elapsed() < IntervalMs) {
        ++m_untold;
        return;
    }
    tellCount();
    qWarning().noquote() << QCoreApplication::translate("FrameDispatcher",
                                                        "The frame at byte %1 (%2 bytes) is not a valid frame; skipped")
                                .arg(offset)
                                .arg(length);
    m_sinceTold.start();
}

void InvalidFrames::tellIfDue()
{
    if (m_untold > 0 && m_sinceTold.elapsed() >= IntervalMs)
        tellCount();
}

void InvalidFrames::tellCount()
{
    if (m_untold == 0)
        return;
    qWarning().noquote() << QCoreApplication::translate("FrameDispatcher", "%1 more invalid frames skipped in %2 s")
                                .arg(m_untold)
                                .arg(qRound64(m_sinceTold.elapsed() / 1000.0));
    m_untold = 0;
    m_sinceTold.start();
}

} // namespace Vantrel
