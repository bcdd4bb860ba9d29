#pragma once

#include "decoding/decodedframe.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace Vantrel {

// One output frame on its way from the runtime's frame callback to the runner's thread: decoded where the
// runtime hands it over, with a copy of its bytes only when someone takes them.
struct HandedFrame
{
    uint32_t outputId = 0;
    std::optional<std::vector<uint8_t>> raw;
    DecodedFrame decoded;

    // Returns 0, or -1 when a presence frame cannot be read. The runtime owns `frame` only for this call.
    int read(uint32_t id, const uint8_t *frame, int32_t length, bool keepRaw);
};

} // namespace Vantrel
