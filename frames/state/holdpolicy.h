#pragma once

#include "frames/state/holdsetting.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

namespace Vantrel {

class SensorState;

// Which hold time is in force: the saved options' (read again whenever the stream starts anew),
// unless Home Assistant has set one, which wins, is kept for the next start, and stays until it sets
// another.
class HoldPolicy final
{
    Q_DECLARE_TR_FUNCTIONS(HoldPolicy)

public:
    // kept: where a hold set by Home Assistant is kept (an empty path keeps nothing).
    HoldPolicy(SensorState &state, HoldSetting kept);

    // At start: a hold kept by an earlier run wins; with no options file to wait for, the default is
    // in force (0: occupancy is presence), for Home Assistant to change.
    void start(bool optionsFile);
    // A stream begins: its options file tells the run's options and, unless Home Assistant set one,
    // the hold time. A file that cannot be read is warned of and changes nothing.
    void readSavedOptions(const QString &path);
    // A command from Home Assistant. True when it changed the hold in force; false when it did not,
    // also when it was refused (with a warning).
    bool request(const QByteArray &payload);

private:
    SensorState &m_state;
    HoldSetting m_kept;
};

} // namespace Vantrel
