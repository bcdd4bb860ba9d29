// The stand-in and the program agree on every output kind: frames the stand-in makes of a known scene,
// run through the program's own decoder, give that scene back in the program's units, with status 0
// and without a warning.
#include "decoding/framedecoder.h"
#include "frames/json/jsonline.h"
#include "runtime/handedframe.h"
#include "runtime/runnersignals.h"
#include "runtime/weavegraphrunner.h"
#include "tests/support/emissionlog.h"
#include "tests/support/logcapture.h"
#include "tests/platform/weavegraph/graphharness.h"
#include "tests/support/tablerows.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>

namespace Vantrel {
namespace {

using Tests::CapturedFrame;
using Tests::GraphHarness;

constexpr double distance = 1.5; // metres; detected with the default settings
constexpr double angle = 20.0; // degrees
constexpr double thresholdDb = 40.0;
const double echoDb = 60.0 - 40.0 * std::log10(distance); // the stand-in's echo model
constexpr double profileStep = 500.0 / 32; // centimetres per range bin up to the default 5 m

constexpr auto fast = static_cast<uint>(R5::Proximity2D::Enum::Fast);
constexpr auto slow = static_cast<uint>(R5::Proximity2D::Enum::Slow);

// What the decoder emits for one frame, signal by signal.
struct Decoded
{
    explicit Decoded(WeaveGraphRunner &runner)
        : presence(&runner, &WeaveGraphRunner::newHpdData)
        , targets(&runner, &WeaveGraphRunner::newProximity2DData)
        , range(&runner, &WeaveGraphRunner::newRange)
        , threshold(&runner, &WeaveGraphRunner::newThresholdPoints)
        , power(&runner, &WeaveGraphRunner::newPowerPoints)
        , powerData(&runner, &WeaveGraphRunner::newPowerData)
        , statistics(&runner, &WeaveGraphRunner::newDetectionStatistics)
        , heatmap(&runner, &WeaveGraphRunner::newHeatmapBasicData)
    {
    }

    QSignalSpy presence, targets, range, threshold, power, powerData, statistics, heatmap;
};

// One presence report: present as the scene is, at the given distance when present.
void expectPresence(const Decoded &d, bool present, double distanceWhenPresent, double tolerance)
{
    ASSERT_EQ(d.presence.count(), 1);
    EXPECT_EQ(d.presence.at(0).at(0).toBool(), present);
    EXPECT_NEAR(d.presence.at(0).at(1).toUInt(), present ? distanceWhenPresent : 0.0, tolerance);
}

void expectConfidence(const Decoded &d, bool present)
{
    ASSERT_EQ(d.presence.count(), 1);
    const uint confidence = d.presence.at(0).at(2).toUInt();
    EXPECT_EQ(confidence > 0, present);
    EXPECT_LE(confidence, 100u);
}

void checkHumanPresence(const Decoded &d, bool present)
{
    expectPresence(d, present, distance * 1000, 50); // millimetres, from decimetres
    expectConfidence(d, present);
}

void checkPresence3(const Decoded &d, bool present)
{
    expectPresence(d, present, distance * 1000, 5);
    expectConfidence(d, present);
}

// Beyond the profile a person sits in its last bin, reported at 106 cm.
void checkPresenceProfile(const Decoded &d, bool present)
{
    ASSERT_EQ(d.presence.count(), 1);
    EXPECT_EQ(d.presence.at(0).at(0).toBool(), present);
    if (present) {
        EXPECT_EQ(d.presence.at(0).at(1).toUInt(), 106u);
    }
    ASSERT_EQ(d.power.count(), 1);
    const auto points = d.power.at(0).at(0).value<QVector<QPointF>>();
    const auto level = std::find_if(points.begin(), points.end(), [](const QPointF &p) { return p.y() != 0.0; });
    ASSERT_EQ(level != points.end(), present);
    if (present) {
        EXPECT_NEAR(level->y(), echoDb, 0.5); // dB, from linear power
    }
}

// Ranges in centimetres, levels in dB from linear power.
void checkRangeProfile(const Decoded &d, bool present)
{
    ASSERT_EQ(d.range.count(), 1);
    EXPECT_EQ(d.range.at(0).at(2).toInt(), 32);
    ASSERT_EQ(d.threshold.count(), 1);
    ASSERT_EQ(d.power.count(), 1);
    const auto threshold = d.threshold.at(0).at(0).value<QVector<QPointF>>();
    const auto power = d.power.at(0).at(0).value<QVector<QPointF>>();
    ASSERT_EQ(threshold.size(), 32);
    ASSERT_EQ(power.size(), 32);
    EXPECT_NEAR(threshold.first().y(), thresholdDb, 0.01);
    const auto peak = std::max_element(power.begin(), power.end(), [](auto a, auto b) { return a.y() < b.y(); });
    if (present) {
        EXPECT_NEAR(peak->x(), distance * 100, profileStep);
        EXPECT_NEAR(peak->y(), echoDb, 0.5);
    } else {
        EXPECT_LT(peak->y(), thresholdDb);
    }
}

void checkRangePresence(const Decoded &d, bool present)
{
    checkRangeProfile(d, present);
    checkHumanPresence(d, present);
}

// Range in metres and angle in degrees; presence in millimetres. Nobody there is one target at zero.
void checkProximity(const Decoded &d, bool present, uint type)
{
    ASSERT_EQ(d.targets.count(), 1);
    EXPECT_EQ(d.targets.at(0).at(0).toUInt(), type);
    EXPECT_NEAR(d.targets.at(0).at(1).toFloat(), present ? distance : 0.0, 0.001);
    EXPECT_NEAR(d.targets.at(0).at(2).toFloat(), present ? angle : 0.0, 0.001);
    expectPresence(d, present, distance * 1000, 1);
    EXPECT_EQ(d.presence.at(0).at(2).toUInt(), 0u);
}

void checkProximityStatistics(const Decoded &d, bool present)
{
    checkProximity(d, present, slow);
    ASSERT_EQ(d.statistics.count(), 1);
    EXPECT_EQ(d.statistics.at(0).at(0).toFloat() > 0, present); // signal-to-noise ratio
}

// Range and angle from hundredths; no distance in the report.
void checkProximityFixed(const Decoded &d, bool present)
{
    ASSERT_EQ(d.targets.count(), 1);
    EXPECT_EQ(d.targets.at(0).at(0).toUInt(), fast);
    EXPECT_NEAR(d.targets.at(0).at(1).toFloat(), present ? distance : 0.0, 0.01);
    EXPECT_NEAR(d.targets.at(0).at(2).toFloat(), present ? angle : 0.0, 0.01);
    expectPresence(d, present, 0, 0);
    expectConfidence(d, present);
}

// Ranges, effective range and distance in centimetres; power and threshold in hundredths of a dB.
void checkPower(const Decoded &d, bool present)
{
    ASSERT_EQ(d.powerData.count(), 1);
    const QList<QVariant> &args = d.powerData.at(0);
    const auto power = args.at(0).value<QVector<quint32>>();
    const auto threshold = args.at(1).value<QVector<quint32>>();
    const auto ranges = args.at(2).value<QVector<quint32>>();
    ASSERT_EQ(power.size(), 32);
    ASSERT_EQ(threshold.size(), 32);
    ASSERT_EQ(ranges.size(), 32);
    EXPECT_EQ(threshold.first(), static_cast<quint32>(thresholdDb * 100));
    EXPECT_EQ(args.at(3).toUInt(), 500u);
    EXPECT_NEAR(args.at(4).toUInt(), present ? distance * 100 : 0.0, 1);
    const int peak = static_cast<int>(std::max_element(power.begin(), power.end()) - power.begin());
    if (present) {
        EXPECT_NEAR(ranges[peak], distance * 100, profileStep);
        EXPECT_NEAR(power[peak], echoDb * 100, 50);
    } else {
        EXPECT_LT(power[peak], threshold[peak]);
    }
}

// Four zones up to the default 5 m: 1.5 m lies in zone 1.
void checkHeatmap(const Decoded &d, bool present)
{
    ASSERT_EQ(d.heatmap.count(), 4);
    for (int zone = 0; zone < 4; ++zone) {
        const QList<QVariant> &record = d.heatmap.at(zone);
        EXPECT_EQ(record.at(2).toInt(), zone);
        const bool occupied = present && zone == 1;
        EXPECT_EQ(record.at(0).toInt(), occupied ? 1 : 0) << "zone " << zone;
        EXPECT_EQ(record.at(1).toInt() > 0, occupied) << "zone " << zone;
    }
}

struct ContractCase
{
    const char *kind; // as flows write it
    std::function<void(const Decoded &, bool)> check;
};

void PrintTo(const ContractCase &c, std::ostream *os)
{
    *os << c.kind;
}

int64_t wallMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Runs the kind on the stand-in for two frames and decodes each as the program does.
void decodeAndCheck(const ContractCase &c, const std::string &scene, bool present)
{
    registerRunnerMetaTypes();
    GraphHarness harness;
    ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput " + std::string(c.kind) + "\n" + scene + "run frames 2\n"), 0);
    const int64_t before = wallMs();
    ASSERT_EQ(harness.run(), 0);
    const int64_t after = wallMs();
    const std::vector<CapturedFrame> frames = harness.frames();
    ASSERT_EQ(frames.size(), 2u);
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        WeaveGraphRunner runner;
        Decoded decoded(runner);
        Test::LogCapture log;
        const auto &bytes = frames[i].bytes;
        HandedFrame handed;
        EXPECT_EQ(handed.read(frames[i].id, bytes.data(), static_cast<int32_t>(bytes.size()), true), 0);
        RunnerSignals(runner).publish(handed);
        EXPECT_EQ(log.texts(QtWarningMsg), QStringList());
        c.check(decoded, present);
        // Reports carry the frame's wall-clock time in milliseconds and its number in the run.
        for (const QList<QVariant> &report : decoded.presence) {
            EXPECT_GE(report.at(3).toLongLong(), before);
            EXPECT_LE(report.at(3).toLongLong(), after);
            EXPECT_EQ(report.at(4).toUInt(), i);
        }
    }
}

class StandinFramesDecoded : public ::testing::TestWithParam<ContractCase>
{};

TEST_P(StandinFramesDecoded, PersonPresent)
{
    decodeAndCheck(GetParam(), "scene present 100 " + std::to_string(distance) + " " + std::to_string(angle) + "\n",
                   true);
}

TEST_P(StandinFramesDecoded, NobodyThere)
{
    decodeAndCheck(GetParam(), "scene absent 100\n", false);
}

const ContractCase contractCases[] = {
    {"human-presence", checkHumanPresence},
    {"presence3", checkPresence3},
    {"presence-profile", checkPresenceProfile},
    {"range-presence", checkRangePresence},
    {"range-profile", checkRangeProfile},
    {"proximity-fast", [](const Decoded &d, bool present) { checkProximity(d, present, fast); }},
    {"proximity-slow", [](const Decoded &d, bool present) { checkProximity(d, present, slow); }},
    {"proximity-statistics", checkProximityStatistics},
    {"proximity-fixed", checkProximityFixed},
    {"power", checkPower},
    {"heatmap", checkHeatmap},
};

INSTANTIATE_TEST_SUITE_P(Kinds, StandinFramesDecoded, ::testing::ValuesIn(contractCases), [](const auto &info) {
    std::string name = info.param.kind;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

// Within the presence profile, the bin the stand-in picks is reported at the person's distance.
TEST(StandinPresenceProfileDecoded, ReportsAClosePersonAtTheirDistance)
{
    registerRunnerMetaTypes();
    for (double metres : {0.2, 0.6, 1.0}) {
        GraphHarness harness;
        ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput presence-profile\nscene present 10 "
                                + std::to_string(metres) + "\nrun frames 1\n"),
                  0);
        ASSERT_EQ(harness.run(), 0);
        const CapturedFrame frame = harness.frames().at(0);
        WeaveGraphRunner runner;
        Decoded decoded(runner);
        HandedFrame handed;
        ASSERT_EQ(handed.read(frame.id, frame.bytes.data(), static_cast<int32_t>(frame.bytes.size()), true), 0);
        RunnerSignals(runner).publish(handed);
        ASSERT_EQ(decoded.presence.count(), 1);
        EXPECT_TRUE(decoded.presence.at(0).at(0).toBool());
        // Centimetres: within half a bin, plus the truncation to whole centimetres.
        EXPECT_NEAR(decoded.presence.at(0).at(1).toUInt(), metres * 100, 7.14 / 2 + 1) << metres << " m";
    }
}

// In an empty room the proximity trackers send no rows: the decoded value holds no target and its
// JSON line an empty list, while the runner still publishes its placeholder target before the report.
struct EmptyRoomCase
{
    const char *name;
    const char *kind; // as flows write it
    uint tracker;
};

using Test::operator<<;

class StandinEmptyRoom : public ::testing::TestWithParam<EmptyRoomCase>
{};

TEST_P(StandinEmptyRoom, DecodesToNoTarget)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput " + std::string(GetParam().kind)
                            + "\nscene absent 10\nrun frames 1\n"),
              0);
    ASSERT_EQ(harness.run(), 0);
    const CapturedFrame frame = harness.frames().at(0);
    DecodedFrame decoded;
    ASSERT_EQ(FrameDecoder::decode(frame.id, frame.bytes.data(), frame.bytes.size(), decoded), 0);
    EXPECT_TRUE(decoded.targets.empty());
    std::string line;
    appendJsonLine(line, decoded);
    EXPECT_NE(line.find(",\"targets\":[]"), std::string::npos) << line;
    Fixtures::EmissionLog emitted;
    replay(decoded, emitted);
    ASSERT_GE(emitted.entries.size(), 2);
    EXPECT_EQ(emitted.entries.at(0), QStringLiteral("proximity %1 0 0").arg(GetParam().tracker));
    EXPECT_TRUE(emitted.entries.at(1).startsWith(QStringLiteral("hpd false 0 0 "))) << emitted.entries.at(1).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Kinds, StandinEmptyRoom,
                         ::testing::Values(EmptyRoomCase{"Fast", "proximity-fast", fast},
                                           EmptyRoomCase{"Slow", "proximity-slow", slow},
                                           EmptyRoomCase{"Statistics", "proximity-statistics", slow}),
                         Test::RowName());

} // namespace
} // namespace Vantrel
