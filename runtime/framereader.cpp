#include "framereader.h"

namespace Vantrel {
namespace FrameReader {

bool verify(const uint8_t *bytes, size_t length)
{
    // The smallest frame is its size prefix and the root offset; anything shorter is not worth a look.
    if (bytes == nullptr || length < 2 * sizeof(flatbuffers::uoffset_t) || length >= FLATBUFFERS_MAX_BUFFER_SIZE)
        return false;
    flatbuffers::Verifier verifier(bytes, length);
    return Frames::VerifySizePrefixedFrameBuffer(verifier);
}

const Frames::Frame *root(const uint8_t *bytes)
{
    return Frames::GetSizePrefixedFrame(bytes);
}

const Frames::Signal *findSignal(const Frames::Frame &frame, uint32_t key)
{
    const auto *signalList = frame.signals();
    if (!signalList)
        return nullptr;
    for (const Frames::Signal *signal : *signalList) {
        if (signal->semantic() == key)
            return signal;
    }
    return nullptr;
}

const Frames::ArrayData *findArray(const Frames::Signal &signal, uint32_t key)
{
    const auto *arrays = signal.arrays();
    if (!arrays)
        return nullptr;
    for (const Frames::Array *array : *arrays) {
        if (array->semantic() == key)
            return array->data();
    }
    return nullptr;
}

} // namespace FrameReader
} // namespace Vantrel
