#pragma once

// The output ids the fuzzers choose from by their first input byte: every id that has decoders, and one
// that has none. The seed corpora write their selectors by this table.

#include "platform/weavegraph/framevocabulary.h"

#include <cstdint>

namespace Vantrel::Fuzz {

constexpr uint32_t OutputIds[] = {
    Frames::Output::HeatmapBasic,        Frames::Output::ProfileAndPresenceA,
    Frames::Output::ProfileAndPresenceB, Frames::Output::ProfileAndPresenceC,
    Frames::Output::ProximityFast,       Frames::Output::PowerDataA,
    Frames::Output::PowerDataB,          Frames::Output::PresenceProfile,
    Frames::Output::ProximityFixed,      Frames::Output::ProximitySlow,
    Frames::Output::RangeProfile,        Frames::Output::ProximitySlowAndStatistics,
    Frames::Output::HumanPresenceA,      Frames::Output::HumanPresenceB,
    Frames::Output::Presence3,           0x12345678,
};

} // namespace Vantrel::Fuzz
