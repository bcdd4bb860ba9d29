#pragma once

#include <QtGlobal>

#include <functional>

namespace Vantrel {

// Occupancy as the main program holds it: presence, kept on for the hold time after presence ends.
// A hold starts when a report without presence follows one with presence, and only while no hold
// runs; presence stops it. Like the program's timer, whose end is only seen by the next report,
// the hold is judged at reports, on a monotonic clock.
class PresenceHold
{
public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    // holdSeconds 0: occupancy is presence. Without a clock, the steady clock is used.
    explicit PresenceHold(double holdSeconds, Clock clock = {});

    // Takes one presence report; answers the occupancy that holds from it on.
    bool report(bool presence);
    // A new hold time (the main program's options read again). As there, a hold is restarted for
    // what is left of the new time since presence was last reported, or ended when nothing is left.
    void setHoldSeconds(double holdSeconds);
    bool occupancy() const { return m_occupancy; }

private:
    int m_holdMs = 0;
    bool m_enabled = false;
    Clock m_clock;
    bool m_presence = false;
    bool m_holding = false;
    qint64 m_holdEnd = 0;
    bool m_presenceSeen = false; // m_lastPresence is valid
    qint64 m_lastPresence = 0;
    bool m_occupancy = false;
};

} // namespace Vantrel
