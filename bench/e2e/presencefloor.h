#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace Vantrel {

// The least work a presence frame needs on its way to a stdout line, without Qt: the frame copied out of
// the runtime's buffer, verified, its presence read, and the line written and flushed (or, with
// flushEachLine false, left to the stream's buffer, as the program batches lines that pile up). The
// end-to-end benchmark sets the program's cost per frame beside this one.
class PresenceFloor
{
public:
    explicit PresenceFloor(std::FILE *out, bool flushEachLine = true);

    // One runtime frame; false when it fails verification or carries no presence values.
    bool handle(const uint8_t *frame, int32_t length);

    uint64_t printed() const { return m_printed; }
    uint64_t refused() const { return m_refused; }

private:
    std::FILE *m_out;
    bool m_flushEachLine;
    std::vector<uint8_t> m_copy;
    uint64_t m_printed = 0;
    uint64_t m_refused = 0;
};

} // namespace Vantrel
