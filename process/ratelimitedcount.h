#pragma once

#include "process/timermilliseconds.h"

#include <QtGlobal>

#include <functional>
#include <optional>

namespace Vantrel {

// Tells of a flood of like events (frames dropped, frames skipped) in a few lines instead of one each:
// the caller tells at once of the event that begins a run and counts the others here, whose count is
// told at most once an interval and, whatever the time, when the caller is done. Not thread-safe.
class RateLimitedCount
{
public:
    using Clock = std::function<qint64()>; // milliseconds, monotonic
    // count events, counted over sinceMs since the run began or the count was last told.
    using Tell = std::function<void(quint64 count, qint64 sinceMs)>;

    RateLimitedCount(qint64 intervalMs, Tell tell, Clock now = &steadyMilliseconds);

    // Begins a run when nothing is counted; true when it did, so that the caller tells of it.
    bool beginRun();
    void add(quint64 events = 1);
    // Less than an interval has passed since the run began or its count was last told.
    bool recent() const;
    // Tells the count, if any, once it is no longer recent.
    void tellIfDue();
    // Tells the count, if any, whatever the time.
    void tell();

private:
    qint64 m_intervalMs;
    Tell m_tell;
    Clock m_now;
    quint64 m_count = 0;
    std::optional<qint64> m_since;
};

} // namespace Vantrel
