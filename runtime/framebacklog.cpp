#include "runtime/framebacklog.h"

#include <QMetaObject>
#include <QObject>

namespace Vantrel {

bool FrameBacklog::admit()
{
    if (m_inFlight.load() >= Capacity) {
        m_dropped.drop();
        return false;
    }
    m_dropped.passed();
    ++m_inFlight;
    return true;
}

void FrameBacklog::queued(QObject *receiver)
{
    // Posted events reach a thread in the order they were posted, so this runs after the frame's signals.
    QMetaObject::invokeMethod(
        receiver, [this] { --m_inFlight; }, Qt::QueuedConnection);
}

} // namespace Vantrel
