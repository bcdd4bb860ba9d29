#include "frames/json/jsonframes.h"

#include "frames/json/jsonline.h"

namespace Vantrel {

namespace {

constexpr size_t KeptLine = size_t{1} << 20;

} // namespace

void JsonFrames::addSink(JsonLineSink *sink)
{
    m_sinks.push_back(sink);
}

void JsonFrames::sensorChanged(const SensorState &state, SensorState::Changes changes, const DecodedFrame *frame)
{
    if (!(changes & SensorState::Frame))
        return;
    m_line.clear();
    appendJsonLine(m_line, *frame, state.holdKnown() ? std::optional<bool>(state.occupancy()) : std::nullopt);
    for (JsonLineSink *sink : m_sinks)
        sink->line(m_line, *frame);
    // The line of one large frame must not keep its room for good.
    if (m_line.capacity() > KeptLine)
        std::string().swap(m_line);
}

void JsonFrames::flush()
{
    for (JsonLineSink *sink : m_sinks)
        sink->flush();
}

} // namespace Vantrel
