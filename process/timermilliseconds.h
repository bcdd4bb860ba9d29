#pragma once

#include <QtGlobal>

#include <chrono>
#include <limits>

namespace Vantrel {

// A time in the milliseconds of a timer's int: the fraction dropped, and any value (hold times
// come from algorithm definitions and saved options) kept inside the int's range.
inline int toTimerMilliseconds(double milliseconds)
{
    if (!(milliseconds > 0))
        return 0;
    if (milliseconds >= std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return static_cast<int>(milliseconds);
}

// Now on the monotonic clock, in milliseconds: the clock that holds, hold ends and rate limits are
// timed by, which wall-clock jumps do not move.
inline qint64 steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace Vantrel
