#pragma once

#include "decoding/proximitytype.h"

#include <QMetaType>
#include <QObject>

#include <cstdint>

namespace Vantrel {

// A detection zone as the runtime's front ends exchange it. Registered for queued delivery only.
struct DetectionZone
{
    uint32_t index = 0;
    float start = 0.0f;
    float end = 0.0f;
    uint32_t count = 1;
    bool valid = false;
};

namespace R5 {

namespace RangeDoppler {
Q_NAMESPACE
enum class Enum : uint8_t { LeftFast = 0, LeftSlow = 1, CenterFast = 2, CenterSlow = 3, RightFast = 4, RightSlow = 5 };
Q_ENUM_NS(Enum)
} // namespace RangeDoppler

} // namespace R5

// Registers the payload types of the runner's signals, under every name they are known by.
void registerRunnerMetaTypes();

} // namespace Vantrel

Q_DECLARE_METATYPE(Vantrel::DetectionZone)
