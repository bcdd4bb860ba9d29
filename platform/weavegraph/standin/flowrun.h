// One run of an accepted flow: simulation or replay, paced, until its length, or until stopped.
#ifndef WEAVEGRAPH_STANDIN_FLOWRUN_H
#define WEAVEGRAPH_STANDIN_FLOWRUN_H

#include "platform/weavegraph/standin/flow.h"
#include "platform/weavegraph/standin/frames.h"
#include "platform/weavegraph/standin/pacer.h"
#include "platform/weavegraph/standin/settings.h"

#include <functional>

namespace Vantrel::Standin {

using FrameSink = std::function<void(uint32_t id, const uint8_t *frame, size_t size)>;

class FlowRun
{
public:
    FlowRun(const Flow &flow, const Settings &settings, FrameSink sink);

    // The flow's exit code when its length is reached, 0 when asked to stop.
    int exec(weavegraph_should_stop_fn shouldStop, void *context);

private:
    bool simulate(Pacer &pacer);
    bool replay(Pacer &pacer);
    bool lengthReached(uint64_t frames, double seconds) const;

    const Flow &m_flow;
    Settings m_settings;
    FrameSink m_sink;
    FrameFactory m_factory;
    uint64_t m_frames = 0;
};

} // namespace Vantrel::Standin

#endif
