#include "sampleframes.h"

#include "framebuilder.h"

namespace Vantrel {
namespace Fixtures {

namespace {
constexpr uint32_t HumanPresenceSignal = 0xFA107E6E;
constexpr uint32_t TargetSignal = 0xBFC1474D;
} // namespace

std::vector<SampleFrame> sampleFrames()
{
    const std::vector<ArraySpec> profile = {floatArray(0xFDDB53F4, {-0.1f, 0.5f, 1.0f, 1.5f, 2.0f}),
                                            floatArray(0xC5385153, {1, 10, 20, 30, 40}),
                                            floatArray(0xD0B6792E, {2, 100, 200, 300, 400})};
    const ArraySpec presence = int32Array(0xB1533373, {1, 12, 15, 80});
    FrameSpec rangePresence;
    rangePresence.sequenceNumber = 3;
    rangePresence.timestamp = 1700000000000;
    rangePresence.signals = std::vector<SignalSpec>{SignalSpec{TargetSignal, profile},
                                                    SignalSpec{HumanPresenceSignal, std::vector<ArraySpec>{presence}}};
    return {
        {"presence", 0xCE4599EC, singleSignalFrame(HumanPresenceSignal, {presence})},
        {"presence3", 0xE40C906F,
         singleSignalFrame(0x67A67D15, {floatArray(0x65C61065, {0.1f, 1.1f, 1.2f, 1.0f}), floatArray(0xA4103235, {90})})},
        {"presenceProfile", 0x2D1B1A98, singleSignalFrame(HumanPresenceSignal, {int32Array(0xB1533373, {1, 1, 20, 80, 1000})})},
        {"rangePresence", 0x23E70800, buildFrame(rangePresence)},
        {"rangeProfile", 0x7CA17FFA, singleSignalFrame(TargetSignal, profile)},
        {"proximity", 0x25D81213,
         singleSignalFrame(TargetSignal, {floatArray(0x8F62835F, {1.2f, 0.1f, 15.0f, 2.4f, 0.0f, -5.0f}, std::vector<uint16_t>{2, 3})})},
        {"proximityStatistics", 0xAF4D52A1,
         singleSignalFrame(TargetSignal, {floatArray(0x8F62835F, {1.2f, 0.1f, 15.0f}, std::vector<uint16_t>{1, 3}),
                                          floatArray(0x36861F89, {12.5f}), floatArray(0x7E52E461, {20.0f})})},
        {"proximityFixed", 0x3A9F8F01,
         singleSignalFrame(HumanPresenceSignal, {int16Array(0x2BFEBE3C, {1, 120, 1500, 80}, std::vector<uint16_t>{1, 4})})},
        {"power", 0x2A556650,
         singleSignalFrame(HumanPresenceSignal,
                           {int16Array(0x4A22826E, {50, 100, 150}), uint32Array(0x42B174A8, {6000, 5000, 4000}),
                            uint16Array(0xC5385153, {4000, 4000, 4000}), int16Array(0xCBFD006C, {300}),
                            int32Array(0xC2F00DD7, {1, 1200})})},
        {"heatmap", 0x07BD8EC3,
         singleSignalFrame(HumanPresenceSignal, {int32Array(0x5F460FC2, {1, 90, 0, 0, 0, 1, 0, 0, 2, 0, 0, 3},
                                                            std::vector<uint16_t>{4, 3})})},
    };
}

} // namespace Fixtures
} // namespace Vantrel
