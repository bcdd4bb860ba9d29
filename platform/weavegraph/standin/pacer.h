// Paces a run on the steady clock and watches the host's stop request, also while waiting.
#ifndef WEAVEGRAPH_STANDIN_PACER_H
#define WEAVEGRAPH_STANDIN_PACER_H

#include "platform/weavegraph/weavegraph.h"

#include <chrono>
#include <optional>

namespace Vantrel::Standin {

class Pacer
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds pollInterval{5};

    // lingerSeconds > 0 keeps the run going that long after the first stop request.
    Pacer(weavegraph_should_stop_fn shouldStop, void *context, double lingerSeconds);

    // Sleeps until deadline; false as soon as the run must end instead.
    bool waitUntil(Clock::time_point deadline);
    bool stopped() const { return m_stopAt.has_value(); }

private:
    bool mustEnd();

    weavegraph_should_stop_fn m_shouldStop;
    void *m_context;
    Clock::duration m_linger;
    std::optional<Clock::time_point> m_stopAt;
};

} // namespace Vantrel::Standin

#endif
