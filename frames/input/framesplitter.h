#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Vantrel {

// Cuts a stream of size-prefixed frames, read in pieces of any size, into whole frames. Each whole
// frame goes to the handler in order, 8-byte aligned for in-place reading, with its offset in the
// stream. The bytes of a frame not yet complete stay in the buffer until the rest arrives.
//
// No file or event loop in here: the reader of a descriptor fills it, and so can a test or a fuzzer.
class FrameSplitter
{
public:
    // The largest frame a stream may announce; a larger size means the stream is not one of frames.
    static constexpr size_t MaxFrameSize = size_t{16} << 20;

    // frame: one whole frame, size prefix included; offset is where it starts in the stream.
    using FrameHandler = std::function<void(const uint8_t *frame, size_t length, uint64_t offset)>;

    // What one split() handed over.
    struct Split
    {
        // The handed-over frames as they were read, back to back; valid until the buffer next changes.
        const uint8_t *bytes = nullptr;
        size_t length = 0;
        // The split stopped at a frame announcing more than MaxFrameSize: the stream cannot go on.
        bool oversized = false;
        uint64_t oversizedOffset = 0;
        uint32_t announcedSize = 0;
    };

    struct Space
    {
        uint8_t *bytes;
        size_t size;
    };

    explicit FrameSplitter(FrameHandler handler, size_t initialCapacity = 0);

    // Room for at least minimum more bytes at the end of the buffer, to read into; commit() then
    // counts what was put there.
    Space space(size_t minimum);
    void commit(size_t count);
    // space() and commit() for bytes already in memory.
    void append(const uint8_t *bytes, size_t length);

    // Hands over every whole frame in the buffer. The handed-over bytes stay until discard(), so
    // that they can be recorded as they were read.
    Split split();
    // Drops the bytes a split() handed over.
    void discard(const Split &split);

    // Bytes of a frame not yet complete (or not handed over), and their offset in the stream.
    size_t pending() const { return m_filled; }
    uint64_t position() const { return m_position; }
    // A new stream begins: what was pending is dropped, and offsets count from 0 again.
    void reset();

private:
    FrameHandler m_handler;
    size_t m_initialWords; // the buffer's size between large frames
    // Bytes read and not yet handed over, 8-byte aligned at the start.
    std::vector<uint64_t> m_buffer;
    size_t m_filled = 0;
    std::vector<uint8_t> m_aligned; // a frame at an odd offset, copied
    uint64_t m_position = 0; // stream offset of the buffer's first byte
};

} // namespace Vantrel
