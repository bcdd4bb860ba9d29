#pragma once

#include "frames/state/sensorstate.h"

#include <string>
#include <vector>

namespace Vantrel {

class JsonLineSink;

// Makes each frame's JSON line once, with the held occupancy once a hold time is known, and hands it
// to every sink (standard output, the web view).
class JsonFrames final : public SensorObserver
{
public:
    void addSink(JsonLineSink *sink);

    void sensorChanged(const SensorState &state, SensorState::Changes changes, const DecodedFrame *frame) override;
    void flush() override;

private:
    std::vector<JsonLineSink *> m_sinks;
    std::string m_line; // kept, so that its buffer is reused
};

} // namespace Vantrel
