#pragma once

#include "process/ratelimitedcount.h"

#include <cstddef>
#include <cstdint>

namespace Vantrel {

// Tells of frames that fail verification without flooding standard error: the first at once, then
// how many more every IntervalMs while they go on, and the rest when the stream is done with.
class InvalidFrames final
{
public:
    static constexpr qint64 IntervalMs = 10000;

    InvalidFrames();
    ~InvalidFrames();

    void skipped(uint64_t offset, size_t length);
    // Tells the count not yet told once an interval has passed since the last message.
    void tellIfDue();

private:
    RateLimitedCount m_untold;
};

} // namespace Vantrel
