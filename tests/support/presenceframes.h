#pragma once

// A decoded presence frame, as the readers of the stream get it, for tests that feed them by hand.

#include "decoding/decodedframe.h"

namespace Vantrel::Fixtures {

inline DecodedFrame presenceFrame(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp = 0,
                                  uint32_t sequenceNumber = 0)
{
    DecodedFrame frame;
    frame.outputId = 1;
    frame.kind = "human-presence";
    frame.timestamp = timestamp;
    frame.sequenceNumber = sequenceNumber;
    frame.presence = PresenceReport{state, distance, confidence};
    return frame;
}

} // namespace Vantrel::Fixtures
