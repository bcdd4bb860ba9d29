#include "decoding/decodedframe.h"

namespace Vantrel {

void DecodedFrame::clear()
{
    outputId = 0;
    kind = nullptr;
    sequenceNumber = 0;
    timestamp = 0;
    length = 0;
    profile.reset();
    targets.clear();
    emptyTracker.reset();
    presence.reset();
    power.reset();
    statistics.reset();
    zones.clear();
}

} // namespace Vantrel
