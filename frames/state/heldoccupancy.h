#pragma once

#include "presence/presencehold.h"

#include <QObject>
#include <QTimer>

namespace Vantrel {

// Occupancy on a clock: presence held for the hold time after the last report with presence, ending
// exactly when the hold runs out, whether or not a report comes then. Every change is signalled, so
// that those who publish it (MQTT, the web view, the metrics) tell it at that moment.
class HeldOccupancy : public QObject
{
    Q_OBJECT

public:
    explicit HeldOccupancy(QObject *parent = nullptr);

    // One presence report.
    void report(bool presence);
    // A new hold time; a running hold is judged anew from the last presence.
    void setHoldSeconds(double seconds);
    bool occupancy() const { return m_hold.occupancy(); }

Q_SIGNALS:
    void occupancyChanged(bool occupancy);

private:
    // Arms the timer for the end of a running hold, and signals a change.
    void settle(bool before);

    PresenceHold m_hold{0};
    QTimer m_holdEnd;
};

} // namespace Vantrel
