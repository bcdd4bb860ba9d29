#include "decoding/framedecoder.h"
#include "decoding/framereader.h"
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/emissionlog.h"
#include "tests/support/logcapture.h"
#include "tests/support/sampleframes.h"
#include "tests/support/tablerows.h"
#include "tests/support/testframebuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace Vantrel {
namespace {

using Fixtures::ArraySpec;
using Fixtures::FrameSpec;
using Fixtures::num;
using Fixtures::SignalSpec;
using Fixtures::singleSignalFrame;
using Test::LogCapture;

namespace Key = Frames::Key;
namespace Output = Frames::Output;

// Frame fields that every presence report carries through.
const QString Stamp = QStringLiteral("1700000000123 7");

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

QString hpd(bool state, quint64 distance, quint64 confidence)
{
    return QStringLiteral("hpd %1 %2 %3 ").arg(Fixtures::boolText(state)).arg(distance).arg(confidence) + Stamp;
}

QString proximity(int type, float range, float angle)
{
    return QStringLiteral("proximity %1 %2 %3").arg(type).arg(num(range), num(angle));
}

std::vector<uint8_t> twoSignalFrame(SignalSpec first, SignalSpec second)
{
    FrameSpec layout;
    layout.sequenceNumber = 7;
    layout.timestamp = 1700000000123;
    layout.signals = std::vector<SignalSpec>{std::move(first), std::move(second)};
    return Fixtures::buildFrame(layout);
}

std::vector<uint8_t> humanPresenceFrame(std::vector<int32_t> values)
{
    return singleSignalFrame(Key::SignalSemanticHumanPresence,
                             {Fixtures::int32Array(Key::ArraySemanticHumanPresence, std::move(values))});
}

std::vector<uint8_t> presence3Frame(std::vector<ArraySpec> arrays)
{
    return singleSignalFrame(Key::SignalSemanticPresence3, std::move(arrays));
}

std::vector<uint16_t> shape(std::initializer_list<uint16_t> dims)
{
    return dims;
}

// Bin positions of the presence profile, 17 to 31, in centimetres.
const float BinPositions[15] = {6.88f, 14.02f, 21.16f, 28.3f,  35.44f, 42.58f, 49.72f, 56.86f,
                                64.0f, 71.14f, 78.28f, 85.42f, 92.56f, 99.7f,  106.84f};

QString profilePoints(int replacedIndex, double level)
{
    QVector<QPointF> list;
    for (int i = 0; i < 15; ++i)
        list.append(QPointF(BinPositions[i], i == replacedIndex ? level : 0.0));
    return Fixtures::points(list);
}

struct DecodeCase
{
    const char *name;
    uint32_t outputId;
    std::vector<uint8_t> frame;
    int status;
    QStringList events; // in signal order
    QStringList warnings;
};

using Vantrel::Test::operator<<;

class Decoding : public ::testing::TestWithParam<DecodeCase>
{};

// The decoded frame, told in the order the runner publishes it as signals.
QStringList decodedInSignalOrder(uint32_t outputId, const uint8_t *bytes, size_t length, int *status = nullptr)
{
    DecodedFrame decoded;
    const int answer = FrameDecoder::decode(outputId, bytes, length, decoded);
    if (status)
        *status = answer;
    Fixtures::EmissionLog log;
    replay(decoded, log);
    return log.entries;
}

TEST_P(Decoding, GivesTheFramesValuesInSignalOrder)
{
    const DecodeCase &c = GetParam();
    LogCapture messages;
    int status = 0;

    EXPECT_EQ(decodedInSignalOrder(c.outputId, c.frame.data(), c.frame.size(), &status), c.events);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(messages.texts(QtWarningMsg), c.warnings);
}

const std::vector<DecodeCase> presenceCases = {
    {"humanPresenceInSinglePrecision",
     Output::HumanPresenceA,
     // 16777217 becomes 16777216 as a float; in double precision the distance would end in 700.
     humanPresenceFrame({1, 16777217, 0, 80}),
     0,
     {hpd(true, 1677721600u, 80)},
     {}},
    {"humanPresenceNegativeDistanceAndConfidence",
     Output::HumanPresenceB,
     humanPresenceFrame({0, -5, 0, -1}),
     0,
     {hpd(false, 0, 4294967295u)},
     {}},
    {"humanPresenceWithoutSignal",
     Output::HumanPresenceA,
     singleSignalFrame(Key::SignalSemanticTarget,
                       {Fixtures::int32Array(Key::ArraySemanticHumanPresence, {1, 1, 0, 1})}),
     -1,
     {},
     {"No SIGNAL_SEMANTIC_HUMAN_PRESENCE found"}},
    {"humanPresenceWithoutArray",
     Output::HumanPresenceA,
     singleSignalFrame(Key::SignalSemanticHumanPresence,
                       {Fixtures::int32Array(Key::ArraySemanticDistance, {1, 1, 0, 1})}),
     -1,
     {},
     {"No array ARRAY_SEMANTIC_HUMAN_PRESENCE found"}},
    {"humanPresenceWithFloatsOnly",
     Output::HumanPresenceB,
     singleSignalFrame(Key::SignalSemanticHumanPresence,
                       {Fixtures::floatArray(Key::ArraySemanticHumanPresence, {1, 1, 0, 1})}),
     -1,
     {},
     {"No array ARRAY_SEMANTIC_HUMAN_PRESENCE found"}},
    {"humanPresenceTooShort",
     Output::HumanPresenceB,
     humanPresenceFrame({1, 1, 0}),
     -1,
     {},
     {"Array ARRAY_SEMANTIC_HUMAN_PRESENCE holds 3 values, expected at least 4"}},
    {"presence3InSinglePrecision",
     Output::Presence3,
     // 1.037f times 1000 is 1036.99994 in double precision but rounds to 1037 as a float.
     presence3Frame({Fixtures::floatArray(Key::ArraySemanticPresenceSingle, {9, 9, 1.037f, 1}),
                     Fixtures::floatArray(Key::ArraySemanticPresenceConfidence, {87.9f})}),
     0,
     {hpd(true, 1037, 87)},
     {}},
    {"presence3NaNStateIsPresentAndNaNConfidenceIsZero",
     Output::Presence3,
     presence3Frame({Fixtures::floatArray(Key::ArraySemanticPresenceSingle, {0, 0, -2.0f, NaN}),
                     Fixtures::floatArray(Key::ArraySemanticPresenceConfidence, {NaN})}),
     0,
     {hpd(true, 0, 0)},
     {}},
    {"presence3SaturatesLargeValues",
     Output::Presence3,
     presence3Frame({Fixtures::floatArray(Key::ArraySemanticPresenceSingle, {0, 0, 5e6f, 0}),
                     Fixtures::floatArray(Key::ArraySemanticPresenceConfidence, {-3.0f})}),
     0,
     {hpd(false, 4294967295u, 0)},
     {}},
    {"presence3WithoutSignal",
     Output::Presence3,
     singleSignalFrame(Key::SignalSemanticHumanPresence,
                       {Fixtures::floatArray(Key::ArraySemanticPresenceSingle, {0, 0, 0, 0})}),
     -1,
     {},
     {"No SIGNAL_SEMANTIC_PRESENCE3 found"}},
    {"presence3WithoutPresenceArray",
     Output::Presence3,
     presence3Frame({Fixtures::floatArray(Key::ArraySemanticPresenceConfidence, {1})}),
     -1,
     {},
     {"No array ARRAY_SEMANTIC_PRESENCESINGLE found"}},
    {"presence3WithoutConfidenceArray",
     Output::Presence3,
     presence3Frame({Fixtures::floatArray(Key::ArraySemanticPresenceSingle, {0, 0, 0, 0})}),
     -1,
     {},
     {"No array ARRAY_SEMANTIC_PRESENCE_CONFIDENCE found"}},
    {"presence3EmptyConfidence",
     Output::Presence3,
     presence3Frame({Fixtures::floatArray(Key::ArraySemanticPresenceSingle, {0, 0, 0, 0}),
                     Fixtures::floatArray(Key::ArraySemanticPresenceConfidence, {})}),
     -1,
     {},
     {"Array ARRAY_SEMANTIC_PRESENCE_CONFIDENCE holds 0 values, expected at least 1"}},
};
INSTANTIATE_TEST_SUITE_P(Presence, Decoding, ::testing::ValuesIn(presenceCases), Vantrel::Test::RowName());

const std::vector<DecodeCase> profileCases = {
    {"presentReplacesItsBin",
     Output::PresenceProfile,
     humanPresenceFrame({9, 1, 20, 9, 1000}),
     0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(3, 30.0f),
      "threshold " + profilePoints(-1, 0), hpd(true, 28, 100)},
     {}},
    {"absentKeepsEveryPointAtZero",
     Output::PresenceProfile,
     humanPresenceFrame({9, 0, 25, 9, 1000}),
     0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 64, 100)},
     {}},
    {"lastBin",
     Output::PresenceProfile,
     humanPresenceFrame({0, 1, 31, 0, 10}),
     0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(14, 10.0f),
      "threshold " + profilePoints(-1, 0), hpd(true, 106, 100)},
     {}},
    {"binBelowTheProfile",
     Output::PresenceProfile,
     humanPresenceFrame({0, 1, 16, 0, 10}),
     -1,
     {},
     {"Presence profile bin 16 is outside 17 to 31"}},
    {"binAboveTheProfile",
     Output::PresenceProfile,
     humanPresenceFrame({0, 1, 32, 0, 10}),
     -1,
     {},
     {"Presence profile bin 32 is outside 17 to 31"}},
    {"negativeBin",
     Output::PresenceProfile,
     humanPresenceFrame({0, 1, -1, 0, 10}),
     -1,
     {},
     {"Presence profile bin 4294967295 is outside 17 to 31"}},
    // Without presence the bin only sets the distance, so any bin is reported.
    {"absentWithBinAboveTheProfile",
     Output::PresenceProfile,
     humanPresenceFrame({0, 0, 32, 0, 10}),
     0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 113, 100)},
     {}},
    {"absentWithBinBelowTheProfile",
     Output::PresenceProfile,
     humanPresenceFrame({0, 0, 3, 0, 10}),
     0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 0, 100)},
     {}},
    {"absentWithNegativeBin",
     Output::PresenceProfile,
     humanPresenceFrame({0, 0, -1, 0, 10}),
     0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 4294967295u, 100)},
     {}},
    {"tooShort",
     Output::PresenceProfile,
     humanPresenceFrame({0, 1, 20, 0}),
     -1,
     {},
     {"Array ARRAY_SEMANTIC_HUMAN_PRESENCE holds 4 values, expected at least 5"}},
    {"withoutSignal", Output::PresenceProfile, presence3Frame({}), -1, {}, {"No SIGNAL_SEMANTIC_HUMAN_PRESENCE found"}},
};
INSTANTIATE_TEST_SUITE_P(PresenceProfile, Decoding, ::testing::ValuesIn(profileCases), Vantrel::Test::RowName());

std::vector<uint8_t> proximityFrame(std::vector<float> values, std::optional<std::vector<uint16_t>> dims,
                                    std::vector<ArraySpec> more = {})
{
    more.insert(more.begin(),
                Fixtures::floatArray(Key::ArraySemanticProximityRows, std::move(values), std::move(dims)));
    return singleSignalFrame(Key::SignalSemanticTarget, std::move(more));
}

const std::vector<DecodeCase> proximityCases = {
    {"fastRowsWithPresenceFromTheFirst",
     Output::ProximityFast,
     // 1.037f * 1000 in double precision is just below 1037.
     proximityFrame({1.037f, 99, 0.25f, 2.0f, 99, -0.5f}, shape({2, 3})),
     0,
     {proximity(0, 1.037f, 0.25f), hpd(true, 1036, 0), proximity(0, 2.0f, -0.5f)},
     {}},
    {"slowRowsWithWiderStride",
     Output::ProximitySlow,
     proximityFrame({3.0f, 0, 0.5f, 77, 4.0f, 0, 1.5f, 77}, shape({2, 4})),
     0,
     {proximity(1, 3.0f, 0.5f), hpd(true, 3000, 0), proximity(1, 4.0f, 1.5f)},
     {}},
    {"zeroRows",
     Output::ProximityFast,
     proximityFrame({}, shape({0, 3})),
     0,
     {proximity(0, 0, 0), hpd(false, 0, 0)},
     {}},
    {"zeroRowsSlow",
     Output::ProximitySlow,
     proximityFrame({}, shape({0, 3})),
     0,
     {proximity(1, 0, 0), hpd(false, 0, 0)},
     {}},
    {"nanRowsAreSkipped",
     Output::ProximityFast,
     proximityFrame({NaN, 0, 0.1f, 1.0f, 0, NaN, 2.5f, 0, 0.75f, 3.0f, 0, 1.0f}, shape({4, 3})),
     0,
     {proximity(0, 2.5f, 0.75f), hpd(true, 2500, 0), proximity(0, 3.0f, 1.0f)},
     {}},
    {"allRowsNaN", Output::ProximityFast, proximityFrame({NaN, 0, 0, 1.0f, 0, NaN}, shape({2, 3})), 0, {}, {}},
    {"negativeRangeGivesZeroDistance",
     Output::ProximityFast,
     proximityFrame({-1.0f, 0, 0}, shape({1, 3})),
     0,
     {proximity(0, -1.0f, 0), hpd(true, 0, 0)},
     {}},
    {"withoutShape",
     Output::ProximityFast,
     proximityFrame({1, 2, 3}, std::nullopt),
     0,
     {},
     {"Frame doesn't have shape"}},
    {"threeDimensions",
     Output::ProximitySlow,
     proximityFrame({1, 2, 3}, shape({1, 3, 1})),
     0,
     {},
     {"Unexpected shape size. Expected: 2, actual: 3"}},
    {"rowsPastTheValues",
     Output::ProximityFast,
     proximityFrame({1, 2, 3, 4, 5, 6}, shape({3, 3})),
     0,
     {},
     {"Frame shape 3 x 3 doesn't fit its 6 values"}},
    {"rowsNarrowerThanARow",
     Output::ProximityFast,
     proximityFrame({1, 2, 3, 4}, shape({2, 2})),
     0,
     {},
     {"Frame shape 2 x 2 doesn't fit its 4 values"}},
    {"withoutRowsArray", Output::ProximityFast, singleSignalFrame(Key::SignalSemanticTarget, {}), 0, {}, {}},
    {"slowRowsThenStatistics",
     Output::ProximitySlowAndStatistics,
     proximityFrame({1.0f, 0, 0.5f}, shape({1, 3}),
                    {Fixtures::floatArray(Key::ArraySemanticFirstStatistic, {0.125f, 9}),
                     Fixtures::floatArray(Key::ArraySemanticSecondStatistic, {-2.5f})}),
     0,
     {proximity(1, 1.0f, 0.5f), hpd(true, 1000, 0), "statistics 0.125 -2.5"},
     {}},
    {"statisticsWithoutSecond",
     Output::ProximitySlowAndStatistics,
     proximityFrame({1.0f, 0, 0.5f}, shape({1, 3}), {Fixtures::floatArray(Key::ArraySemanticFirstStatistic, {0.125f})}),
     0,
     {proximity(1, 1.0f, 0.5f), hpd(true, 1000, 0)},
     {}},
    {"statisticsAfterBadShape",
     Output::ProximitySlowAndStatistics,
     proximityFrame({1.0f, 0, 0.5f}, shape({3}),
                    {Fixtures::floatArray(Key::ArraySemanticFirstStatistic, {1}),
                     Fixtures::floatArray(Key::ArraySemanticSecondStatistic, {2})}),
     0,
     {"statistics 1 2"},
     {"Unexpected shape size. Expected: 2, actual: 1"}},
};
INSTANTIATE_TEST_SUITE_P(Proximity, Decoding, ::testing::ValuesIn(proximityCases), Vantrel::Test::RowName());

std::vector<uint8_t> fixedFrame(std::vector<int16_t> values, std::optional<std::vector<uint16_t>> dims)
{
    return singleSignalFrame(
        Key::SignalSemanticHumanPresence,
        {Fixtures::int16Array(Key::ArraySemanticProximityFixedRows, std::move(values), std::move(dims))});
}

const std::vector<DecodeCase> fixedProximityCases = {
    {"rowsInHundredths",
     Output::ProximityFixed,
     fixedFrame({1, 150, -25, -3, 0, 300, 50, 9}, shape({2, 4})),
     0,
     {proximity(0, 1.5f, -0.25f), hpd(true, 0, 4294967293u), proximity(0, 3.0f, 0.5f)},
     {}},
    {"firstRowAbsent",
     Output::ProximityFixed,
     fixedFrame({0, 1, 2, 40, 5, 1, 1, 1}, shape({1, 8})),
     0,
     {proximity(0, 0.01f, 0.02f), hpd(false, 0, 40)},
     {}},
    {"zeroRows", Output::ProximityFixed, fixedFrame({}, shape({0, 4})), 0, {proximity(0, 0, 0), hpd(false, 0, 0)}, {}},
    {"rowNarrowerThanFourValues",
     Output::ProximityFixed,
     fixedFrame({1, 2, 3, 4, 5, 6}, shape({2, 3})),
     0,
     {},
     {"Frame shape 2 x 3 doesn't fit its 6 values"}},
    {"withoutShape",
     Output::ProximityFixed,
     fixedFrame({1, 2, 3, 4}, std::nullopt),
     0,
     {},
     {"Frame doesn't have shape"}},
};
INSTANTIATE_TEST_SUITE_P(FixedProximity, Decoding, ::testing::ValuesIn(fixedProximityCases), Vantrel::Test::RowName());

std::vector<uint8_t> profileFrame(std::vector<float> ranges, std::optional<std::vector<float>> threshold,
                                  std::optional<std::vector<float>> power)
{
    std::vector<ArraySpec> arrays{Fixtures::floatArray(Key::ArraySemanticProfileRanges, std::move(ranges))};
    if (threshold)
        arrays.push_back(Fixtures::floatArray(Key::ArraySemanticThreshold, std::move(*threshold)));
    if (power)
        arrays.push_back(Fixtures::floatArray(Key::ArraySemanticProfilePower, std::move(*power)));
    return singleSignalFrame(Key::SignalSemanticTarget, std::move(arrays));
}

const std::vector<DecodeCase> rangeProfileCases = {
    {"leadingNegativeRangesShiftTheLevels",
     Output::RangeProfile,
     profileFrame({-0.2f, -0.1f, 0.5f, 1.0f}, std::vector<float>{1e6f, 1e6f, 10, 100},
                  std::vector<float>{1e6f, 1e6f, 1000, 10000}),
     0,
     {"range 50 100 2", "threshold [(50,10);(100,20)]", "powerPoints [(50,30);(100,40)]"},
     {}},
    {"nanRangeCountsAsNegative",
     Output::RangeProfile,
     profileFrame({NaN, 0.0f, 0.25f}, std::vector<float>{1e6f, 1, 10}, std::vector<float>{1e6f, 100, 1000}),
     0,
     {"range 0 25 2", "threshold [(0,0);(25,10)]", "powerPoints [(0,20);(25,30)]"},
     {}},
    {"rangesRoundedToSinglePrecision",
     Output::RangeProfile,
     // 0.3f * 100 is 30.0000012 in double precision and 30.0000019 once stored as a float.
     profileFrame({0.3f}, std::vector<float>{1000}, std::vector<float>{0.1f}),
     0,
     {"range 30.0000019 30.0000019 1", "threshold [(30.0000019,30)]", "powerPoints [(30.0000019,-9.99999994)]"},
     {}},
    {"allNegative",
     Output::RangeProfile,
     profileFrame({-1, -2}, std::vector<float>{1, 1}, std::vector<float>{1, 1}),
     0,
     {},
     {}},
    {"withoutThreshold", Output::RangeProfile, profileFrame({1}, std::nullopt, std::vector<float>{1}), 0, {}, {}},
    {"withoutPower", Output::RangeProfile, profileFrame({1}, std::vector<float>{1}, std::nullopt), 0, {}, {}},
    {"levelsShorterThanRanges",
     Output::RangeProfile,
     profileFrame({-1, 1, 2}, std::vector<float>{1, 1}, std::vector<float>{1, 1, 1}),
     0,
     {},
     {}},
    {"withPresenceAfterTheProfile",
     Output::ProfileAndPresenceA,
     twoSignalFrame(SignalSpec{Key::SignalSemanticTarget,
                               std::vector<ArraySpec>{Fixtures::floatArray(Key::ArraySemanticProfileRanges, {0.5f}),
                                                      Fixtures::floatArray(Key::ArraySemanticThreshold, {10}),
                                                      Fixtures::floatArray(Key::ArraySemanticProfilePower, {100})}},
                    SignalSpec{Key::SignalSemanticHumanPresence, std::vector<ArraySpec>{Fixtures::int32Array(
                                                                     Key::ArraySemanticHumanPresence, {1, 2, 0, 50})}}),
     0,
     {"range 50 50 1", "threshold [(50,10)]", "powerPoints [(50,20)]", hpd(true, 200, 50)},
     {}},
    {"profileKeptWhenPresenceIsMissing",
     Output::ProfileAndPresenceB,
     profileFrame({0.5f}, std::vector<float>{10}, std::vector<float>{100}),
     -1,
     {"range 50 50 1", "threshold [(50,10)]", "powerPoints [(50,20)]"},
     {"No SIGNAL_SEMANTIC_HUMAN_PRESENCE found"}},
    {"presenceWithoutProfile",
     Output::ProfileAndPresenceC,
     humanPresenceFrame({0, 0, 0, 0}),
     0,
     {hpd(false, 0, 0)},
     {}},
};
INSTANTIATE_TEST_SUITE_P(RangeProfile, Decoding, ::testing::ValuesIn(rangeProfileCases), Vantrel::Test::RowName());

std::vector<uint8_t> powerFrame(std::vector<int16_t> ranges, std::vector<uint32_t> power,
                                std::vector<uint16_t> threshold, std::vector<int16_t> effectiveRange,
                                std::vector<int32_t> distance)
{
    return singleSignalFrame(Key::SignalSemanticHumanPresence,
                             {Fixtures::int16Array(Key::ArraySemanticPowerRanges, std::move(ranges)),
                              Fixtures::uint32Array(Key::ArraySemanticPowerValues, std::move(power)),
                              Fixtures::uint16Array(Key::ArraySemanticThreshold, std::move(threshold)),
                              Fixtures::int16Array(Key::ArraySemanticEffectiveRange, std::move(effectiveRange)),
                              Fixtures::int32Array(Key::ArraySemanticDistance, std::move(distance))});
}

const std::vector<DecodeCase> powerCases = {
    {"widenedAndSignExtended",
     Output::PowerDataA,
     powerFrame({-5, 10}, {100, 4000000000u}, {65535, 7}, {-3}, {99, -157}),
     0,
     {"power [100,4000000000] [65535,7] [4294967291,10] 4294967293 4294967281"},
     {}},
    {"otherId", Output::PowerDataB, powerFrame({1}, {2}, {3}, {4}, {0, 159}), 0, {"power [2] [3] [1] 4 15"}, {}},
    {"lengthMismatch", Output::PowerDataA, powerFrame({1, 2}, {1, 2}, {1}, {4}, {0, 5}), 0, {}, {}},
    {"twoEffectiveRanges", Output::PowerDataA, powerFrame({1}, {2}, {3}, {4, 5}, {0, 5}), 0, {}, {}},
    {"oneDistanceValue", Output::PowerDataA, powerFrame({1}, {2}, {3}, {4}, {5}), 0, {}, {}},
};
INSTANTIATE_TEST_SUITE_P(PowerData, Decoding, ::testing::ValuesIn(powerCases), Vantrel::Test::RowName());

std::vector<uint8_t> heatmapFrame(std::vector<int32_t> values, std::optional<std::vector<uint16_t>> dims)
{
    return singleSignalFrame(Key::SignalSemanticHumanPresence,
                             {Fixtures::int32Array(Key::ArraySemanticHeatmapRows, std::move(values), std::move(dims))});
}

const std::vector<DecodeCase> heatmapCases = {
    {"oneRecordPerRow",
     Output::HeatmapBasic,
     heatmapFrame({1, 90, 3, -1, 0, 10, 4, -1}, shape({2, 4})),
     0,
     {"heatmap 1 90 3", "heatmap 0 10 4"},
     {}},
    {"zeroRowsHaveNoRecords", Output::HeatmapBasic, heatmapFrame({1, 90, 3}, shape({0, 3})), 0, {}, {}},
    {"threeDimensions",
     Output::HeatmapBasic,
     heatmapFrame({1, 90, 3}, shape({1, 3, 1})),
     0,
     {},
     {"Unexpected shape size. Expected: 2, actual: 3"}},
    {"rowsPastTheValues",
     Output::HeatmapBasic,
     heatmapFrame({1, 90, 3, 4}, shape({2, 3})),
     0,
     {},
     {"Frame shape 2 x 3 doesn't fit its 4 values"}},
};
INSTANTIATE_TEST_SUITE_P(Heatmap, Decoding, ::testing::ValuesIn(heatmapCases), Vantrel::Test::RowName());

std::vector<uint8_t> presenceFrame()
{
    return humanPresenceFrame({1, 2, 0, 50});
}

std::vector<uint8_t> withSizePrefix(std::vector<uint8_t> frame, uint32_t prefix)
{
    std::memcpy(frame.data(), &prefix, sizeof prefix);
    return frame;
}

std::vector<uint8_t> withTrailingBytes(std::vector<uint8_t> frame, size_t count)
{
    frame.insert(frame.end(), count, 0xAB);
    return frame;
}

std::vector<uint8_t> withoutLastByte(std::vector<uint8_t> frame)
{
    frame.pop_back();
    return frame;
}

QString notValid(uint32_t outputId, size_t length)
{
    return QStringLiteral("Output frame %1 of %2 bytes is not a valid frame; not decoded")
        .arg(outputId, 8, 16, QLatin1Char('0'))
        .arg(length);
}

// The size prefix is not read: only the tables from byte 4 to the given length count.
const std::vector<DecodeCase> sizePrefixCases = {
    {"trailingBytesAfterTheFrame",
     Output::HumanPresenceA,
     withTrailingBytes(presenceFrame(), 3),
     0,
     {hpd(true, 200, 50)},
     {}},
    {"prefixBeyondTheLength",
     Output::HumanPresenceA,
     withSizePrefix(presenceFrame(), 100000),
     0,
     {hpd(true, 200, 50)},
     {}},
    {"tablesCutShort",
     Output::HumanPresenceA,
     withoutLastByte(presenceFrame()),
     -1,
     {},
     {notValid(Output::HumanPresenceA, presenceFrame().size() - 1)}},
};
INSTANTIATE_TEST_SUITE_P(SizePrefix, Decoding, ::testing::ValuesIn(sizePrefixCases), Vantrel::Test::RowName());

// A frame the verifier refuses answers -1 only where a presence decoder would have run.
std::vector<DecodeCase> unreadableFrameCases()
{
    const struct
    {
        const char *name;
        uint32_t outputId;
        bool reportsPresence;
    } outputs[] = {
        {"heatmapBasic", Output::HeatmapBasic, false},
        {"profileAndPresenceA", Output::ProfileAndPresenceA, true},
        {"profileAndPresenceB", Output::ProfileAndPresenceB, true},
        {"profileAndPresenceC", Output::ProfileAndPresenceC, true},
        {"proximityFast", Output::ProximityFast, false},
        {"powerDataA", Output::PowerDataA, false},
        {"powerDataB", Output::PowerDataB, false},
        {"presenceProfile", Output::PresenceProfile, true},
        {"proximityFixed", Output::ProximityFixed, false},
        {"proximitySlow", Output::ProximitySlow, false},
        {"rangeProfile", Output::RangeProfile, false},
        {"proximitySlowAndStatistics", Output::ProximitySlowAndStatistics, false},
        {"humanPresenceA", Output::HumanPresenceA, true},
        {"humanPresenceB", Output::HumanPresenceB, true},
        {"presence3", Output::Presence3, true},
    };
    const std::vector<uint8_t> broken(16, 0xFF);
    std::vector<DecodeCase> cases;
    for (const auto &output : outputs)
        cases.push_back({output.name,
                         output.outputId,
                         broken,
                         output.reportsPresence ? -1 : 0,
                         {},
                         {notValid(output.outputId, broken.size())}});
    return cases;
}
INSTANTIATE_TEST_SUITE_P(UnreadableFrame, Decoding, ::testing::ValuesIn(unreadableFrameCases()),
                         Vantrel::Test::RowName());

const std::vector<DecodeCase> otherCases = {
    {"unknownId", 0x12345678, presenceFrame(), 0, {}, {}},
    {"unknownIdIsNotInspected", 0x12345678, std::vector<uint8_t>{1, 2, 3}, 0, {}, {}},
    {"emptyFrame", Output::ProximityFast, std::vector<uint8_t>{}, 0, {}, {notValid(Output::ProximityFast, 0)}},
    {"emptyPresenceFrame",
     Output::HumanPresenceA,
     std::vector<uint8_t>{},
     -1,
     {},
     {notValid(Output::HumanPresenceA, 0)}},
};
INSTANTIATE_TEST_SUITE_P(Other, Decoding, ::testing::ValuesIn(otherCases), Vantrel::Test::RowName());

TEST(Alignment, AFrameAtAnOddAddressDecodesLikeAnAlignedOne)
{
    const std::vector<uint8_t> frame = proximityFrame({1.0f, 0, 0.5f, 2.0f, 0, 0.25f}, shape({2, 3}));
    std::vector<uint8_t> shifted(frame.size() + 1);
    std::copy(frame.begin(), frame.end(), shifted.begin() + 1);

    const QStringList aligned = decodedInSignalOrder(Output::ProximityFast, frame.data(), frame.size());

    EXPECT_EQ(aligned.size(), 3);
    EXPECT_EQ(decodedInSignalOrder(Output::ProximityFast, shifted.data() + 1, frame.size()), aligned);
}

// A raw stream carries no output ids: its readers tell a frame's kind from its contents.
TEST(Recognition, EverySampleFrameReadsAsItsOwnKind)
{
    for (const Fixtures::SampleFrame &sample : Fixtures::sampleFrames()) {
        ASSERT_TRUE(FrameReader::verify(sample.bytes.data(), sample.bytes.size())) << sample.kind;
        const uint32_t id = FrameDecoder::recognize(*FrameReader::root(sample.bytes.data()));
        ASSERT_NE(FrameDecoder::kind(id), nullptr) << sample.kind;
        EXPECT_STREQ(FrameDecoder::kind(id), FrameDecoder::kind(sample.outputId)) << sample.kind;
    }
    const std::vector<uint8_t> unknown = singleSignalFrame(0x12345678, {Fixtures::int32Array(1, {1})});
    EXPECT_EQ(FrameDecoder::recognize(*FrameReader::root(unknown.data())), 0u);
}

TEST(Recognition, EachKindNamesTheOutputsDecodedAlike)
{
    const QStringList kinds = FrameDecoder::kinds();
    EXPECT_EQ(kinds.size(), 11);
    for (const QString &kind : kinds)
        EXPECT_EQ(QLatin1String(FrameDecoder::kind(FrameDecoder::outputIdOf(kind))), kind);
    EXPECT_STREQ(FrameDecoder::kind(Output::HumanPresenceB), "human-presence");
    EXPECT_EQ(FrameDecoder::outputIdOf(QStringLiteral("presence")), 0u);
    EXPECT_EQ(FrameDecoder::kind(0x12345678), nullptr);
}

} // namespace
} // namespace Vantrel
