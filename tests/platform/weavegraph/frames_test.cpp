// Every output kind: frames verify, carry sequence and time, and say what each array holds. What the
// program reads from them is checked by running its decoder over them (contract_test.cpp).
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/tablerows.h"
#include "tests/platform/weavegraph/graphharness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <optional>

using namespace Vantrel::Tests;
using Vantrel::Frames::ArrayData;
using Vantrel::Frames::Frame;

namespace {

namespace Key = Vantrel::Frames::Key;
namespace Output = Vantrel::Frames::Output;

template <typename Values>
std::optional<size_t> sizeOf(const Values *values)
{
    return values ? std::optional<size_t>(values->size()) : std::nullopt;
}

// Each array says which vector it fills, and a shape, when there is one, covers exactly its values.
void checkArraysConsistent(const Frame *frame)
{
    for (const auto *signal : *frame->signals()) {
        ASSERT_TRUE(signal->arrays());
        for (const auto *array : *signal->arrays()) {
            const ArrayData *data = array->data();
            ASSERT_TRUE(data);
            // Element type codes name the vector they fill by its field id.
            const std::map<uint16_t, std::optional<size_t>> counts = {{3, sizeOf(data->uint32Values())},
                                                                      {4, sizeOf(data->int32Values())},
                                                                      {5, sizeOf(data->floatValues())},
                                                                      {10, sizeOf(data->uint16Values())},
                                                                      {11, sizeOf(data->int16Values())}};
            const auto filled = counts.find(data->elementType());
            ASSERT_NE(filled, counts.end()) << "unknown element type " << data->elementType();
            ASSERT_TRUE(filled->second) << "no values of element type " << data->elementType();
            const size_t count = *filled->second;
            if (data->shape()) {
                size_t product = 1;
                for (uint16_t dimension : *data->shape())
                    product *= dimension;
                EXPECT_EQ(product, count) << "array " << std::hex << array->semantic();
            }
        }
    }
}

constexpr double distance = 1.5; // metres; well inside the default detection range
constexpr double angle = 20.0; // degrees

struct KindCase
{
    const char *name; // the kind, as flows write it
    uint32_t id; // its default output id
};

using Vantrel::Test::operator<<;

class StandinOutputKinds : public ::testing::TestWithParam<KindCase>
{};

int64_t wallMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void runAndCheck(const KindCase &c, const std::string &scene)
{
    GraphHarness harness;
    const std::string flow = "weaveflow 1\nrate 0\noutput " + std::string(c.name) + "\n" + scene + "run frames 3\n";
    ASSERT_EQ(harness.parse(flow), 0);
    const int64_t before = wallMs();
    ASSERT_EQ(harness.run(), 0);
    const int64_t after = wallMs();
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 3u);
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(frames[i].id, c.id);
        const auto &bytes = frames[i].bytes;
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(flatbuffers::GetPrefixedSize(bytes.data()), bytes.size() - 4);
        const Frame *frame = verifiedFrame(bytes);
        ASSERT_TRUE(frame) << "frame fails the verifier";
        EXPECT_EQ(frame->sequenceNumber(), i);
        EXPECT_GE(frame->timestamp(), before);
        EXPECT_LE(frame->timestamp(), after);
        ASSERT_TRUE(frame->signals());
        checkArraysConsistent(frame);
    }
}

TEST_P(StandinOutputKinds, PersonPresent)
{
    runAndCheck(GetParam(), "scene present 100 " + std::to_string(distance) + " " + std::to_string(angle) + "\n");
}

TEST_P(StandinOutputKinds, NobodyThere)
{
    runAndCheck(GetParam(), "scene absent 100\n");
}

const KindCase kindCases[] = {
    {"human-presence", Output::HumanPresenceA},
    {"presence3", Output::Presence3},
    {"presence-profile", Output::PresenceProfile},
    {"range-presence", Output::ProfileAndPresenceA},
    {"range-profile", Output::RangeProfile},
    {"proximity-fast", Output::ProximityFast},
    {"proximity-slow", Output::ProximitySlow},
    {"proximity-statistics", Output::ProximitySlowAndStatistics},
    {"proximity-fixed", Output::ProximityFixed},
    {"power", Output::PowerDataA},
    {"heatmap", Output::HeatmapBasic},
};

INSTANTIATE_TEST_SUITE_P(Frames, StandinOutputKinds, ::testing::ValuesIn(kindCases), [](const auto &info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

// Beside the distance the program reads, presence3 places the person in the plane.
TEST(StandinPresence3, PlacesThePersonByDistanceAndAngle)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput presence3\nscene present 10 " + std::to_string(distance) + " "
                            + std::to_string(angle) + "\nrun frames 1\n"),
              0);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    const Vantrel::Frames::Signal *signal = findSignal(verifiedFrame(frames.at(0).bytes), Key::SignalSemanticPresence3);
    const ArrayData *data = findArray(signal, Key::ArraySemanticPresenceSingle);
    ASSERT_TRUE(data && data->floatValues() && data->floatValues()->size() == 4);
    const double x = data->floatValues()->Get(0), y = data->floatValues()->Get(1); // metres
    EXPECT_NEAR(std::hypot(x, y), distance, 0.01);
    EXPECT_NEAR(std::atan2(x, y) * 180.0 / 3.14159265358979323846, angle, 0.01);
}

TEST(StandinOutputIds, ExplicitIdIsUsed)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput human-presence " + std::to_string(Output::HumanPresenceB)
                            + "\noutput power " + std::to_string(Output::PowerDataB) + "\nrun frames 2\n"),
              0);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 4u);
    // One frame per output per period, in flow order, sharing the period's sequence number.
    const uint32_t ids[] = {Output::HumanPresenceB, Output::PowerDataB, Output::HumanPresenceB, Output::PowerDataB};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(frames[i].id, ids[i]);
        EXPECT_EQ(verifiedFrame(frames[i].bytes)->sequenceNumber(), i / 2);
    }
}

// The scene repeats: present, walking away, absent; scene time steps 0.1 s per frame when unpaced.
TEST(StandinScene, DefaultSceneComesAndGoes)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput human-presence\nrun frames 180\n"), 0);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 180u);
    std::vector<bool> present;
    for (const auto &frame : frames)
        present.push_back(humanPresenceValues(frame.bytes).at(0) != 0);
    // 3 s standing + 3 s walking, then 3 s absent; period 9 s = 90 frames.
    EXPECT_TRUE(present[0]);
    EXPECT_TRUE(present[59]);
    EXPECT_FALSE(present[61]);
    EXPECT_FALSE(present[89]);
    EXPECT_TRUE(present[91]);
    EXPECT_EQ(std::count(present.begin(), present.end(), true), 120);
}

} // namespace
