#include "frames/jsonframes.h"

#include "decoding/jsonline.h"
#include "runinfo/heldoccupancy.h"

namespace Vantrel {

void JsonFrames::addSink(JsonLineSink *sink)
{
    m_sinks.push_back(sink);
}

void JsonFrames::frame(const DecodedFrame &frame)
{
    m_line.clear();
    appendJsonLine(m_line, frame, m_occupancy ? std::optional<bool>(m_occupancy->occupancy()) : std::nullopt);
    for (JsonLineSink *sink : m_sinks)
        sink->line(m_line);
}

void JsonFrames::flush()
{
    for (JsonLineSink *sink : m_sinks)
        sink->flush();
}

} // namespace Vantrel
