// Writes frames with values far beyond any sensor's reach to standard output, for the web view's
// page to draw without hanging: a range profile whose every range is 1e17 cm, and a target as far
// away as a float goes.
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/testframebuilder.h"

#include <cstdio>

int main()
{
    using namespace Vantrel::Fixtures;
    namespace Key = Vantrel::Frames::Key;
    const std::vector<std::vector<uint8_t>> frames = {
        singleSignalFrame(Key::SignalSemanticTarget, {floatArray(Key::ArraySemanticProfileRanges, {1e15f, 1e15f}),
                                                      floatArray(Key::ArraySemanticThreshold, {1e30f, 1e30f}),
                                                      floatArray(Key::ArraySemanticProfilePower, {1e30f, 1e-30f})}),
        singleSignalFrame(Key::SignalSemanticTarget, {floatArray(Key::ArraySemanticProximityRows, {3e38f, 0.0f, 1e30f},
                                                                 std::vector<uint16_t>{1, 3})})};
    for (const std::vector<uint8_t> &frame : frames) {
        if (std::fwrite(frame.data(), 1, frame.size(), stdout) != frame.size())
            return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
