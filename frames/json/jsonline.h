#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Vantrel {

struct DecodedFrame;

// Appends the frame's JSON object, as one line with its line feed: the output id and kind, the
// frame's sequence number and timestamp, and the decoded values with their units in their names.
// A frame of an unknown kind gives its size only. A presence report carries the held occupancy after
// its confidence when one is given.
void appendJsonLine(std::string &line, const DecodedFrame &frame, std::optional<bool> occupancy = std::nullopt);

// Takes the JSON object of each frame, one line (with its line feed) at a time.
class JsonLineSink
{
public:
    virtual ~JsonLineSink() = default;

    // frame: the frame the line was made of, for a sink that also keeps some of its values.
    virtual void line(std::string_view line, const DecodedFrame &frame) = 0;
    // The frames read so far have all been handed over; lines kept in a buffer go out now.
    virtual void flush() {}
};

} // namespace Vantrel
