#include "platform/weavegraph/standin/flowrun.h"

#include "platform/weavegraph/standin/log.h"
#include "platform/weavegraph/standin/textformat.h"

#include <algorithm>

namespace Vantrel::Standin {
namespace {

// With no pacing the scene still moves on by this much per frame, so a fast run sees the same scene.
constexpr double unpacedSceneStep = 0.1;
constexpr int64_t maxReplayOffsetMs = int64_t(1e9);

int64_t wallClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

FlowRun::FlowRun(const Flow &flow, const Settings &settings, FrameSink sink)
    : m_flow(flow)
    , m_settings(settings)
    , m_sink(std::move(sink))
{
}

int FlowRun::exec(weavegraph_should_stop_fn shouldStop, void *context)
{
    for (const LogDirective &entry : m_flow.logs)
        log(entry.level, entry.message);
    if (!shouldStop && m_flow.length.kind == RunLength::UntilStopped)
        log(LogError, "run has no stop callback and no length: it will not end");
    Pacer pacer(shouldStop, context, m_flow.lingerSeconds);
    const bool completed = m_flow.replay ? replay(pacer) : simulate(pacer);
    // A run that was asked to stop returns 0, even when its length ran out while it lingered.
    if (!completed || pacer.stopped()) {
        log(LogInfo, "run stopped after " + std::to_string(m_frames) + " frames");
        return 0;
    }
    log(LogInfo,
        "run ended after " + std::to_string(m_frames) + " frames with exit code " + std::to_string(m_flow.exitCode));
    return m_flow.exitCode;
}

bool FlowRun::lengthReached(uint64_t frames, double seconds) const
{
    switch (m_flow.length.kind) {
    case RunLength::UntilStopped:
        return false;
    case RunLength::Frames:
        return frames >= m_flow.length.frames;
    case RunLength::Seconds:
        return seconds >= m_flow.length.seconds;
    }
    return false;
}

bool FlowRun::simulate(Pacer &pacer)
{
    if (m_settings.source == Source::Module)
        log(LogInfo, "no radar module is reachable from the stand-in runtime; simulating the scene instead");
    const double rate = m_settings.frameRate;
    const size_t outputs = m_flow.outputs.size();
    log(LogInfo, "simulating " + std::to_string(outputs) + (outputs == 1 ? " output at " : " outputs at ")
                     + (rate > 0 ? formatNumber(rate) + " frames per second" : std::string("full speed")));
    const Scene scene(m_flow.scene);
    const Pacer::Clock::time_point start = Pacer::Clock::now();
    const auto period = rate > 0 ? std::chrono::duration<double>(1.0 / rate) : std::chrono::duration<double>(0);
    for (uint64_t tick = 0;; ++tick) {
        const auto due = start + std::chrono::duration_cast<Pacer::Clock::duration>(period * double(tick));
        const double elapsed =
            rate > 0 ? double(tick) / rate : std::chrono::duration<double>(Pacer::Clock::now() - start).count();
        if (lengthReached(tick, elapsed))
            return true;
        if (!pacer.waitUntil(due))
            return false;
        FrameInput input;
        input.seen = observe(scene.at(double(tick) * (rate > 0 ? 1.0 / rate : unpacedSceneStep)), m_settings);
        input.settings = m_settings;
        input.sequence = static_cast<uint32_t>(tick);
        input.timestamp = wallClockMs();
        for (const Output &output : m_flow.outputs) {
            const FrameBytes frame = m_factory.build(output.kind, input);
            m_sink(output.id, frame.data, frame.size);
        }
        m_frames = tick + 1;
    }
}

bool FlowRun::replay(Pacer &pacer)
{
    const Replay &source = *m_flow.replay;
    log(LogInfo, "replaying " + std::to_string(source.recording.frames.size()) + " recorded frames as output "
                     + hexId(source.id));
    const Pacer::Clock::time_point start = Pacer::Clock::now();
    const int64_t first = source.recording.frames.front().timestamp;
    int64_t offsetMs = 0;
    for (const RecordedFrame &frame : source.recording.frames) {
        // A clock that stepped back in the recording does not make the replay wait; absurd gaps are capped.
        int64_t delta = 0;
        if (__builtin_sub_overflow(frame.timestamp, first, &delta))
            delta = frame.timestamp > first ? maxReplayOffsetMs : 0;
        offsetMs = std::clamp(delta, offsetMs, maxReplayOffsetMs);
        if (lengthReached(m_frames, double(offsetMs) / 1000.0))
            return true;
        if (!pacer.waitUntil(start + std::chrono::milliseconds(offsetMs)))
            return false;
        m_sink(source.id, source.recording.bytes.data() + frame.offset, frame.size);
        ++m_frames;
    }
    return true;
}

} // namespace Vantrel::Standin
