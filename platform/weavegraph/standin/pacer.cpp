#include "platform/weavegraph/standin/pacer.h"

#include "platform/weavegraph/standin/log.h"

#include <algorithm>
#include <thread>

namespace Vantrel::Standin {

Pacer::Pacer(weavegraph_should_stop_fn shouldStop, void *context, double lingerSeconds)
    : m_shouldStop(shouldStop)
    , m_context(context)
    , m_linger(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(lingerSeconds)))
{
}

bool Pacer::mustEnd()
{
    const Clock::time_point now = Clock::now();
    if (m_stopAt)
        return now >= *m_stopAt;
    if (!m_shouldStop || !m_shouldStop(m_context))
        return false;
    m_stopAt = now + m_linger;
    if (m_linger > Clock::duration::zero()) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_linger).count();
        log(LogInfo, "stop requested; lingering for " + std::to_string(ms) + " ms as the flow asks");
        return false;
    }
    return true;
}

bool Pacer::waitUntil(Clock::time_point deadline)
{
    for (;;) {
        if (mustEnd())
            return false;
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return true;
        Clock::duration nap = std::min<Clock::duration>(deadline - now, pollInterval);
        if (m_stopAt)
            nap = std::min<Clock::duration>(nap, *m_stopAt - now);
        std::this_thread::sleep_for(nap);
    }
}

} // namespace Vantrel::Standin
