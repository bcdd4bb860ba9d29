// Builds the output frames of every kind from one observation of the scene.
#ifndef WEAVEGRAPH_STANDIN_FRAMES_H
#define WEAVEGRAPH_STANDIN_FRAMES_H

#include "platform/weavegraph/standin/outputkind.h"
#include "platform/weavegraph/standin/scene.h"
#include "platform/weavegraph/standin/settings.h"

#include <flatbuffers/flatbuffers.h>

#include <cstdint>

namespace Vantrel::Standin {

struct FrameInput
{
    Observation seen;
    Settings settings;
    uint32_t sequence = 0;
    int64_t timestamp = 0; // milliseconds since the Epoch
};

struct FrameBytes
{
    const uint8_t *data;
    size_t size;
};

class FrameFactory
{
public:
    // The bytes stay valid until the next build.
    FrameBytes build(OutputKind kind, const FrameInput &input);

private:
    flatbuffers::FlatBufferBuilder m_builder{1024};
};

constexpr int profileBins = 32;
constexpr int heatmapZones = 4;

} // namespace Vantrel::Standin

#endif
