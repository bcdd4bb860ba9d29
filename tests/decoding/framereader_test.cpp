#include "decoding/framereader.h"
#include "tests/support/tablerows.h"
#include "tests/support/testframebuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace Vantrel {
namespace {

using Fixtures::ArraySpec;
using Fixtures::buildFrame;
using Fixtures::FrameSpec;
using Fixtures::SignalSpec;

// Each signal is told apart by the key of its one array.
SignalSpec markedSignal(std::optional<uint32_t> key, uint32_t marker)
{
    return SignalSpec{key, std::vector<ArraySpec>{Fixtures::int32Array(marker, {1})}};
}

std::vector<uint8_t> frameOf(std::optional<std::vector<SignalSpec>> signals)
{
    FrameSpec layout;
    layout.signals = std::move(signals);
    return buildFrame(layout);
}

uint32_t markerOf(const Frames::Signal &signal)
{
    return signal.arrays()->Get(0)->semantic();
}

using Vantrel::Test::operator<<;

struct SignalCase
{
    const char *name;
    std::optional<std::vector<SignalSpec>> signals;
    uint32_t key;
    uint32_t expectedMarker; // 0: no signal expected
};

class FindSignal : public ::testing::TestWithParam<SignalCase>
{};

TEST_P(FindSignal, FindsTheFirstMatchInStoredOrder)
{
    const SignalCase &c = GetParam();
    const std::vector<uint8_t> bytes = frameOf(c.signals);
    ASSERT_TRUE(FrameReader::verify(bytes.data(), bytes.size()));

    const Frames::Signal *signal = FrameReader::findSignal(*FrameReader::root(bytes.data()), c.key);
    if (c.expectedMarker == 0) {
        EXPECT_EQ(signal, nullptr);
    } else {
        ASSERT_NE(signal, nullptr);
        EXPECT_EQ(markerOf(*signal), c.expectedMarker);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindSignal,
    ::testing::Values(
        SignalCase{"twoWithSameKeyGiveTheFirst", std::vector<SignalSpec>{markedSignal(5, 11), markedSignal(5, 12)}, 5,
                   11},
        SignalCase{"laterSignalMatches", std::vector<SignalSpec>{markedSignal(4, 11), markedSignal(5, 12)}, 5, 12},
        SignalCase{"absentKeyMatchesZero", std::vector<SignalSpec>{markedSignal(std::nullopt, 11)}, 0, 11},
        SignalCase{"absentKeyDoesNotMatchOthers", std::vector<SignalSpec>{markedSignal(std::nullopt, 11)}, 1, 0},
        SignalCase{"comparesAllThirtyTwoBits", std::vector<SignalSpec>{markedSignal(0x80000005u, 11)}, 5, 0},
        SignalCase{"noMatch", std::vector<SignalSpec>{markedSignal(4, 11)}, 9, 0},
        SignalCase{"emptySignalList", std::vector<SignalSpec>{}, 0, 0}, SignalCase{"noSignalList", std::nullopt, 0, 0}),
    Vantrel::Test::RowName());

struct ArrayCase
{
    const char *name;
    std::optional<std::vector<ArraySpec>> arrays;
    uint32_t key;
    int32_t expectedFirstValue; // 0: no data expected
};

class FindArray : public ::testing::TestWithParam<ArrayCase>
{};

TEST_P(FindArray, FirstArrayWithTheKeyDecides)
{
    const ArrayCase &c = GetParam();
    const std::vector<uint8_t> bytes = frameOf(std::vector<SignalSpec>{SignalSpec{1, c.arrays}});
    ASSERT_TRUE(FrameReader::verify(bytes.data(), bytes.size()));

    const Frames::Signal *signal = FrameReader::findSignal(*FrameReader::root(bytes.data()), 1);
    ASSERT_NE(signal, nullptr);
    const Frames::ArrayData *data = FrameReader::findArray(*signal, c.key);
    if (c.expectedFirstValue == 0) {
        EXPECT_EQ(data, nullptr);
    } else {
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->int32Values()->Get(0), c.expectedFirstValue);
    }
}

ArraySpec withoutData(uint32_t key)
{
    ArraySpec layout{key};
    layout.hasData = false;
    return layout;
}

ArraySpec withoutKey(int32_t value)
{
    ArraySpec layout = Fixtures::int32Array(0, {value});
    layout.semantic.reset();
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindArray,
    ::testing::Values(ArrayCase{"twoWithSameKeyGiveTheFirst",
                                std::vector<ArraySpec>{Fixtures::int32Array(3, {31}), Fixtures::int32Array(3, {32})}, 3,
                                31},
                      ArrayCase{"arrayWithoutDataHidesLaterOne",
                                std::vector<ArraySpec>{withoutData(3), Fixtures::int32Array(3, {32})}, 3, 0},
                      ArrayCase{"arrayWithoutDataDoesNotHideOtherKeys",
                                std::vector<ArraySpec>{withoutData(3), Fixtures::int32Array(4, {42})}, 4, 42},
                      ArrayCase{"absentKeyMatchesZero", std::vector<ArraySpec>{withoutKey(17)}, 0, 17},
                      ArrayCase{"noMatch", std::vector<ArraySpec>{Fixtures::int32Array(3, {31})}, 8, 0},
                      ArrayCase{"noArrayList", std::nullopt, 0, 0}),
    Vantrel::Test::RowName());

TEST(FrameFields, AbsentFieldsReadAsDefaultsAndPresentOnesPassThrough)
{
    FrameSpec bare;
    const std::vector<uint8_t> bareBytes = buildFrame(bare);
    const Frames::Frame *bareFrame = FrameReader::root(bareBytes.data());
    EXPECT_EQ(bareFrame->sequenceNumber(), 0u);
    EXPECT_EQ(bareFrame->timestamp(), 0);

    FrameSpec full;
    full.sequenceNumber = 4000000000u;
    full.timestamp = -1234567890123;
    const std::vector<uint8_t> fullBytes = buildFrame(full);
    const Frames::Frame *fullFrame = FrameReader::root(fullBytes.data());
    EXPECT_EQ(fullFrame->sequenceNumber(), 4000000000u);
    EXPECT_EQ(fullFrame->timestamp(), -1234567890123);
}

TEST(TypedValues, EachElementTypeHasItsOwnVector)
{
    ArraySpec layout{1};
    layout.shape = std::vector<uint16_t>{2, 1};
    layout.uint32Values = std::vector<uint32_t>{4000000000u};
    layout.floatValues = std::vector<float>{1.5f, -2.5f};
    layout.int16Values = std::vector<int16_t>{-7};
    FrameSpec frame;
    frame.signals = std::vector<SignalSpec>{SignalSpec{2, std::vector<ArraySpec>{layout}}};
    const std::vector<uint8_t> bytes = buildFrame(frame);
    const Frames::ArrayData *data =
        FrameReader::findArray(*FrameReader::findSignal(*FrameReader::root(bytes.data()), 2), 1);
    ASSERT_NE(data, nullptr);

    ASSERT_NE(FrameReader::values<uint32_t>(*data), nullptr);
    EXPECT_EQ(FrameReader::values<uint32_t>(*data)->Get(0), 4000000000u);
    ASSERT_NE(FrameReader::values<float>(*data), nullptr);
    EXPECT_EQ(FrameReader::values<float>(*data)->Get(1), -2.5f);
    ASSERT_NE(FrameReader::values<int16_t>(*data), nullptr);
    EXPECT_EQ(FrameReader::values<int16_t>(*data)->Get(0), -7);
    EXPECT_EQ(FrameReader::values<int32_t>(*data), nullptr);
    EXPECT_EQ(FrameReader::values<uint16_t>(*data), nullptr);
    ASSERT_NE(data->shape(), nullptr);
    EXPECT_EQ(data->shape()->size(), 2u);
}

// Damage applied to a valid frame before it is checked.
struct DamageCase
{
    const char *name;
    std::function<void(std::vector<uint8_t> &)> damage;
    bool valid;
};

class Verify : public ::testing::TestWithParam<DamageCase>
{};

TEST_P(Verify, AcceptsFramesWhoseTablesLieWithinTheBytes)
{
    std::vector<uint8_t> bytes =
        Fixtures::singleSignalFrame(1, {Fixtures::floatArray(2, {1.0f, 2.0f, 3.0f}, std::vector<uint16_t>{1, 3})});
    GetParam().damage(bytes);
    EXPECT_EQ(FrameReader::verify(bytes.data(), bytes.size()), GetParam().valid);
}

void setUint32(std::vector<uint8_t> &bytes, size_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

uint32_t uint32At(const std::vector<uint8_t> &bytes, size_t at)
{
    uint32_t value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// Moves every table 4 bytes further from the start, offsets kept consistent: sound as a layout, but the
// 8-byte timestamp is then misaligned in memory.
void shiftTablesByFour(std::vector<uint8_t> &bytes)
{
    const uint32_t rootOffset = uint32At(bytes, 4);
    bytes.insert(bytes.begin() + 8, 4, 0);
    setUint32(bytes, 0, static_cast<uint32_t>(bytes.size() - 4));
    setUint32(bytes, 4, rootOffset + 4);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Verify,
    ::testing::Values(
        DamageCase{"untouched", [](std::vector<uint8_t> &) {}, true},
        DamageCase{"lastByteCut", [](std::vector<uint8_t> &b) { b.pop_back(); }, false},
        // The prefix is not read: trailing bytes and a prefix of any value leave a sound frame sound.
        DamageCase{"trailingBytes", [](std::vector<uint8_t> &b) { b.insert(b.end(), 5, 0xAB); }, true},
        DamageCase{"sizePrefixBeyondTheLength", [](std::vector<uint8_t> &b) { setUint32(b, 0, 0xFFFFFFFFu); }, true},
        DamageCase{"sizePrefixZero", [](std::vector<uint8_t> &b) { setUint32(b, 0, 0); }, true},
        DamageCase{"rootOffsetOutside", [](std::vector<uint8_t> &b) { setUint32(b, 4, 0x7FFFFFF0u); }, false},
        DamageCase{"rootOffsetJustPastTheEnd",
                   [](std::vector<uint8_t> &b) { setUint32(b, 4, static_cast<uint32_t>(b.size() - 4)); }, false},
        DamageCase{"tablesMisalignedFromTheFrameStart", shiftTablesByFour, false},
        DamageCase{"onlyThePrefix", [](std::vector<uint8_t> &b) { b.resize(4); }, false},
        DamageCase{"empty", [](std::vector<uint8_t> &b) { b.clear(); }, false}),
    Vantrel::Test::RowName());

TEST(Verify, RejectsAVectorLengthThatRunsPastTheFrame)
{
    const std::vector<float> values{1.0f, 2.0f, 3.0f};
    std::vector<uint8_t> bytes = Fixtures::singleSignalFrame(1, {Fixtures::floatArray(2, values)});
    // The float vector's length word sits right before its elements.
    uint32_t three = 3;
    uint8_t pattern[sizeof three + sizeof(float)];
    std::memcpy(pattern, &three, sizeof three);
    std::memcpy(pattern + sizeof three, &values[0], sizeof(float));
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(pattern), std::end(pattern));
    ASSERT_NE(at, bytes.end());
    setUint32(bytes, static_cast<size_t>(at - bytes.begin()), 1000);
    EXPECT_FALSE(FrameReader::verify(bytes.data(), bytes.size()));
}

TEST(Verify, RejectsNoBytes)
{
    EXPECT_FALSE(FrameReader::verify(nullptr, 0));
}

} // namespace
} // namespace Vantrel
