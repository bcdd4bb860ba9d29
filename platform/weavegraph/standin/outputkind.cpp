#include "platform/weavegraph/standin/outputkind.h"

#include "platform/weavegraph/framevocabulary.h"

namespace Vantrel::Standin {

namespace Output = Frames::Output;

const std::vector<OutputKindInfo> &outputKinds()
{
    static const std::vector<OutputKindInfo> kinds = {
        {OutputKind::HumanPresence, "human-presence", {Output::HumanPresenceA, Output::HumanPresenceB}},
        {OutputKind::Presence3, "presence3", {Output::Presence3}},
        {OutputKind::PresenceProfile, "presence-profile", {Output::PresenceProfile}},
        {OutputKind::RangePresence,
         "range-presence",
         {Output::ProfileAndPresenceA, Output::ProfileAndPresenceB, Output::ProfileAndPresenceC}},
        {OutputKind::RangeProfile, "range-profile", {Output::RangeProfile}},
        {OutputKind::ProximityFast, "proximity-fast", {Output::ProximityFast}},
        {OutputKind::ProximitySlow, "proximity-slow", {Output::ProximitySlow}},
        {OutputKind::ProximityStatistics, "proximity-statistics", {Output::ProximitySlowAndStatistics}},
        {OutputKind::ProximityFixed, "proximity-fixed", {Output::ProximityFixed}},
        {OutputKind::Power, "power", {Output::PowerDataA, Output::PowerDataB}},
        {OutputKind::Heatmap, "heatmap", {Output::HeatmapBasic}},
    };
    return kinds;
}

const OutputKindInfo *findOutputKind(std::string_view name)
{
    for (const OutputKindInfo &info : outputKinds())
        if (name == info.name)
            return &info;
    return nullptr;
}

const OutputKindInfo &outputKindInfo(OutputKind kind)
{
    for (const OutputKindInfo &info : outputKinds())
        if (info.kind == kind)
            return info;
    return outputKinds().front(); // unreachable: every kind is listed
}

} // namespace Vantrel::Standin
