#include "runtime/handedframe.h"

#include "decoding/framedecoder.h"

namespace Vantrel {

int HandedFrame::read(uint32_t id, const uint8_t *frame, int32_t length, bool keepRaw)
{
    const size_t size = frame && length > 0 ? static_cast<size_t>(length) : 0;
    outputId = id;
    if (keepRaw)
        raw.emplace(frame, frame + size);
    else
        raw.reset();
    return FrameDecoder::decode(id, frame, size, decoded);
}

} // namespace Vantrel
