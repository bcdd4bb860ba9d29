// The kinds of output frame the stand-in produces, named as flows name them, with their output ids.
#ifndef WEAVEGRAPH_STANDIN_OUTPUTKIND_H
#define WEAVEGRAPH_STANDIN_OUTPUTKIND_H

#include <cstdint>
#include <string_view>
#include <vector>

namespace Vantrel::Standin {

enum class OutputKind {
    HumanPresence,
    Presence3,
    PresenceProfile,
    RangePresence,
    RangeProfile,
    ProximityFast,
    ProximitySlow,
    ProximityStatistics,
    ProximityFixed,
    Power,
    Heatmap,
};

struct OutputKindInfo
{
    OutputKind kind;
    const char *name;
    std::vector<uint32_t> ids; // the first is the default
};

const std::vector<OutputKindInfo> &outputKinds();
const OutputKindInfo *findOutputKind(std::string_view name);
const OutputKindInfo &outputKindInfo(OutputKind kind);

} // namespace Vantrel::Standin

#endif
