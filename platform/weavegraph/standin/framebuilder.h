// Typed helpers over the generated frame builder: arrays tagged with their element type and shape.
#ifndef WEAVEGRAPH_STANDIN_FRAMEBUILDER_H
#define WEAVEGRAPH_STANDIN_FRAMEBUILDER_H

#include "platform/weavegraph/frame_generated.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace Vantrel::Standin {

// Element type codes: the field id of the vector that holds the values.
enum ElementType : uint16_t {
    UInt32Elements = 3,
    Int32Elements = 4,
    FloatElements = 5,
    UInt16Elements = 10,
    Int16Elements = 11
};

using ArrayOffset = flatbuffers::Offset<Frames::Array>;
using SignalOffset = flatbuffers::Offset<Frames::Signal>;

template <typename T>
ArrayOffset makeArray(flatbuffers::FlatBufferBuilder &builder, uint32_t semantic, const std::vector<T> &values,
                      std::initializer_list<uint16_t> shape = {});

SignalOffset makeSignal(flatbuffers::FlatBufferBuilder &builder, uint32_t semantic,
                        const std::vector<ArrayOffset> &arrays);

// Finishes the frame size-prefixed; the bytes are the builder's until its next Clear().
void finishFrame(flatbuffers::FlatBufferBuilder &builder, uint32_t sequence, int64_t timestamp,
                 const std::vector<SignalOffset> &signals);

} // namespace Vantrel::Standin

#endif
