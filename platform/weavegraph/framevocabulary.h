// The names in the runtime's output frames: the output ids frames are handed over under, and the semantic
// keys of their signals and arrays (frame.fbs gives the layout). The runtime's maker fixes the values; the
// program's decoders and the stand-in's frame builders both take them from here.
#ifndef VANTREL_FRAMEVOCABULARY_H
#define VANTREL_FRAMEVOCABULARY_H

#include <cstdint>

namespace Vantrel::Frames {

namespace Output {
constexpr uint32_t HeatmapBasic = 0x07BD8EC3;
constexpr uint32_t ProfileAndPresenceA = 0x23E70800;
constexpr uint32_t ProfileAndPresenceB = 0x4CC44127;
constexpr uint32_t ProfileAndPresenceC = 0xD45D6362;
constexpr uint32_t ProximityFast = 0x25D81213;
constexpr uint32_t PowerDataA = 0x2A556650;
constexpr uint32_t PowerDataB = 0x769537BE;
constexpr uint32_t PresenceProfile = 0x2D1B1A98;
constexpr uint32_t ProximityFixed = 0x3A9F8F01;
constexpr uint32_t ProximitySlow = 0x7B9595C4;
constexpr uint32_t RangeProfile = 0x7CA17FFA;
constexpr uint32_t ProximitySlowAndStatistics = 0xAF4D52A1;
constexpr uint32_t HumanPresenceA = 0xCE4599EC;
constexpr uint32_t HumanPresenceB = 0xEC4C60BA;
constexpr uint32_t Presence3 = 0xE40C906F;
} // namespace Output

namespace Key {
constexpr uint32_t SignalSemanticHumanPresence = 0xFA107E6E;
constexpr uint32_t SignalSemanticPresence3 = 0x67A67D15;
constexpr uint32_t SignalSemanticTarget = 0xBFC1474D; // proximity targets and range profiles
constexpr uint32_t ArraySemanticHumanPresence = 0xB1533373;
constexpr uint32_t ArraySemanticPresenceSingle = 0x65C61065;
constexpr uint32_t ArraySemanticPresenceConfidence = 0xA4103235;
constexpr uint32_t ArraySemanticProximityRows = 0x8F62835F; // float
constexpr uint32_t ArraySemanticProximityFixedRows = 0x2BFEBE3C; // int16
constexpr uint32_t ArraySemanticFirstStatistic = 0x36861F89;
constexpr uint32_t ArraySemanticSecondStatistic = 0x7E52E461;
constexpr uint32_t ArraySemanticProfileRanges = 0xFDDB53F4;
constexpr uint32_t ArraySemanticThreshold = 0xC5385153; // float in range profiles, uint16 in power data
constexpr uint32_t ArraySemanticProfilePower = 0xD0B6792E;
constexpr uint32_t ArraySemanticPowerRanges = 0x4A22826E;
constexpr uint32_t ArraySemanticPowerValues = 0x42B174A8;
constexpr uint32_t ArraySemanticEffectiveRange = 0xCBFD006C;
constexpr uint32_t ArraySemanticDistance = 0xC2F00DD7;
constexpr uint32_t ArraySemanticHeatmapRows = 0x5F460FC2;
} // namespace Key

} // namespace Vantrel::Frames

#endif
