#include "decoding/framereader.h"

namespace Vantrel {
namespace FrameReader {

bool verify(const uint8_t *bytes, size_t length)
{
    // The smallest frame is its size prefix and the root offset; anything shorter is not worth a look.
    if (bytes == nullptr || length < 2 * sizeof(flatbuffers::uoffset_t) || length >= FLATBUFFERS_MAX_BUFFER_SIZE)
        return false;
    // The prefix is not read, so trailing bytes or a prefix that disagrees with the length do no harm.
    // The verifier spans the frame from byte 0 rather than byte 4 because it checks alignment relative to
    // its start and the builder aligns a size-prefixed frame from byte 0: counted from byte 4 the 8-byte
    // timestamp would fail, and with the check off a hostile frame could force misaligned reads.
    flatbuffers::Verifier verifier(bytes, length);
    return verifier.VerifyBufferFromStart<Frames::Frame>(nullptr, sizeof(flatbuffers::uoffset_t));
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
