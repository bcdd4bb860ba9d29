#pragma once

#include <QtGlobal>

#include <functional>

namespace Vantrel {

// Occupancy: presence, kept on for the hold time after presence ends. A hold starts when a report
// without presence follows one with presence, and only while no hold runs; presence stops it. The
// hold's end is seen by the next report (vantrel-cli's timer runs meanwhile, for its observers). A
// new hold time restarts a hold for what is left of it since presence was last reported, or ends it
// when nothing is left. Milliseconds on a monotonic clock.
class PresenceHold
{
public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    // holdSeconds 0: occupancy is presence. Without a clock, the steady clock is used.
    explicit PresenceHold(double holdSeconds, Clock clock = {});

    // Takes one presence report; answers the occupancy that holds from it on.
    bool report(bool presence);
    // Judges the hold now, with no report: a hold whose time has run out ends. Answers the occupancy.
    bool update();
    void setHoldSeconds(double holdSeconds);
    bool occupancy() const { return m_occupancy; }
    // Whether a hold runs as of the last report or change of hold time, and what is left of it now.
    bool holding() const { return m_holding; }
    int remainingMilliseconds() const;

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
