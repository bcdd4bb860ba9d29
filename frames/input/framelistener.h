#pragma once

namespace Vantrel {

struct DecodedFrame;

// The reader of the decoded frame stream.
class FrameListener
{
public:
    virtual ~FrameListener() = default;

    // A frame that passed verification, decoded; its outputId is 0 when its kind is unknown.
    virtual void frame(const DecodedFrame &frame) = 0;
    // Everything read so far has been handed over; the next bytes may be a while. Output kept in a
    // buffer goes out now.
    virtual void flush() {}
};

} // namespace Vantrel
