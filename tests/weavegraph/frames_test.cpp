// Every output kind: frames verify, carry sequence and time, and hold what the host's decoders read.
#include "graphharness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>

using namespace Vantrel::Tests;
using Vantrel::Frames::ArrayData;
using Vantrel::Frames::Frame;

namespace {

constexpr uint32_t humanPresenceSignal = 0xFA107E6E, presence3Signal = 0x67A67D15, targetSignal = 0xBFC1474D;

template <typename V> std::vector<double> values(const V *vector)
{
    std::vector<double> out;
    if (vector)
        for (auto v : *vector)
            out.push_back(double(v));
    return out;
}

// The vector of an array, by the element type the host reads it as; absent when that vector is missing.
enum class Elements { Int32, Float, UInt32, UInt16, Int16 };

std::vector<double> read(const ArrayData *data, Elements type)
{
    if (!data)
        return {};
    switch (type) {
    case Elements::Int32: return values(data->int32Values());
    case Elements::Float: return values(data->floatValues());
    case Elements::UInt32: return values(data->uint32Values());
    case Elements::UInt16: return values(data->uint16Values());
    case Elements::Int16: return values(data->int16Values());
    }
    return {};
}

std::vector<double> arrayOf(const Frame *frame, uint32_t signal, uint32_t array, Elements type)
{
    return read(findArray(findSignal(frame, signal), array), type);
}

std::vector<uint16_t> shapeOf(const Frame *frame, uint32_t signal, uint32_t array)
{
    const ArrayData *data = findArray(findSignal(frame, signal), array);
    std::vector<uint16_t> shape;
    if (data && data->shape())
        shape.assign(data->shape()->begin(), data->shape()->end());
    return shape;
}

// Each array says which vector it fills, and a shape, when there is one, covers exactly its values.
void checkArraysConsistent(const Frame *frame)
{
    for (const auto *signal : *frame->signals()) {
        ASSERT_TRUE(signal->arrays());
        for (const auto *array : *signal->arrays()) {
            const ArrayData *data = array->data();
            ASSERT_TRUE(data);
            size_t count = 0;
            switch (data->elementType()) {
            case 3: ASSERT_TRUE(data->uint32Values()); count = data->uint32Values()->size(); break;
            case 4: ASSERT_TRUE(data->int32Values()); count = data->int32Values()->size(); break;
            case 5: ASSERT_TRUE(data->floatValues()); count = data->floatValues()->size(); break;
            case 10: ASSERT_TRUE(data->uint16Values()); count = data->uint16Values()->size(); break;
            case 11: ASSERT_TRUE(data->int16Values()); count = data->int16Values()->size(); break;
            default: FAIL() << "unknown element type " << data->elementType();
            }
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
constexpr double angle = 20.0;   // degrees

// The host's conversion for human-presence distances: decimetres to millimetres in single precision.
uint32_t hostMillimetres(double decimetres) { return uint32_t(float(decimetres) * 100.0f); }

void checkHumanPresence(const Frame *f, bool present)
{
    const auto v = arrayOf(f, humanPresenceSignal, 0xB1533373, Elements::Int32);
    ASSERT_GE(v.size(), 4u);
    EXPECT_EQ(v[0] != 0, present);
    if (present) {
        EXPECT_NEAR(hostMillimetres(v[1]), distance * 1000, 50);
        EXPECT_GT(v[3], 0);
        EXPECT_LE(v[3], 100);
    }
}

void checkRangeProfile(const Frame *f, bool present)
{
    const auto ranges = arrayOf(f, targetSignal, 0xFDDB53F4, Elements::Float);
    const auto threshold = arrayOf(f, targetSignal, 0xC5385153, Elements::Float);
    const auto power = arrayOf(f, targetSignal, 0xD0B6792E, Elements::Float);
    ASSERT_GE(ranges.size(), 8u);
    ASSERT_EQ(threshold.size(), ranges.size());
    ASSERT_EQ(power.size(), ranges.size());
    for (size_t i = 1; i < ranges.size(); ++i)
        EXPECT_GT(ranges[i], ranges[i - 1]);
    EXPECT_GE(ranges.front(), 0);
    const size_t peak = size_t(std::max_element(power.begin(), power.end()) - power.begin());
    if (present) {
        EXPECT_NEAR(ranges[peak], distance, ranges[1] - ranges[0]);
        EXPECT_GT(10 * std::log10(power[peak]), 10 * std::log10(threshold[peak]));
    } else {
        EXPECT_LT(power[peak], threshold[peak]);
    }
}

void checkProximity(const Frame *f, bool present)
{
    const auto shape = shapeOf(f, targetSignal, 0x8F62835F);
    const auto rows = arrayOf(f, targetSignal, 0x8F62835F, Elements::Float);
    ASSERT_EQ(shape.size(), 2u);
    ASSERT_GE(shape[1], 3);
    EXPECT_EQ(shape[0], present ? 1 : 0);
    if (present) {
        ASSERT_GE(rows.size(), 3u);
        EXPECT_NEAR(uint32_t(rows[0] * 1000.0), distance * 1000, 5);
        EXPECT_NEAR(rows[2], angle, 0.01);
    }
}

void checkStatistics(const Frame *f, bool present)
{
    checkProximity(f, present);
    const auto snr = arrayOf(f, targetSignal, 0x36861F89, Elements::Float);
    const auto noise = arrayOf(f, targetSignal, 0x7E52E461, Elements::Float);
    ASSERT_EQ(snr.size(), 1u);
    ASSERT_EQ(noise.size(), 1u);
    EXPECT_EQ(snr[0] > 0, present);
}

void checkPresence3(const Frame *f, bool present)
{
    const auto p = arrayOf(f, presence3Signal, 0x65C61065, Elements::Float);
    const auto c = arrayOf(f, presence3Signal, 0xA4103235, Elements::Float);
    ASSERT_GE(p.size(), 4u);
    ASSERT_GE(c.size(), 1u);
    EXPECT_EQ(p[3] != 0, present);
    if (present) {
        EXPECT_NEAR(uint32_t(float(p[2]) * 1000.0f), distance * 1000, 5);
        EXPECT_NEAR(std::hypot(p[0], p[1]), distance, 0.01);
        EXPECT_GT(c[0], 0);
    }
}

void checkPresenceProfile(const Frame *f, bool present)
{
    const auto v = arrayOf(f, humanPresenceSignal, 0xB1533373, Elements::Int32);
    ASSERT_GE(v.size(), 5u);
    EXPECT_EQ(v[1] != 0, present);
    EXPECT_GE(v[2], 17);
    EXPECT_LE(v[2], 31);
    if (present) {
        EXPECT_GT(v[4], 0);
    }
}

void checkProximityFixed(const Frame *f, bool present)
{
    const auto shape = shapeOf(f, humanPresenceSignal, 0x2BFEBE3C);
    const auto w = arrayOf(f, humanPresenceSignal, 0x2BFEBE3C, Elements::Int16);
    ASSERT_EQ(shape.size(), 2u);
    ASSERT_GE(shape[0], 1);
    ASSERT_GE(shape[1], 4);
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[0] != 0, present);
    if (present) {
        EXPECT_NEAR(w[1] / 100.0, distance, 0.01);
        EXPECT_NEAR(w[2] / 100.0, angle, 0.01);
    }
}

void checkPower(const Frame *f, bool present)
{
    const auto rg = arrayOf(f, humanPresenceSignal, 0x4A22826E, Elements::Int16);
    const auto pw = arrayOf(f, humanPresenceSignal, 0x42B174A8, Elements::UInt32);
    const auto th = arrayOf(f, humanPresenceSignal, 0xC5385153, Elements::UInt16);
    const auto er = arrayOf(f, humanPresenceSignal, 0xCBFD006C, Elements::Int16);
    const auto dv = arrayOf(f, humanPresenceSignal, 0xC2F00DD7, Elements::Int32);
    ASSERT_GE(rg.size(), 8u);
    ASSERT_EQ(pw.size(), rg.size());
    ASSERT_EQ(th.size(), rg.size());
    ASSERT_EQ(er.size(), 1u);
    ASSERT_GE(dv.size(), 2u);
    EXPECT_EQ(er[0], 500); // the default maximum range, in centimetres like the ranges
    EXPECT_GE(er[0], rg.back());
    const size_t peak = size_t(std::max_element(pw.begin(), pw.end()) - pw.begin());
    if (present) {
        EXPECT_NEAR(int32_t(dv[1]) / 10, distance * 100, 1);
        EXPECT_NEAR(rg[peak], distance * 100, rg[1] - rg[0]);
        EXPECT_GT(pw[peak], th[peak]);
    } else {
        EXPECT_EQ(dv[0], 0);
        EXPECT_LT(pw[peak], th[peak]);
    }
}

void checkHeatmap(const Frame *f, bool present)
{
    const auto shape = shapeOf(f, humanPresenceSignal, 0x5F460FC2);
    const auto v = arrayOf(f, humanPresenceSignal, 0x5F460FC2, Elements::Int32);
    ASSERT_EQ(shape.size(), 2u);
    ASSERT_EQ(shape[1], 3);
    ASSERT_GE(shape[0], 2);
    ASSERT_EQ(v.size(), size_t(shape[0]) * 3);
    int occupied = 0;
    for (size_t r = 0; r < shape[0]; ++r) {
        EXPECT_EQ(v[r * 3 + 2], double(r));
        if (v[r * 3] != 0) {
            ++occupied;
            // Four equal zones up to the default 5 m: 1.5 m lies in zone 1.
            EXPECT_EQ(r, 1u);
            EXPECT_GT(v[r * 3 + 1], 0);
        }
    }
    EXPECT_EQ(occupied, present ? 1 : 0);
}

struct KindCase {
    const char *name; // the kind, as flows write it
    uint32_t id;
    std::function<void(const Frame *, bool)> check;
};

// Printed by name in test listings.
void PrintTo(const KindCase &c, std::ostream *os) { *os << c.name; }

class StandinOutputKinds : public ::testing::TestWithParam<KindCase> {};

int64_t wallMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void runAndCheck(const KindCase &c, const std::string &scene, bool present)
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
        c.check(frame, present);
    }
}

TEST_P(StandinOutputKinds, PersonPresent)
{
    runAndCheck(GetParam(), "scene present 100 " + std::to_string(distance) + " " + std::to_string(angle) + "\n", true);
}

TEST_P(StandinOutputKinds, NobodyThere)
{
    runAndCheck(GetParam(), "scene absent 100\n", false);
}

const KindCase kindCases[] = {
    {"human-presence", 0xCE4599EC, checkHumanPresence},
    {"presence3", 0xE40C906F, checkPresence3},
    {"presence-profile", 0x2D1B1A98, checkPresenceProfile},
    {"range-presence", 0x23E70800,
     [](const Frame *f, bool present) {
         checkRangeProfile(f, present);
         checkHumanPresence(f, present);
     }},
    {"range-profile", 0x7CA17FFA, checkRangeProfile},
    {"proximity-fast", 0x25D81213, checkProximity},
    {"proximity-slow", 0x7B9595C4, checkProximity},
    {"proximity-statistics", 0xAF4D52A1, checkStatistics},
    {"proximity-fixed", 0x3A9F8F01, checkProximityFixed},
    {"power", 0x2A556650, checkPower},
    {"heatmap", 0x07BD8EC3, checkHeatmap},
};

INSTANTIATE_TEST_SUITE_P(Frames, StandinOutputKinds, ::testing::ValuesIn(kindCases), [](const auto &info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

// The presence-profile bin places a close person where the host's bin-to-distance mapping puts them.
TEST(StandinPresenceProfile, BinMatchesDistance)
{
    for (double metres : {0.2, 0.6, 1.0}) {
        GraphHarness harness;
        ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput presence-profile\nscene present 10 "
                                + std::to_string(metres) + "\nrun frames 1\n"),
                  0);
        ASSERT_EQ(harness.run(), 0);
        const auto v = arrayOf(verifiedFrame(harness.frames().at(0).bytes), humanPresenceSignal, 0xB1533373,
                               Elements::Int32);
        ASSERT_GE(v.size(), 5u);
        const double hostCentimetres = (v[2] * 0.0714 - 1.145) * 100.0;
        EXPECT_NEAR(hostCentimetres, metres * 100, 3.6) << metres << " m";
    }
}

TEST(StandinOutputIds, ExplicitIdIsUsed)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput human-presence 0xEC4C60BA\noutput power 0x769537BE\n"
                            "run frames 2\n"),
              0);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 4u);
    // One frame per output per period, in flow order, sharing the period's sequence number.
    const uint32_t ids[] = {0xEC4C60BA, 0x769537BE, 0xEC4C60BA, 0x769537BE};
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
        present.push_back(arrayOf(verifiedFrame(frame.bytes), humanPresenceSignal, 0xB1533373, Elements::Int32).at(0) != 0);
    // 3 s standing + 3 s walking, then 3 s absent; period 9 s = 90 frames.
    EXPECT_TRUE(present[0]);
    EXPECT_TRUE(present[59]);
    EXPECT_FALSE(present[61]);
    EXPECT_FALSE(present[89]);
    EXPECT_TRUE(present[91]);
    EXPECT_EQ(std::count(present.begin(), present.end(), true), 120);
}

} // namespace
