#include "emissionlog.h"
#include "framebuilder.h"
#include "framedecoder.h"
#include "logcapture.h"
#include "weavegraphrunner.h"

#include <QSignalSpy>

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

// Keys as the runtime writes them.
constexpr uint32_t HumanPresenceSignal = 0xFA107E6E;
constexpr uint32_t Presence3Signal = 0x67A67D15;
constexpr uint32_t TargetSignal = 0xBFC1474D;
constexpr uint32_t HumanPresenceArray = 0xB1533373;
constexpr uint32_t PresenceSingleArray = 0x65C61065;
constexpr uint32_t PresenceConfidenceArray = 0xA4103235;
constexpr uint32_t ProximityRows = 0x8F62835F;
constexpr uint32_t ProximityFixedRows = 0x2BFEBE3C;
constexpr uint32_t FirstStatistic = 0x36861F89;
constexpr uint32_t SecondStatistic = 0x7E52E461;
constexpr uint32_t ProfileRanges = 0xFDDB53F4;
constexpr uint32_t Threshold = 0xC5385153;
constexpr uint32_t PowerLevels = 0xD0B6792E;
constexpr uint32_t Ranges = 0x4A22826E;
constexpr uint32_t PowerValues = 0x42B174A8;
constexpr uint32_t EffectiveRange = 0xCBFD006C;
constexpr uint32_t Distance = 0xC2F00DD7;
constexpr uint32_t HeatmapRows = 0x5F460FC2;

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

std::vector<uint16_t> shape(std::initializer_list<uint16_t> dims)
{
    return dims;
}

// Bin positions of the presence profile, 17 to 31, in centimetres.
const float BinPositions[15] = {6.88f,  14.02f, 21.16f, 28.3f,  35.44f, 42.58f, 49.72f, 56.86f,
                                64.0f,  71.14f, 78.28f, 85.42f, 92.56f, 99.7f,  106.84f};

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
    QStringList events; // after the raw frame
    QStringList warnings;
};

void PrintTo(const DecodeCase &c, std::ostream *out)
{
    *out << c.name;
}

class Decoding : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(Decoding, PublishesTheRawFrameThenTheDecodedSignals)
{
    const DecodeCase &c = GetParam();
    WeaveGraphRunner runner;
    Fixtures::EmissionLog log(runner);
    LogCapture messages;

    const int status = FrameDecoder(runner).onFrame(c.outputId, c.frame.data(), static_cast<int32_t>(c.frame.size()));

    const QStringList expected =
        QStringList{QStringLiteral("raw %1 %2").arg(c.outputId, 8, 16, QLatin1Char('0')).arg(c.frame.size())}
        + c.events;
    EXPECT_EQ(log.entries, expected);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(messages.texts(QtWarningMsg), c.warnings);
}

const std::vector<DecodeCase> presenceCases = {
    {"humanPresenceInSinglePrecision", 0xCE4599EC,
     // 16777217 becomes 16777216 as a float; in double precision the distance would end in 700.
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {1, 16777217, 0, 80})}), 0,
     {hpd(true, 1677721600u, 80)}, {}},
    {"humanPresenceNegativeDistanceAndConfidence", 0xEC4C60BA,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, -5, 0, -1})}), 0,
     {hpd(false, 0, 4294967295u)}, {}},
    {"humanPresenceWithoutSignal", 0xCE4599EC,
     singleSignalFrame(TargetSignal, {Fixtures::int32Array(HumanPresenceArray, {1, 1, 0, 1})}), -1, {},
     {"No SIGNAL_SEMANTIC_HUMAN_PRESENCE found"}},
    {"humanPresenceWithoutArray", 0xCE4599EC,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(Distance, {1, 1, 0, 1})}), -1, {},
     {"No array ARRAY_SEMANTIC_HUMAN_PRESENCE found"}},
    {"humanPresenceWithFloatsOnly", 0xEC4C60BA,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::floatArray(HumanPresenceArray, {1, 1, 0, 1})}), -1, {},
     {"No array ARRAY_SEMANTIC_HUMAN_PRESENCE found"}},
    {"humanPresenceTooShort", 0xEC4C60BA,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {1, 1, 0})}), -1, {},
     {"Array ARRAY_SEMANTIC_HUMAN_PRESENCE holds 3 values, expected at least 4"}},
    {"presence3InSinglePrecision", 0xE40C906F,
     // 1.037f times 1000 is 1036.99994 in double precision but rounds to 1037 as a float.
     singleSignalFrame(Presence3Signal, {Fixtures::floatArray(PresenceSingleArray, {9, 9, 1.037f, 1}),
                                         Fixtures::floatArray(PresenceConfidenceArray, {87.9f})}),
     0, {hpd(true, 1037, 87)}, {}},
    {"presence3NaNStateIsPresentAndNaNConfidenceIsZero", 0xE40C906F,
     singleSignalFrame(Presence3Signal, {Fixtures::floatArray(PresenceSingleArray, {0, 0, -2.0f, NaN}),
                                         Fixtures::floatArray(PresenceConfidenceArray, {NaN})}),
     0, {hpd(true, 0, 0)}, {}},
    {"presence3SaturatesLargeValues", 0xE40C906F,
     singleSignalFrame(Presence3Signal, {Fixtures::floatArray(PresenceSingleArray, {0, 0, 5e6f, 0}),
                                         Fixtures::floatArray(PresenceConfidenceArray, {-3.0f})}),
     0, {hpd(false, 4294967295u, 0)}, {}},
    {"presence3WithoutSignal", 0xE40C906F,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::floatArray(PresenceSingleArray, {0, 0, 0, 0})}), -1, {},
     {"No SIGNAL_SEMANTIC_PRESENCE3 found"}},
    {"presence3WithoutPresenceArray", 0xE40C906F,
     singleSignalFrame(Presence3Signal, {Fixtures::floatArray(PresenceConfidenceArray, {1})}), -1, {},
     {"No array ARRAY_SEMANTIC_PRESENCESINGLE found"}},
    {"presence3WithoutConfidenceArray", 0xE40C906F,
     singleSignalFrame(Presence3Signal, {Fixtures::floatArray(PresenceSingleArray, {0, 0, 0, 0})}), -1, {},
     {"No array ARRAY_SEMANTIC_PRESENCE_CONFIDENCE found"}},
    {"presence3EmptyConfidence", 0xE40C906F,
     singleSignalFrame(Presence3Signal, {Fixtures::floatArray(PresenceSingleArray, {0, 0, 0, 0}),
                                         Fixtures::floatArray(PresenceConfidenceArray, {})}),
     -1, {}, {"Array ARRAY_SEMANTIC_PRESENCE_CONFIDENCE holds 0 values, expected at least 1"}},
};
INSTANTIATE_TEST_SUITE_P(Presence, Decoding, ::testing::ValuesIn(presenceCases),
                         [](const auto &info) { return std::string(info.param.name); });

const std::vector<DecodeCase> profileCases = {
    {"presentReplacesItsBin", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {9, 1, 20, 9, 1000})}), 0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(3, 30.0f),
      "threshold " + profilePoints(-1, 0), hpd(true, 28, 100)},
     {}},
    {"absentKeepsEveryPointAtZero", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {9, 0, 25, 9, 1000})}), 0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 64, 100)},
     {}},
    {"lastBin", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 1, 31, 0, 10})}), 0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(14, 10.0f),
      "threshold " + profilePoints(-1, 0), hpd(true, 106, 100)},
     {}},
    {"binBelowTheProfile", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 1, 16, 0, 10})}), -1, {},
     {"Presence profile bin 16 is outside 17 to 31"}},
    {"binAboveTheProfile", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 1, 32, 0, 10})}), -1, {},
     {"Presence profile bin 32 is outside 17 to 31"}},
    {"negativeBin", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 1, -1, 0, 10})}), -1, {},
     {"Presence profile bin 4294967295 is outside 17 to 31"}},
    // Without presence the bin only sets the distance, so any bin is reported.
    {"absentWithBinAboveTheProfile", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 0, 32, 0, 10})}), 0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 113, 100)},
     {}},
    {"absentWithBinBelowTheProfile", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 0, 3, 0, 10})}), 0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 0, 100)},
     {}},
    {"absentWithNegativeBin", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 0, -1, 0, 10})}), 0,
     {QStringLiteral("range %1 %2 15").arg(num(6.88f), num(106.84f)), "powerPoints " + profilePoints(-1, 0),
      "threshold " + profilePoints(-1, 0), hpd(false, 4294967295u, 100)},
     {}},
    {"tooShort", 0x2D1B1A98,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 1, 20, 0})}), -1, {},
     {"Array ARRAY_SEMANTIC_HUMAN_PRESENCE holds 4 values, expected at least 5"}},
    {"withoutSignal", 0x2D1B1A98, singleSignalFrame(Presence3Signal, {}), -1, {},
     {"No SIGNAL_SEMANTIC_HUMAN_PRESENCE found"}},
};
INSTANTIATE_TEST_SUITE_P(PresenceProfile, Decoding, ::testing::ValuesIn(profileCases),
                         [](const auto &info) { return std::string(info.param.name); });

std::vector<uint8_t> proximityFrame(std::vector<float> values, std::optional<std::vector<uint16_t>> dims,
                                    std::vector<ArraySpec> more = {})
{
    more.insert(more.begin(), Fixtures::floatArray(ProximityRows, std::move(values), std::move(dims)));
    return singleSignalFrame(TargetSignal, std::move(more));
}

const std::vector<DecodeCase> proximityCases = {
    {"fastRowsWithPresenceFromTheFirst", 0x25D81213,
     // 1.037f * 1000 in double precision is just below 1037.
     proximityFrame({1.037f, 99, 0.25f, 2.0f, 99, -0.5f}, shape({2, 3})), 0,
     {proximity(0, 1.037f, 0.25f), hpd(true, 1036, 0), proximity(0, 2.0f, -0.5f)}, {}},
    {"slowRowsWithWiderStride", 0x7B9595C4, proximityFrame({3.0f, 0, 0.5f, 77, 4.0f, 0, 1.5f, 77}, shape({2, 4})), 0,
     {proximity(1, 3.0f, 0.5f), hpd(true, 3000, 0), proximity(1, 4.0f, 1.5f)}, {}},
    {"zeroRows", 0x25D81213, proximityFrame({}, shape({0, 3})), 0, {proximity(0, 0, 0), hpd(false, 0, 0)}, {}},
    {"zeroRowsSlow", 0x7B9595C4, proximityFrame({}, shape({0, 3})), 0, {proximity(1, 0, 0), hpd(false, 0, 0)}, {}},
    {"nanRowsAreSkipped", 0x25D81213,
     proximityFrame({NaN, 0, 0.1f, 1.0f, 0, NaN, 2.5f, 0, 0.75f, 3.0f, 0, 1.0f}, shape({4, 3})), 0,
     {proximity(0, 2.5f, 0.75f), hpd(true, 2500, 0), proximity(0, 3.0f, 1.0f)}, {}},
    {"allRowsNaN", 0x25D81213, proximityFrame({NaN, 0, 0, 1.0f, 0, NaN}, shape({2, 3})), 0, {}, {}},
    {"negativeRangeGivesZeroDistance", 0x25D81213, proximityFrame({-1.0f, 0, 0}, shape({1, 3})), 0,
     {proximity(0, -1.0f, 0), hpd(true, 0, 0)}, {}},
    {"withoutShape", 0x25D81213, proximityFrame({1, 2, 3}, std::nullopt), 0, {}, {"Frame doesn't have shape"}},
    {"threeDimensions", 0x7B9595C4, proximityFrame({1, 2, 3}, shape({1, 3, 1})), 0, {},
     {"Unexpected shape size. Expected: 2, actual: 3"}},
    {"rowsPastTheValues", 0x25D81213, proximityFrame({1, 2, 3, 4, 5, 6}, shape({3, 3})), 0, {},
     {"Frame shape 3 x 3 doesn't fit its 6 values"}},
    {"rowsNarrowerThanARow", 0x25D81213, proximityFrame({1, 2, 3, 4}, shape({2, 2})), 0, {},
     {"Frame shape 2 x 2 doesn't fit its 4 values"}},
    {"withoutRowsArray", 0x25D81213, singleSignalFrame(TargetSignal, {}), 0, {}, {}},
    {"slowRowsThenStatistics", 0xAF4D52A1,
     proximityFrame({1.0f, 0, 0.5f}, shape({1, 3}),
                    {Fixtures::floatArray(FirstStatistic, {0.125f, 9}), Fixtures::floatArray(SecondStatistic, {-2.5f})}),
     0, {proximity(1, 1.0f, 0.5f), hpd(true, 1000, 0), "statistics 0.125 -2.5"}, {}},
    {"statisticsWithoutSecond", 0xAF4D52A1,
     proximityFrame({1.0f, 0, 0.5f}, shape({1, 3}), {Fixtures::floatArray(FirstStatistic, {0.125f})}), 0,
     {proximity(1, 1.0f, 0.5f), hpd(true, 1000, 0)}, {}},
    {"statisticsAfterBadShape", 0xAF4D52A1,
     proximityFrame({1.0f, 0, 0.5f}, shape({3}),
                    {Fixtures::floatArray(FirstStatistic, {1}), Fixtures::floatArray(SecondStatistic, {2})}),
     0, {"statistics 1 2"}, {"Unexpected shape size. Expected: 2, actual: 1"}},
};
INSTANTIATE_TEST_SUITE_P(Proximity, Decoding, ::testing::ValuesIn(proximityCases),
                         [](const auto &info) { return std::string(info.param.name); });

std::vector<uint8_t> fixedFrame(std::vector<int16_t> values, std::optional<std::vector<uint16_t>> dims)
{
    return singleSignalFrame(HumanPresenceSignal,
                             {Fixtures::int16Array(ProximityFixedRows, std::move(values), std::move(dims))});
}

const std::vector<DecodeCase> fixedProximityCases = {
    {"rowsInHundredths", 0x3A9F8F01, fixedFrame({1, 150, -25, -3, 0, 300, 50, 9}, shape({2, 4})), 0,
     {proximity(0, 1.5f, -0.25f), hpd(true, 0, 4294967293u), proximity(0, 3.0f, 0.5f)}, {}},
    {"firstRowAbsent", 0x3A9F8F01, fixedFrame({0, 1, 2, 40, 5, 1, 1, 1}, shape({1, 8})), 0,
     {proximity(0, 0.01f, 0.02f), hpd(false, 0, 40)}, {}},
    {"zeroRows", 0x3A9F8F01, fixedFrame({}, shape({0, 4})), 0, {proximity(0, 0, 0), hpd(false, 0, 0)}, {}},
    {"rowNarrowerThanFourValues", 0x3A9F8F01, fixedFrame({1, 2, 3, 4, 5, 6}, shape({2, 3})), 0, {},
     {"Frame shape 2 x 3 doesn't fit its 6 values"}},
    {"withoutShape", 0x3A9F8F01, fixedFrame({1, 2, 3, 4}, std::nullopt), 0, {}, {"Frame doesn't have shape"}},
};
INSTANTIATE_TEST_SUITE_P(FixedProximity, Decoding, ::testing::ValuesIn(fixedProximityCases),
                         [](const auto &info) { return std::string(info.param.name); });

std::vector<uint8_t> profileFrame(std::vector<float> ranges, std::optional<std::vector<float>> threshold,
                                  std::optional<std::vector<float>> power)
{
    std::vector<ArraySpec> arrays{Fixtures::floatArray(ProfileRanges, std::move(ranges))};
    if (threshold)
        arrays.push_back(Fixtures::floatArray(Threshold, std::move(*threshold)));
    if (power)
        arrays.push_back(Fixtures::floatArray(PowerLevels, std::move(*power)));
    return singleSignalFrame(TargetSignal, std::move(arrays));
}

const std::vector<DecodeCase> rangeProfileCases = {
    {"leadingNegativeRangesShiftTheLevels", 0x7CA17FFA,
     profileFrame({-0.2f, -0.1f, 0.5f, 1.0f}, std::vector<float>{1e6f, 1e6f, 10, 100},
                  std::vector<float>{1e6f, 1e6f, 1000, 10000}),
     0, {"range 50 100 2", "threshold [(50,10);(100,20)]", "powerPoints [(50,30);(100,40)]"}, {}},
    {"nanRangeCountsAsNegative", 0x7CA17FFA,
     profileFrame({NaN, 0.0f, 0.25f}, std::vector<float>{1e6f, 1, 10}, std::vector<float>{1e6f, 100, 1000}), 0,
     {"range 0 25 2", "threshold [(0,0);(25,10)]", "powerPoints [(0,20);(25,30)]"}, {}},
    {"rangesRoundedToSinglePrecision", 0x7CA17FFA,
     // 0.3f * 100 is 30.0000012 in double precision and 30.0000019 once stored as a float.
     profileFrame({0.3f}, std::vector<float>{1000}, std::vector<float>{0.1f}), 0,
     {"range 30.0000019 30.0000019 1", "threshold [(30.0000019,30)]", "powerPoints [(30.0000019,-9.99999994)]"}, {}},
    {"allNegative", 0x7CA17FFA, profileFrame({-1, -2}, std::vector<float>{1, 1}, std::vector<float>{1, 1}), 0, {},
     {}},
    {"withoutThreshold", 0x7CA17FFA, profileFrame({1}, std::nullopt, std::vector<float>{1}), 0, {}, {}},
    {"withoutPower", 0x7CA17FFA, profileFrame({1}, std::vector<float>{1}, std::nullopt), 0, {}, {}},
    {"levelsShorterThanRanges", 0x7CA17FFA,
     profileFrame({-1, 1, 2}, std::vector<float>{1, 1}, std::vector<float>{1, 1, 1}), 0, {}, {}},
    {"withPresenceAfterTheProfile", 0x23E70800,
     twoSignalFrame(SignalSpec{TargetSignal, std::vector<ArraySpec>{Fixtures::floatArray(ProfileRanges, {0.5f}),
                                                                    Fixtures::floatArray(Threshold, {10}),
                                                                    Fixtures::floatArray(PowerLevels, {100})}},
                    SignalSpec{HumanPresenceSignal,
                               std::vector<ArraySpec>{Fixtures::int32Array(HumanPresenceArray, {1, 2, 0, 50})}}),
     0, {"range 50 50 1", "threshold [(50,10)]", "powerPoints [(50,20)]", hpd(true, 200, 50)}, {}},
    {"profileKeptWhenPresenceIsMissing", 0x4CC44127,
     profileFrame({0.5f}, std::vector<float>{10}, std::vector<float>{100}), -1,
     {"range 50 50 1", "threshold [(50,10)]", "powerPoints [(50,20)]"}, {"No SIGNAL_SEMANTIC_HUMAN_PRESENCE found"}},
    {"presenceWithoutProfile", 0xD45D6362,
     singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {0, 0, 0, 0})}), 0,
     {hpd(false, 0, 0)}, {}},
};
INSTANTIATE_TEST_SUITE_P(RangeProfile, Decoding, ::testing::ValuesIn(rangeProfileCases),
                         [](const auto &info) { return std::string(info.param.name); });

std::vector<uint8_t> powerFrame(std::vector<int16_t> ranges, std::vector<uint32_t> power,
                                std::vector<uint16_t> threshold, std::vector<int16_t> effectiveRange,
                                std::vector<int32_t> distance)
{
    return singleSignalFrame(HumanPresenceSignal,
                             {Fixtures::int16Array(Ranges, std::move(ranges)), Fixtures::uint32Array(PowerValues, std::move(power)),
                              Fixtures::uint16Array(Threshold, std::move(threshold)),
                              Fixtures::int16Array(EffectiveRange, std::move(effectiveRange)),
                              Fixtures::int32Array(Distance, std::move(distance))});
}

const std::vector<DecodeCase> powerCases = {
    {"widenedAndSignExtended", 0x2A556650, powerFrame({-5, 10}, {100, 4000000000u}, {65535, 7}, {-3}, {99, -157}),
     0, {"power [100,4000000000] [65535,7] [4294967291,10] 4294967293 4294967281"}, {}},
    {"otherId", 0x769537BE, powerFrame({1}, {2}, {3}, {4}, {0, 159}), 0, {"power [2] [3] [1] 4 15"}, {}},
    {"lengthMismatch", 0x2A556650, powerFrame({1, 2}, {1, 2}, {1}, {4}, {0, 5}), 0, {}, {}},
    {"twoEffectiveRanges", 0x2A556650, powerFrame({1}, {2}, {3}, {4, 5}, {0, 5}), 0, {}, {}},
    {"oneDistanceValue", 0x2A556650, powerFrame({1}, {2}, {3}, {4}, {5}), 0, {}, {}},
};
INSTANTIATE_TEST_SUITE_P(PowerData, Decoding, ::testing::ValuesIn(powerCases),
                         [](const auto &info) { return std::string(info.param.name); });

std::vector<uint8_t> heatmapFrame(std::vector<int32_t> values, std::optional<std::vector<uint16_t>> dims)
{
    return singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HeatmapRows, std::move(values), std::move(dims))});
}

const std::vector<DecodeCase> heatmapCases = {
    {"oneRecordPerRow", 0x07BD8EC3, heatmapFrame({1, 90, 3, -1, 0, 10, 4, -1}, shape({2, 4})), 0,
     {"heatmap 1 90 3", "heatmap 0 10 4"}, {}},
    {"zeroRowsHaveNoRecords", 0x07BD8EC3, heatmapFrame({1, 90, 3}, shape({0, 3})), 0, {}, {}},
    {"threeDimensions", 0x07BD8EC3, heatmapFrame({1, 90, 3}, shape({1, 3, 1})), 0, {},
     {"Unexpected shape size. Expected: 2, actual: 3"}},
    {"rowsPastTheValues", 0x07BD8EC3, heatmapFrame({1, 90, 3, 4}, shape({2, 3})), 0, {},
     {"Frame shape 2 x 3 doesn't fit its 4 values"}},
};
INSTANTIATE_TEST_SUITE_P(Heatmap, Decoding, ::testing::ValuesIn(heatmapCases),
                         [](const auto &info) { return std::string(info.param.name); });

std::vector<uint8_t> presenceFrame()
{
    return singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {1, 2, 0, 50})});
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
    {"trailingBytesAfterTheFrame", 0xCE4599EC, withTrailingBytes(presenceFrame(), 3), 0, {hpd(true, 200, 50)}, {}},
    {"prefixBeyondTheLength", 0xCE4599EC, withSizePrefix(presenceFrame(), 100000), 0, {hpd(true, 200, 50)}, {}},
    {"tablesCutShort", 0xCE4599EC, withoutLastByte(presenceFrame()), -1, {},
     {notValid(0xCE4599EC, presenceFrame().size() - 1)}},
};
INSTANTIATE_TEST_SUITE_P(SizePrefix, Decoding, ::testing::ValuesIn(sizePrefixCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A frame the verifier refuses answers -1 only where a presence decoder would have run.
std::vector<DecodeCase> unreadableFrameCases()
{
    const struct
    {
        const char *name;
        uint32_t outputId;
        bool reportsPresence;
    } outputs[] = {
        {"heatmapBasic", 0x07BD8EC3, false},       {"profileAndPresenceA", 0x23E70800, true},
        {"profileAndPresenceB", 0x4CC44127, true}, {"profileAndPresenceC", 0xD45D6362, true},
        {"proximityFast", 0x25D81213, false},      {"powerDataA", 0x2A556650, false},
        {"powerDataB", 0x769537BE, false},         {"presenceProfile", 0x2D1B1A98, true},
        {"proximityFixed", 0x3A9F8F01, false},     {"proximitySlow", 0x7B9595C4, false},
        {"rangeProfile", 0x7CA17FFA, false},       {"proximitySlowAndStatistics", 0xAF4D52A1, false},
        {"humanPresenceA", 0xCE4599EC, true},      {"humanPresenceB", 0xEC4C60BA, true},
        {"presence3", 0xE40C906F, true},
    };
    const std::vector<uint8_t> broken(16, 0xFF);
    std::vector<DecodeCase> cases;
    for (const auto &output : outputs)
        cases.push_back({output.name, output.outputId, broken, output.reportsPresence ? -1 : 0, {},
                         {notValid(output.outputId, broken.size())}});
    return cases;
}
INSTANTIATE_TEST_SUITE_P(UnreadableFrame, Decoding, ::testing::ValuesIn(unreadableFrameCases()),
                         [](const auto &info) { return std::string(info.param.name); });

const std::vector<DecodeCase> otherCases = {
    {"unknownId", 0x12345678, presenceFrame(), 0, {}, {}},
    {"unknownIdIsNotInspected", 0x12345678, std::vector<uint8_t>{1, 2, 3}, 0, {}, {}},
    {"emptyFrame", 0x25D81213, std::vector<uint8_t>{}, 0, {}, {notValid(0x25D81213, 0)}},
    {"emptyPresenceFrame", 0xCE4599EC, std::vector<uint8_t>{}, -1, {}, {notValid(0xCE4599EC, 0)}},
};
INSTANTIATE_TEST_SUITE_P(Other, Decoding, ::testing::ValuesIn(otherCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RawData, IsAnExactCopyOfTheWholeFrame)
{
    WeaveGraphRunner runner;
    QSignalSpy spy(&runner, &WeaveGraphRunner::newRawData);
    const std::vector<uint8_t> frame =
        singleSignalFrame(HumanPresenceSignal, {Fixtures::int32Array(HumanPresenceArray, {1, 2, 3, 4})});

    FrameDecoder(runner).onFrame(0xCE4599EC, frame.data(), static_cast<int32_t>(frame.size()));

    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<uint32_t>(), 0xCE4599ECu);
    EXPECT_EQ(spy.at(0).at(1).value<std::vector<uint8_t>>(), frame);
}

TEST(Alignment, AFrameAtAnOddAddressDecodesLikeAnAlignedOne)
{
    const std::vector<uint8_t> frame = proximityFrame({1.0f, 0, 0.5f, 2.0f, 0, 0.25f}, shape({2, 3}));
    std::vector<uint8_t> shifted(frame.size() + 1);
    std::copy(frame.begin(), frame.end(), shifted.begin() + 1);

    WeaveGraphRunner runner;
    Fixtures::EmissionLog aligned(runner);
    FrameDecoder(runner).onFrame(0x25D81213, frame.data(), static_cast<int32_t>(frame.size()));
    WeaveGraphRunner otherRunner;
    Fixtures::EmissionLog odd(otherRunner);
    FrameDecoder(otherRunner).onFrame(0x25D81213, shifted.data() + 1, static_cast<int32_t>(frame.size()));

    EXPECT_EQ(aligned.entries.size(), 4);
    EXPECT_EQ(odd.entries, aligned.entries);
}

TEST(Decoding, ANegativeLengthIsAnEmptyFrame)
{
    WeaveGraphRunner runner;
    Fixtures::EmissionLog log(runner);
    LogCapture messages;
    const uint8_t byte = 0;
    EXPECT_EQ(FrameDecoder(runner).onFrame(0x12345678, &byte, -5), 0);
    EXPECT_EQ(log.entries, QStringList{"raw 12345678 0"});
}

} // namespace
} // namespace Vantrel
