#pragma once

#include "platform/weavegraph/frame_generated.h"

#include <cstdint>
#include <type_traits>

namespace Vantrel {

// In-place access to the runtime's output frames: no copy, no allocation, no verification. A frame
// handed to these functions must already have passed FrameReader::verify (or be trusted).
namespace FrameReader {

// Checks a frame with the FlatBuffers verifier, so that the accessors below never leave its bytes. The
// root is taken from byte 4 as root() takes it; the size prefix is not consulted, so trailing bytes or a
// prefix that disagrees with length do not matter. The bytes must be aligned for the frame's widest
// scalar (8 bytes).
bool verify(const uint8_t *bytes, size_t length);

const Frames::Frame *root(const uint8_t *bytes);

// First signal whose key matches, in stored order; an absent key counts as 0.
const Frames::Signal *findSignal(const Frames::Frame &frame, uint32_t key);

// Data of the first array whose key matches. An array without data hides later ones with the same key.
const Frames::ArrayData *findArray(const Frames::Signal &signal, uint32_t key);

// The value vector of one element type, or null when the array carries none.
template <typename T>
const flatbuffers::Vector<T> *values(const Frames::ArrayData &data)
{
    if constexpr (std::is_same_v<T, uint32_t>)
        return data.uint32Values();
    else if constexpr (std::is_same_v<T, int32_t>)
        return data.int32Values();
    else if constexpr (std::is_same_v<T, float>)
        return data.floatValues();
    else if constexpr (std::is_same_v<T, uint16_t>)
        return data.uint16Values();
    else
        return data.int16Values();
}

// Shortcut for decoders that treat a missing array and a missing vector alike.
template <typename T>
const flatbuffers::Vector<T> *findValues(const Frames::Signal &signal, uint32_t arrayKey)
{
    const Frames::ArrayData *data = findArray(signal, arrayKey);
    return data ? values<T>(*data) : nullptr;
}

} // namespace FrameReader
} // namespace Vantrel
