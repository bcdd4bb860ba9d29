#include "outputkind.h"

namespace Vantrel::Standin {

const std::vector<OutputKindInfo> &outputKinds()
{
    static const std::vector<OutputKindInfo> kinds = {
        {OutputKind::HumanPresence, "human-presence", {0xCE4599EC, 0xEC4C60BA}},
        {OutputKind::Presence3, "presence3", {0xE40C906F}},
        {OutputKind::PresenceProfile, "presence-profile", {0x2D1B1A98}},
        {OutputKind::RangePresence, "range-presence", {0x23E70800, 0x4CC44127, 0xD45D6362}},
        {OutputKind::RangeProfile, "range-profile", {0x7CA17FFA}},
        {OutputKind::ProximityFast, "proximity-fast", {0x25D81213}},
        {OutputKind::ProximitySlow, "proximity-slow", {0x7B9595C4}},
        {OutputKind::ProximityStatistics, "proximity-statistics", {0xAF4D52A1}},
        {OutputKind::ProximityFixed, "proximity-fixed", {0x3A9F8F01}},
        {OutputKind::Power, "power", {0x2A556650, 0x769537BE}},
        {OutputKind::Heatmap, "heatmap", {0x07BD8EC3}},
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
