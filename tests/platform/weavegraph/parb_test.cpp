// Parameter sets: the binary layout is checked whole, sets apply in order, and the build tool writes them.
#include "tests/support/tablerows.h"
#include "tests/platform/weavegraph/graphharness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

using namespace Vantrel::Tests;

namespace {

const std::string flow = "weaveflow 1\nrate 0\noutput human-presence\nscene present 10 2.0\nrun frames 1\n";

struct ParbCase
{
    const char *name;
    std::vector<uint8_t> bytes;
    int code;
    const char *message;
};

using Vantrel::Test::operator<<;

class StandinParbDecoding : public ::testing::TestWithParam<ParbCase>
{};

TEST_P(StandinParbDecoding, AnswersWithCodeAndMessage)
{
    const ParbCase &c = GetParam();
    GraphHarness harness;
    ASSERT_EQ(harness.parse(flow), 0);
    EXPECT_EQ(harness.setParameters(c.bytes), c.code);
    if (c.code != 0)
        EXPECT_TRUE(harness.logged(1, c.message)) << c.message;
    else
        EXPECT_FALSE(harness.logged(1, ""));
}

std::vector<uint8_t> good()
{
    return encodeParb({{keyFrameRate, 10}, {keyThreshold, 35}});
}

std::vector<uint8_t> mutate(std::vector<uint8_t> bytes, size_t at, uint8_t value)
{
    bytes.at(at) = value;
    return bytes;
}

std::vector<uint8_t> resized(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> manyEntries(size_t count)
{
    std::vector<ParbEntry> entries(count, ParbEntry{keyThreshold, 40});
    return encodeParb(entries);
}

const ParbCase parbCases[] = {
    {"Good", good(), 0, ""},
    {"EveryKey", encodeParb({{keyFrameRate, 0}, {keyThreshold, 100}, {keyMaxRange, 0.1f}, {keySource, 1}}), 0, ""},
    {"Empty", {}, 20, "too short"},
    {"ShorterThanHeader", {'W', 'G', 'P', 'B', 1, 0, 0}, 20, "too short"},
    {"BadMagic", mutate(good(), 0, 'X'), 20, "bad magic"},
    {"Version2", mutate(good(), 4, 2), 20, "unsupported parameter set version 2"},
    {"NoEntries", encodeParb({}), 20, "no entries"},
    {"TooManyEntries", manyEntries(65), 20, "more than 64"},
    {"CountTooHigh", mutate(good(), 6, 3), 20, "does not match"},
    {"OneByteMissing", resized(good(), good().size() - 1), 20, "does not match"},
    {"OneByteExtra", resized(good(), good().size() + 1), 20, "does not match"},
    {"ChecksumWrong", mutate(good(), good().size() - 1, good().back() ^ 0x40), 20, "checksum"},
    {"ValueBitFlipped", mutate(good(), 12, good()[12] ^ 1), 20, "checksum"},
    {"UnknownKey", encodeParb({{99, 1}}), 21, "unknown parameter key 99"},
    {"KeyZero", encodeParb({{0, 1}}), 21, "unknown parameter key 0"},
    {"RateTooHigh", encodeParb({{keyFrameRate, 1000.5f}}), 21, "frame-rate out of range"},
    {"RateNegative", encodeParb({{keyFrameRate, -1}}), 21, "frame-rate out of range"},
    {"RateNaN", encodeParb({{keyFrameRate, NAN}}), 21, "frame-rate out of range"},
    {"ThresholdInfinite", encodeParb({{keyThreshold, INFINITY}}), 21, "threshold out of range"},
    {"RangeZero", encodeParb({{keyMaxRange, 0}}), 21, "max-range out of range"},
    {"SourceTwo", encodeParb({{keySource, 2}}), 21, "source out of range"},
    {"SourceHalf", encodeParb({{keySource, 0.5f}}), 21, "simulation or module"},
    {"KeyTwice", encodeParb({{keyThreshold, 30}, {keyThreshold, 40}}), 21, "threshold given twice"},
};

INSTANTIATE_TEST_SUITE_P(Parbs, StandinParbDecoding, ::testing::ValuesIn(parbCases), Vantrel::Test::RowName());

// Whether the one simulated person (2 m away) is reported present after the given sets.
struct ApplyCase
{
    const char *name;
    std::vector<std::vector<uint8_t>> sets;
    bool present;
};

class StandinParbApplying : public ::testing::TestWithParam<ApplyCase>
{};

TEST_P(StandinParbApplying, ChangesWhatIsDetected)
{
    const ApplyCase &c = GetParam();
    GraphHarness harness;
    ASSERT_EQ(harness.parse(flow), 0);
    for (const auto &set : c.sets)
        harness.setParameters(set);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 1u);
    const std::vector<int32_t> values = humanPresenceValues(frames[0].bytes);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values[0] != 0, c.present);
}

const ApplyCase applyCases[] = {
    {"Defaults", {}, true},
    {"RangeBelowDistance", {encodeParb({{keyMaxRange, 1.5f}})}, false},
    {"LaterRangeWins", {encodeParb({{keyMaxRange, 1.5f}}), encodeParb({{keyMaxRange, 3}})}, true},
    {"LaterRangeWinsTheOtherWay", {encodeParb({{keyMaxRange, 3}}), encodeParb({{keyMaxRange, 1.5f}})}, false},
    // 2 m gives an echo of about 48 dB.
    {"ThresholdAboveEcho", {encodeParb({{keyThreshold, 50}})}, false},
    {"ThresholdBelowEcho", {encodeParb({{keyThreshold, 45}})}, true},
    {"RefusedSetChangesNothing", {encodeParb({{keyThreshold, 50}, {keyFrameRate, 5000}})}, true},
    {"ModuleStillSimulates", {encodeParb({{keySource, 1}})}, true},
};

INSTANTIATE_TEST_SUITE_P(Parbs, StandinParbApplying, ::testing::ValuesIn(applyCases), Vantrel::Test::RowName());

TEST(StandinParbApplying, FrameRatePacesTheRun)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse("weaveflow 1\nrate 0\noutput power\nrun frames 6\n"), 0);
    ASSERT_EQ(harness.setParameters(encodeParb({{keyFrameRate, 20}})), 0);
    ASSERT_EQ(harness.run(), 0);
    // Six frames at 20 Hz span 250 ms; unpaced they would take a few milliseconds.
    EXPECT_GE(harness.runSeconds(), 0.24);
}

TEST(StandinParbApplying, StagedRejectionHitsOnlyItsCall)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(flow + "reject parameters 2 43\n"), 0);
    EXPECT_EQ(harness.setParameters(good()), 0);
    EXPECT_EQ(harness.setParameters(good()), 43);
    EXPECT_TRUE(harness.logged(1, "parameter set 2 refused"));
    EXPECT_EQ(harness.setParameters(good()), 0);
    // A new flow starts counting again.
    ASSERT_EQ(harness.parse(flow + "reject parameters 1 44\n"), 0);
    EXPECT_EQ(harness.setParameters(good()), 44);
}

TEST(StandinParbApplying, NeedsAFlowFirst)
{
    GraphHarness harness;
    EXPECT_EQ(harness.setParameters(good()), 15);
    EXPECT_TRUE(harness.logged(1, "no flow"));
}

TEST(StandinParbApplying, NewFlowDropsAppliedSets)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(flow), 0);
    ASSERT_EQ(harness.setParameters(encodeParb({{keyMaxRange, 1}})), 0);
    ASSERT_EQ(harness.parse(flow), 0);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 1u);
    const std::vector<int32_t> values = humanPresenceValues(frames[0].bytes);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values[0], 1);
}

// The build tool: readable source in, the documented binary out; bad sources give status 1 and no file.
struct ToolCase
{
    const char *name;
    std::string source;
    std::vector<ParbEntry> expected; // empty: the tool must refuse
};

class StandinParbTool : public ::testing::TestWithParam<ToolCase>
{};

TEST_P(StandinParbTool, CompilesOrRefuses)
{
    const ToolCase &c = GetParam();
    const std::string dir = ::testing::TempDir();
    const std::string source = dir + "wg-tool-" + c.name + ".txt";
    const std::string output = dir + "wg-tool-" + c.name + ".parb";
    std::ofstream(source, std::ios::binary) << c.source;
    std::remove(output.c_str());
    const std::string command = std::string(WG_PARB_TOOL) + " " + source + " " + output + " 2>/dev/null";
    const int status = std::system(command.c_str());
    std::ifstream file(output, std::ios::binary);
    if (c.expected.empty()) {
        EXPECT_NE(status, 0);
        EXPECT_FALSE(file.good());
    } else {
        ASSERT_EQ(status, 0);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes, encodeParb(c.expected));
    }
    std::remove(source.c_str());
    std::remove(output.c_str());
}

const ToolCase toolCases[] = {
    {"AllKeys",
     "parb 1\n# comment\nframe-rate 20\nthreshold 42.5\nmax-range 3\nsource module\n",
     {{keyFrameRate, 20}, {keyThreshold, 42.5f}, {keyMaxRange, 3}, {keySource, 1}}},
    {"Simulation", "parb 1\nsource simulation\n", {{keySource, 0}}},
    {"NoHeader", "frame-rate 20\n", {}},
    {"WrongHeader", "parb 2\nframe-rate 20\n", {}},
    {"NoEntries", "parb 1\n", {}},
    {"UnknownKey", "parb 1\nspeed 3\n", {}},
    {"BadNumber", "parb 1\nthreshold loud\n", {}},
    {"OutOfRange", "parb 1\nmax-range 500\n", {}},
    {"BadSource", "parb 1\nsource usb\n", {}},
    {"ExtraWord", "parb 1\nthreshold 40 dB\n", {}},
    {"Twice", "parb 1\nthreshold 40\nthreshold 30\n", {}},
};

INSTANTIATE_TEST_SUITE_P(Tool, StandinParbTool, ::testing::ValuesIn(toolCases), Vantrel::Test::RowName());

TEST(StandinParbToolUsage, MissingArgumentsOrInput)
{
    EXPECT_NE(std::system((std::string(WG_PARB_TOOL) + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((std::string(WG_PARB_TOOL) + " /nonexistent/in.txt /tmp/out.parb 2>/dev/null").c_str()), 0);
}

} // namespace
