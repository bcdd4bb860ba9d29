#include "frames/state/heldoccupancy.h"

#include <algorithm>

namespace Vantrel {

HeldOccupancy::HeldOccupancy(QObject *parent)
    : QObject(parent)
{
    m_holdEnd.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the end is told when it comes, not a little before.
    m_holdEnd.setTimerType(Qt::PreciseTimer);
    // A timer may fire a little early by the monotonic clock: the hold is then judged again later.
    connect(&m_holdEnd, &QTimer::timeout, this, [this] {
        const bool before = m_hold.occupancy();
        m_hold.update();
        settle(before);
    });
}

void HeldOccupancy::report(bool presence)
{
    const bool before = m_hold.occupancy();
    m_hold.report(presence);
    settle(before);
}

void HeldOccupancy::setHoldSeconds(double seconds)
{
    const bool before = m_hold.occupancy();
    m_hold.setHoldSeconds(seconds);
    settle(before);
}

void HeldOccupancy::settle(bool before)
{
    if (m_hold.holding())
        m_holdEnd.start(std::max(m_hold.remainingMilliseconds(), 1));
    else
        m_holdEnd.stop();
    if (m_hold.occupancy() != before)
        Q_EMIT occupancyChanged(m_hold.occupancy());
}

} // namespace Vantrel
