// Flow text accepted or refused with a clear code and a level-1 log line naming the problem.
#include "tests/support/tablerows.h"
#include "tests/platform/weavegraph/graphharness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>

using namespace Vantrel::Tests;

namespace {

const std::string header = "weaveflow 1\n";
const std::string out = "output human-presence\n";

struct FlowCase
{
    const char *name;
    std::string flow;
    int code;
    const char *message; // fragment of the level-1 log line; empty for accepted flows
};

using Vantrel::Test::operator<<;

class StandinFlowParsing : public ::testing::TestWithParam<FlowCase>
{};

TEST_P(StandinFlowParsing, AnswersWithCodeAndMessage)
{
    const FlowCase &c = GetParam();
    GraphHarness harness;
    EXPECT_EQ(harness.parse(c.flow), c.code);
    if (c.code == 0) {
        EXPECT_FALSE(harness.logged(1, "")) << "an accepted flow logs no error";
    } else {
        EXPECT_TRUE(harness.logged(1, c.message)) << "expected a level-1 log containing: " << c.message;
        // A refused flow leaves nothing to run.
        EXPECT_EQ(harness.run(), 15);
    }
}

const FlowCase flowCases[] = {
    {"Minimal", header + out, 0, ""},
    {"EveryDirective",
     header + "# comment line\nrate 7.5\n" + out + "output heatmap 0x1234\nscene present 1 1.5 -30\n"
         + "scene walk 2 1 3\nscene absent 0.5\nrun seconds 2.5\nexit -3\nreject parameters 4 77\n"
         + "log 3 \"quoted \\\"words\\\"\" and more\nlinger 0.25 # trailing comment\nload 0.01\n",
     0, ""},
    {"EveryKind",
     header + "output human-presence\noutput presence3\noutput presence-profile\noutput range-presence\n"
         + "output range-profile\noutput proximity-fast\noutput proximity-slow\noutput proximity-statistics\n"
         + "output proximity-fixed\noutput power\noutput heatmap\n",
     0, ""},
    {"CrLfLineEnds", "weaveflow 1\r\noutput power\r\nrate 0\r\n", 0, ""},
    {"Empty", "", 11, "weaveflow 1"},
    {"OnlyComments", "# nothing\n\n", 11, "weaveflow 1"},
    {"NoHeader", out, 11, "weaveflow 1"},
    {"WrongVersion", "weaveflow 2\n" + out, 11, "weaveflow 1"},
    {"NoOutput", header + "rate 5\n", 11, "no output"},
    {"UnknownDirective", header + out + "speed 5\n", 10, "line 3: unknown directive \"speed\""},
    {"RateNotANumber", header + out + "rate fast\n", 10, "rate must be a number"},
    {"RateNegative", header + out + "rate -1\n", 10, "rate must be a number"},
    {"RateTooHigh", header + out + "rate 1000.5\n", 10, "rate must be a number"},
    {"RateInfinite", header + out + "rate inf\n", 10, "rate must be a number"},
    {"RateNaN", header + out + "rate nan\n", 10, "rate must be a number"},
    {"RateExponent", header + out + "rate 1e2\n", 10, "rate must be a number"},
    {"RateTwice", header + out + "rate 5\nrate 6\n", 10, "\"rate\" given twice"},
    {"RateMissingValue", header + out + "rate\n", 10, "expected \"rate"},
    {"UnknownKind", header + "output radar\n", 10, "unknown output kind \"radar\""},
    {"IdTooLarge", header + "output power 0x100000000\n", 10, "output id must be an integer"},
    {"IdNegative", header + "output power -1\n", 10, "output id must be an integer"},
    {"IdTwice", header + "output human-presence 5\noutput power 5\n", 10, "output id 0x00000005 given twice"},
    {"DefaultIdTwice", header + out + out, 10, "given twice"},
    {"ScenePresentWithoutDistance", header + out + "scene present 3\n", 10, "scene present"},
    {"SceneWalkBeyondRange", header + out + "scene walk 3 1 101\n", 10, "distance must be a number"},
    {"SceneAngleTooWide", header + out + "scene present 3 1 120\n", 10, "angle must be a number"},
    {"SceneZeroLength", header + out + "scene absent 0\n", 10, "phase length"},
    {"SceneUnknownPhase", header + out + "scene dance 3\n", 10, "scene present"},
    {"RunZeroFrames", header + out + "run frames 0\n", 10, "frame count"},
    {"RunUnknownUnit", header + out + "run minutes 5\n", 10, "run frames"},
    {"RunTwice", header + out + "run frames 3\nrun seconds 3\n", 10, "\"run\" given twice"},
    {"ExitTooLarge", header + out + "exit 3000000000\n", 10, "exit code must be an integer"},
    {"RejectFlowZero", header + out + "reject flow 0\n", 10, "must not be 0"},
    {"RejectFlow", header + out + "reject flow 42\n", 42, "reject directive asks (code 42)"},
    {"RejectFlowNegative", header + out + "reject flow -5\n", -5, "code -5"},
    {"RejectParametersTwice", header + out + "reject parameters 1 5\nreject parameters 1 6\n", 10, "rejected twice"},
    {"RejectParametersSetZero", header + out + "reject parameters 0 5\n", 10, "parameter set number"},
    {"LogLevelZero", header + out + "log 0 hello\n", 10, "log level"},
    {"LogWithoutMessage", header + out + "log 2\n", 10, "expected \"log"},
    {"LingerNegative", header + out + "linger -1\n", 10, "linger must be a number"},
    {"LoadTwice", header + out + "load 1\nload 2\n", 10, "\"load\" given twice"},
    {"UnterminatedQuote", header + out + "log 2 \"open\n", 10, "line 3: unterminated quoted text"},
    {"NulByte", header + out + std::string("rate 5\0\n", 8), 10, "control character"},
    {"ControlByte", header + "\x01" + out, 10, "line 2: control character"},
    {"TooLarge", header + out + std::string(1u << 20, '#'), 12, "larger than"},
    {"ReplayMissingFile", header + "replay 0x1 /nonexistent/recording.raw\n", 13, "cannot open"},
};

INSTANTIATE_TEST_SUITE_P(Flows, StandinFlowParsing, ::testing::ValuesIn(flowCases), Vantrel::Test::RowName());

// Recordings that are not a stream of whole, valid frames are refused when the flow is read.
struct RecordingCase
{
    const char *name;
    std::vector<uint8_t> bytes;
    int code;
    const char *message;
};

class StandinBadRecording : public ::testing::TestWithParam<RecordingCase>
{};

TEST_P(StandinBadRecording, IsRefused)
{
    const RecordingCase &c = GetParam();
    const std::string path = ::testing::TempDir() + "wg-bad-recording-" + c.name + ".raw";
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char *>(c.bytes.data()), std::streamsize(c.bytes.size()));
    }
    GraphHarness harness;
    EXPECT_EQ(harness.parse(header + "replay 0x7 " + path + "\n"), c.code);
    EXPECT_TRUE(harness.logged(1, c.message)) << c.message;
    std::remove(path.c_str());
}

std::vector<uint8_t> validFrame()
{
    flatbuffers::FlatBufferBuilder builder;
    builder.FinishSizePrefixed(Vantrel::Frames::CreateFrame(builder, 1, 1000));
    return {builder.GetBufferPointer(), builder.GetBufferPointer() + builder.GetSize()};
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> withoutLastByte(std::vector<uint8_t> bytes)
{
    bytes.pop_back();
    return bytes;
}

const RecordingCase recordingCases[] = {
    {"Empty", {}, 14, "no frames"},
    {"ShortPrefix", {1, 0}, 14, "truncated size prefix"},
    {"PrefixPastEnd", {0xff, 0, 0, 0, 1, 2, 3}, 14, "runs past the end"},
    {"HugePrefix", {0xff, 0xff, 0xff, 0xff}, 14, "runs past the end"},
    {"Garbage", {8, 0, 0, 0, 0xff, 0xff, 0xff, 0x7f, 0, 0, 0, 0}, 14, "not a valid frame"},
    {"TrailingBytes", concat(validFrame(), {9, 9}), 14, "truncated size prefix"},
    {"SecondFrameCut", concat(validFrame(), withoutLastByte(validFrame())), 14, "runs past the end"},
};

INSTANTIATE_TEST_SUITE_P(Recordings, StandinBadRecording, ::testing::ValuesIn(recordingCases),
                         Vantrel::Test::RowName());

TEST(StandinFlowParsing, NullArgumentsAreRefused)
{
    GraphHarness harness;
    EXPECT_EQ(weavegraph_parse_flow_linear(nullptr, reinterpret_cast<const uint8_t *>("x"), 1), 1);
    EXPECT_EQ(weavegraph_parse_flow_linear(harness.graph(), nullptr, 4), 1);
    EXPECT_EQ(weavegraph_parse_flow_linear(harness.graph(), nullptr, 0), 11);
    EXPECT_EQ(weavegraph_set_parameters(nullptr, nullptr, 0), 1);
    EXPECT_EQ(weavegraph_run(nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(weavegraph_set_host_services(nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(weavegraph_load_flow_linear(harness.graph(), nullptr), 1);
    weavegraph_delete(nullptr);
}

TEST(StandinFlowParsing, LoadDirectiveHoldsTheParseForItsTime)
{
    GraphHarness harness;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(harness.parse(header + out + "load 0.3\n"), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

TEST(StandinFlowParsing, RefusedFlowDropsThePreviousOne)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + out + "run frames 1\n"), 0);
    ASSERT_EQ(harness.parse(header + "nonsense\n"), 10);
    EXPECT_EQ(harness.run(), 15);
    EXPECT_EQ(harness.frameCount(), 0u);
}

TEST(StandinFlowParsing, LoadsFlowFromFile)
{
    GraphHarness harness;
    const std::string path = ::testing::TempDir() + "wg-load.flow";
    std::ofstream(path) << header << out << "rate 0\nrun frames 2\n";
    EXPECT_EQ(weavegraph_load_flow_linear(harness.graph(), path.c_str()), 0);
    EXPECT_EQ(harness.run(), 0);
    EXPECT_EQ(harness.frameCount(), 2u);
    EXPECT_EQ(weavegraph_load_flow_linear(harness.graph(), "/nonexistent/x.flow"), 16);
    std::remove(path.c_str());
}

} // namespace
