#pragma once

#include "decoding/framelistener.h"

#include <string>
#include <vector>

namespace Vantrel {

class JsonLineSink;

// Makes each frame's JSON line once and hands it to every sink (standard output, the web view).
class JsonFrames final : public FrameListener
{
public:
    void addSink(JsonLineSink *sink);

    void frame(const DecodedFrame &frame) override;
    void flush() override;

private:
    std::vector<JsonLineSink *> m_sinks;
    std::string m_line; // kept, so that its buffer is reused
};

} // namespace Vantrel
