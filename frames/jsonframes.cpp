#include "frames/jsonframes.h"

#include "decoding/jsonline.h"
#include "runinfo/heldoccupancy.h"

namespace Vantrel {

namespace {

constexpr size_t KeptLine = size_t{1} << 20;

} // namespace

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
