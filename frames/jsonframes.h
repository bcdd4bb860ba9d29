#pragma once

#include "decoding/framelistener.h"

#include <string>
#include <vector>

namespace Vantrel {

class HeldOccupancy;
class JsonLineSink;

// Makes each frame's JSON line once and hands it to every sink (standard output, the web view).
class JsonFrames final : public FrameListener
{
public:
    void addSink(JsonLineSink *sink);
    // Lines of presence reports carry this occupancy from now on: once its hold time is known, so
    // that the held value is the one every output tells. It must be told each report first.
    void setOccupancy(const HeldOccupancy *occupancy) { m_occupancy = occupancy; }

    void frame(const DecodedFrame &frame) override;
    void flush() override;

private:
    std::vector<JsonLineSink *> m_sinks;
    const HeldOccupancy *m_occupancy = nullptr;
    std::string m_line; // kept, so that its buffer is reused
};

} // namespace Vantrel
