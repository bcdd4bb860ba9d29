#pragma once

#include <string_view>

namespace Vantrel {

// Takes the JSON object of each frame, one line (with its line feed) at a time.
class JsonLineSink
{
public:
    virtual ~JsonLineSink() = default;

    virtual void line(std::string_view line) = 0;
    // The frames read so far have all been handed over; lines kept in a buffer go out now.
    virtual void flush() {}
};

} // namespace Vantrel
