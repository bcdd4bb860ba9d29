#include "frames/input/framesplitter.h"

#include <flatbuffers/base.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace Vantrel {

namespace {

constexpr size_t PrefixSize = sizeof(uint32_t);
// A frame copy, or a buffer, larger than this is let go once handed over.
constexpr size_t KeptCopy = size_t{1} << 20;

} // namespace

FrameSplitter::FrameSplitter(FrameHandler handler, size_t initialCapacity)
    : m_handler(std::move(handler))
    , m_initialWords((initialCapacity + sizeof(uint64_t) - 1) / sizeof(uint64_t))
    , m_buffer(m_initialWords)
{
}

FrameSplitter::Space FrameSplitter::space(size_t minimum)
{
    const size_t capacity = m_buffer.size() * sizeof(uint64_t);
    if (capacity - m_filled < minimum)
        m_buffer.resize((m_filled + minimum) / sizeof(uint64_t) + 1);
    auto *bytes = reinterpret_cast<uint8_t *>(m_buffer.data());
    return {bytes + m_filled, m_buffer.size() * sizeof(uint64_t) - m_filled};
}

void FrameSplitter::commit(size_t count)
{
    m_filled += count;
}

void FrameSplitter::append(const uint8_t *bytes, size_t length)
{
    if (length == 0)
        return;
    std::memcpy(space(length).bytes, bytes, length);
    commit(length);
}

FrameSplitter::Split FrameSplitter::split()
{
    auto *bytes = reinterpret_cast<uint8_t *>(m_buffer.data());
    Split result;
    result.bytes = bytes;
    size_t offset = 0;
    while (m_filled - offset >= PrefixSize) {
        const uint32_t size = flatbuffers::ReadScalar<uint32_t>(bytes + offset);
        if (size > MaxFrameSize) {
            result.oversized = true;
            result.oversizedOffset = m_position + offset;
            result.announcedSize = size;
            break;
        }
        const size_t whole = PrefixSize + size;
        if (m_filled - offset < whole)
            break;
        const uint8_t *frame = bytes + offset;
        // Frames are read in place; one behind a frame of odd length is moved to an aligned copy.
        if (reinterpret_cast<uintptr_t>(frame) % alignof(uint64_t) != 0) {
            m_aligned.assign(frame, frame + whole);
            frame = m_aligned.data();
        }
        m_handler(frame, whole, m_position + offset);
        if (m_aligned.capacity() > KeptCopy)
            std::vector<uint8_t>().swap(m_aligned);
        offset += whole;
    }
    result.length = offset;
    return result;
}

void FrameSplitter::discard(const Split &split)
{
    // Nothing read yet may mean no buffer yet either.
    if (split.length == 0)
        return;
    auto *bytes = reinterpret_cast<uint8_t *>(m_buffer.data());
    std::memmove(bytes, bytes + split.length, m_filled - split.length);
    m_filled -= split.length;
    m_position += split.length;
    // One large frame must not keep its room for good.
    const size_t keptWords = std::max(2 * m_initialWords, KeptCopy / sizeof(uint64_t));
    if (m_buffer.size() > keptWords && m_filled <= m_initialWords * sizeof(uint64_t)) {
        std::vector<uint64_t> smaller(m_initialWords);
        if (m_filled > 0)
            std::memcpy(smaller.data(), m_buffer.data(), m_filled);
        m_buffer.swap(smaller);
    }
}

void FrameSplitter::reset()
{
    m_filled = 0;
    m_position = 0;
}

} // namespace Vantrel
