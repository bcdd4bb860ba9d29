#pragma once

#include "decoding/decodedframe.h"
#include "frames/input/invalidframes.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vantrel {

class FrameListener;

// Verifies each frame of the stream, tells which output it comes from, and hands the frames of
// the wanted kinds, decoded, to their listener (the sensor's state, which every output reads).
class FrameDispatcher final
{
public:
    // kinds: the wanted kinds, empty for all; outputId: decode every frame under this id, 0 to tell
    // it from each frame.
    FrameDispatcher(const QStringList &kinds, uint32_t outputId, FrameListener &listener);

    // One whole frame, size prefix included, 8-byte aligned; offset is where it starts in the stream.
    void frame(const uint8_t *bytes, size_t length, uint64_t offset);
    // The frames read so far have all been handed over.
    void flush();

private:
    bool wanted(const char *kind) const;

    std::vector<QByteArray> m_kinds;
    uint32_t m_outputId;
    FrameListener &m_listener;
    DecodedFrame m_decoded; // reused from frame to frame
    InvalidFrames m_invalid;
};

} // namespace Vantrel
