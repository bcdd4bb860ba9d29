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

namespace {

// The first of the tables with this semantic key, in stored order; null without a list.
template <typename Table>
const Table *firstWithKey(const flatbuffers::Vector<flatbuffers::Offset<Table>> *tables, uint32_t key)
{
    if (!tables)
        return nullptr;
    for (const Table *table : *tables) {
        if (table->semantic() == key)
            return table;
    }
    return nullptr;
}

} // namespace

const Frames::Signal *findSignal(const Frames::Frame &frame, uint32_t key)
{
    return firstWithKey(frame.signals(), key);
}

const Frames::ArrayData *findArray(const Frames::Signal &signal, uint32_t key)
{
    const Frames::Array *array = firstWithKey(signal.arrays(), key);
    return array ? array->data() : nullptr;
}

} // namespace FrameReader
} // namespace Vantrel
