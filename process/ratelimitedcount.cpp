#include "process/ratelimitedcount.h"

#include <utility>

namespace Vantrel {

RateLimitedCount::RateLimitedCount(qint64 intervalMs, Tell tell, Clock now)
    : m_intervalMs(intervalMs)
    , m_tell(std::move(tell))
    , m_now(std::move(now))
{
}

bool RateLimitedCount::beginRun()
{
    if (m_count > 0)
        return false;
    m_since = m_now();
    return true;
}

void RateLimitedCount::add(quint64 events)
{
    m_count += events;
}

bool RateLimitedCount::recent() const
{
    return m_since && m_now() - *m_since < m_intervalMs;
}

void RateLimitedCount::tellIfDue()
{
    if (m_count > 0 && !recent())
        tell();
}

void RateLimitedCount::tell()
{
    if (m_count == 0)
        return;
    const qint64 now = m_now();
    m_tell(m_count, m_since ? now - *m_since : 0);
    m_count = 0;
    m_since = now;
}

} // namespace Vantrel
