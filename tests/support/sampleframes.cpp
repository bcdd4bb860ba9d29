#include "tests/support/sampleframes.h"

#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/testframebuilder.h"

namespace Vantrel {
namespace Fixtures {

namespace {
namespace Key = Frames::Key;
namespace Output = Frames::Output;
} // namespace

std::vector<SampleFrame> sampleFrames()
{
    const std::vector<ArraySpec> profile = {
        floatArray(Key::ArraySemanticProfileRanges, {-0.1f, 0.5f, 1.0f, 1.5f, 2.0f}),
        floatArray(Key::ArraySemanticThreshold, {1, 10, 20, 30, 40}),
        floatArray(Key::ArraySemanticProfilePower, {2, 100, 200, 300, 400})};
    const ArraySpec presence = int32Array(Key::ArraySemanticHumanPresence, {1, 12, 15, 80});
    FrameSpec rangePresence;
    rangePresence.sequenceNumber = 3;
    rangePresence.timestamp = 1700000000000;
    rangePresence.signals =
        std::vector<SignalSpec>{SignalSpec{Key::SignalSemanticTarget, profile},
                                SignalSpec{Key::SignalSemanticHumanPresence, std::vector<ArraySpec>{presence}}};
    return {
        {"presence", Output::HumanPresenceA, singleSignalFrame(Key::SignalSemanticHumanPresence, {presence})},
        {"presence3", Output::Presence3,
         singleSignalFrame(Key::SignalSemanticPresence3,
                           {floatArray(Key::ArraySemanticPresenceSingle, {0.1f, 1.1f, 1.2f, 1.0f}),
                            floatArray(Key::ArraySemanticPresenceConfidence, {90})})},
        {"presenceProfile", Output::PresenceProfile,
         singleSignalFrame(Key::SignalSemanticHumanPresence,
                           {int32Array(Key::ArraySemanticHumanPresence, {1, 1, 20, 80, 1000})})},
        {"rangePresence", Output::ProfileAndPresenceA, buildFrame(rangePresence)},
        {"rangeProfile", Output::RangeProfile, singleSignalFrame(Key::SignalSemanticTarget, profile)},
        {"proximity", Output::ProximityFast,
         singleSignalFrame(Key::SignalSemanticTarget,
                           {floatArray(Key::ArraySemanticProximityRows, {1.2f, 0.1f, 15.0f, 2.4f, 0.0f, -5.0f},
                                       std::vector<uint16_t>{2, 3})})},
        {"proximityStatistics", Output::ProximitySlowAndStatistics,
         singleSignalFrame(Key::SignalSemanticTarget, {floatArray(Key::ArraySemanticProximityRows, {1.2f, 0.1f, 15.0f},
                                                                  std::vector<uint16_t>{1, 3}),
                                                       floatArray(Key::ArraySemanticFirstStatistic, {12.5f}),
                                                       floatArray(Key::ArraySemanticSecondStatistic, {20.0f})})},
        {"proximityFixed", Output::ProximityFixed,
         singleSignalFrame(
             Key::SignalSemanticHumanPresence,
             {int16Array(Key::ArraySemanticProximityFixedRows, {1, 120, 1500, 80}, std::vector<uint16_t>{1, 4})})},
        {"power", Output::PowerDataA,
         singleSignalFrame(Key::SignalSemanticHumanPresence,
                           {int16Array(Key::ArraySemanticPowerRanges, {50, 100, 150}),
                            uint32Array(Key::ArraySemanticPowerValues, {6000, 5000, 4000}),
                            uint16Array(Key::ArraySemanticThreshold, {4000, 4000, 4000}),
                            int16Array(Key::ArraySemanticEffectiveRange, {300}),
                            int32Array(Key::ArraySemanticDistance, {1, 1200})})},
        {"heatmap", Output::HeatmapBasic,
         singleSignalFrame(Key::SignalSemanticHumanPresence,
                           {int32Array(Key::ArraySemanticHeatmapRows, {1, 90, 0, 0, 0, 1, 0, 0, 2, 0, 0, 3},
                                       std::vector<uint16_t>{4, 3})})},
    };
}

} // namespace Fixtures
} // namespace Vantrel
