#include "presence/presencehold.h"

#include "process/timermilliseconds.h"

#include <algorithm>

namespace Vantrel {

PresenceHold::PresenceHold(double holdSeconds, Clock clock)
    : m_holdMs(toTimerMilliseconds(holdSeconds * 1000))
    , m_enabled(holdSeconds != 0)
    , m_clock(clock ? std::move(clock) : Clock(steadyMilliseconds))
{
}

bool PresenceHold::report(bool presence)
{
    const qint64 now = m_enabled || presence ? m_clock() : 0;
    if (presence) {
        // Also while nothing is held, so that a hold set a moment later covers whoever just left.
        m_lastPresence = now;
        m_presenceSeen = true;
    }
    if (m_enabled) {
        if (m_holding && now >= m_holdEnd)
            m_holding = false;
        if (presence) {
            m_holding = false;
        } else if (m_presence && !m_holding) {
            m_holding = true;
            m_holdEnd = now + m_holdMs;
        }
    }
    m_presence = presence;
    m_occupancy = presence || m_holding;
    return m_occupancy;
}

bool PresenceHold::update()
{
    if (m_holding && m_clock() >= m_holdEnd)
        m_holding = false;
    m_occupancy = m_presence || m_holding;
    return m_occupancy;
}

int PresenceHold::remainingMilliseconds() const
{
    return m_holding ? static_cast<int>(std::max<qint64>(m_holdEnd - m_clock(), 0)) : 0;
}

void PresenceHold::setHoldSeconds(double holdSeconds)
{
    if (!m_presence) {
        const qint64 now = m_clock();
        const double remaining = m_presenceSeen ? holdSeconds * 1000 - double(now - m_lastPresence) : 0;
        if (remaining > 0) {
            m_holding = true;
            m_holdEnd = now + toTimerMilliseconds(remaining);
        } else {
            m_holding = false;
        }
    }
    m_holdMs = toTimerMilliseconds(holdSeconds * 1000);
    m_enabled = holdSeconds != 0;
    m_occupancy = m_presence || m_holding;
}

} // namespace Vantrel
