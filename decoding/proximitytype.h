#pragma once

#include <QObject>

#include <cstdint>

namespace Vantrel {
namespace R5 {

// Which of the runtime's two trackers a proximity target comes from.
namespace Proximity2D {
Q_NAMESPACE
enum class Enum : uint8_t { Fast = 0, Slow = 1 };
Q_ENUM_NS(Enum)
} // namespace Proximity2D

} // namespace R5
} // namespace Vantrel
