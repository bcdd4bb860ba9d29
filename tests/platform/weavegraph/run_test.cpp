// Running: length and exit code, stop requests (also between frames), linger, staged logs, replay.
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/tablerows.h"
#include "tests/platform/weavegraph/graphharness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <unistd.h>

using namespace Vantrel::Tests;

namespace {

const std::string header = "weaveflow 1\n";
constexpr uint32_t replayId = Vantrel::Frames::Output::ProximitySlowAndStatistics;

TEST(StandinVersion, Is6_4_53)
{
    const weavegraph_version_t version = weavegraph_get_version();
    EXPECT_EQ(version.major, 6u);
    EXPECT_EQ(version.minor, 4u);
    EXPECT_EQ(version.patch, 53u);
}

struct LengthCase
{
    const char *name;
    std::string flow;
    int result;
    size_t frames;
};

using Vantrel::Test::operator<<;

class StandinRunLength : public ::testing::TestWithParam<LengthCase>
{};

TEST_P(StandinRunLength, EndsWithItsExitCode)
{
    const LengthCase &c = GetParam();
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + c.flow), 0);
    EXPECT_EQ(harness.run(), c.result);
    EXPECT_EQ(harness.frameCount(), c.frames);
    EXPECT_TRUE(harness.logged(2, "run ended after " + std::to_string(c.frames / 2) + " frames"));
}

const LengthCase lengthCases[] = {
    {"FramesExitZero", "rate 0\noutput power\noutput heatmap\nrun frames 5\n", 0, 10},
    {"FramesExitCode", "rate 0\noutput power\noutput heatmap\nrun frames 3\nexit 9\n", 9, 6},
    {"NegativeExitCode", "rate 0\noutput power\noutput heatmap\nrun frames 1\nexit -2\n", -2, 2},
    // Paced: exactly seconds x rate periods.
    {"SecondsAtRate", "rate 40\noutput power\noutput heatmap\nrun seconds 0.25\nexit 4\n", 4, 20},
};

INSTANTIATE_TEST_SUITE_P(Run, StandinRunLength, ::testing::ValuesIn(lengthCases), Vantrel::Test::RowName());

TEST(StandinRun, CanRunAgain)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "rate 0\noutput power\nrun frames 2\n"), 0);
    ASSERT_EQ(harness.run(), 0);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 4u);
    // Sequence numbers restart with every run.
    EXPECT_EQ(verifiedFrame(frames[2].bytes)->sequenceNumber(), 0u);
}

TEST(StandinRun, PacesFramesAtTheRate)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "rate 50\noutput human-presence\nrun frames 26\n"), 0);
    ASSERT_EQ(harness.run(), 0);
    const auto frames = harness.frames();
    ASSERT_EQ(frames.size(), 26u);
    const double span = std::chrono::duration<double>(frames.back().arrival - frames.front().arrival).count();
    // 25 periods of 20 ms; a busy machine may be late, never early.
    EXPECT_GE(span, 0.49);
    EXPECT_LT(span, 2.0);
}

TEST(StandinStop, EndsTheRunWithZero)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "rate 100\noutput human-presence\nexit 7\n"), 0);
    EXPECT_EQ(harness.run([](const GraphHarness &h) { return h.frameCount() >= 5; }), 0);
    EXPECT_GE(harness.frameCount(), 5u);
    EXPECT_LE(harness.frameCount(), 6u);
    EXPECT_TRUE(harness.logged(2, "run stopped"));
}

TEST(StandinStop, IsHonouredBetweenSlowFrames)
{
    GraphHarness harness;
    // One frame every 4 s: a stop must not wait for the next one.
    ASSERT_EQ(harness.parse(header + "rate 0.25\noutput human-presence\n"), 0);
    std::chrono::steady_clock::time_point asked{};
    EXPECT_EQ(harness.run([&asked](const GraphHarness &h) {
        if (h.frameCount() == 0)
            return false;
        if (asked == std::chrono::steady_clock::time_point{})
            asked = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        return std::chrono::steady_clock::now() >= asked;
    }),
              0);
    EXPECT_EQ(harness.frameCount(), 1u);
    EXPECT_LT(harness.runSeconds(), 1.5);
}

TEST(StandinStop, LingerKeepsEmittingAfterTheRequest)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "rate 50\noutput human-presence\nlinger 0.4\nexit 3\n"), 0);
    std::chrono::steady_clock::time_point firstAsked{};
    EXPECT_EQ(harness.run([&firstAsked](const GraphHarness &h) {
        if (h.frameCount() < 2)
            return false;
        if (firstAsked == std::chrono::steady_clock::time_point{})
            firstAsked = std::chrono::steady_clock::now();
        return true;
    }),
              0);
    const double lingered = std::chrono::duration<double>(std::chrono::steady_clock::now() - firstAsked).count();
    EXPECT_GE(lingered, 0.39);
    EXPECT_LT(lingered, 3.0);
    // About 20 more frames at 50 Hz; at least a few even on a slow machine.
    EXPECT_GE(harness.frameCount(), 8u);
    EXPECT_TRUE(harness.logged(2, "lingering for 400 ms"));
}

TEST(StandinStop, LengthEndingDuringLingerStillReturnsZero)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "rate 50\noutput human-presence\nlinger 5\nrun frames 6\nexit 3\n"), 0);
    EXPECT_EQ(harness.run([](const GraphHarness &h) { return h.frameCount() >= 2; }), 0);
    EXPECT_EQ(harness.frameCount(), 6u);
    EXPECT_LT(harness.runSeconds(), 4.0);
}

TEST(StandinLogging, StagedMessagesAtTheirLevels)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header
                            + "rate 0\noutput power\nrun frames 1\nlog 1 first  words\n"
                              "log 5 \"second # not a comment\"\n"),
              0);
    ASSERT_EQ(harness.run(), 0);
    EXPECT_TRUE(harness.logged(1, "first words"));
    EXPECT_TRUE(harness.logged(5, "second # not a comment"));
}

TEST(StandinLogging, NoLoggerIsFine)
{
    GraphHarness harness;
    weavegraph_set_logger(nullptr, nullptr);
    EXPECT_EQ(harness.parse("nonsense"), 11);
}

TEST(StandinHostServices, RefusedFramesAreLoggedOnceAndTheRunGoesOn)
{
    GraphHarness harness;
    harness.frameAnswer = -1;
    ASSERT_EQ(harness.parse(header + "rate 0\noutput human-presence\noutput power\nrun frames 4\n"), 0);
    EXPECT_EQ(harness.run(), 0);
    EXPECT_EQ(harness.frameCount(), 8u);
    size_t refusals = 0;
    for (const LogLine &line : harness.logs())
        refusals += line.message.find("host answered -1") != std::string::npos;
    EXPECT_EQ(refusals, 2u); // once per output id
}

TEST(StandinHostServices, CallsWhileRunningAreRefused)
{
    GraphHarness harness;
    std::vector<int> answers;
    harness.onEachFrame = [&answers](GraphHarness &h) {
        const std::string flow = "weaveflow 1\noutput power\n";
        answers.push_back(
            weavegraph_parse_flow_linear(h.graph(), reinterpret_cast<const uint8_t *>(flow.data()), flow.size()));
        answers.push_back(weavegraph_set_parameters(h.graph(), nullptr, 0));
        answers.push_back(weavegraph_run(h.graph(), nullptr, nullptr));
        answers.push_back(weavegraph_set_host_services(h.graph(), nullptr, nullptr));
    };
    ASSERT_EQ(harness.parse(header + "rate 0\noutput human-presence\nrun frames 1\n"), 0);
    EXPECT_EQ(harness.run(), 0);
    EXPECT_EQ(answers, (std::vector<int>{2, 2, 2, 2}));
    harness.onEachFrame = nullptr;
    EXPECT_EQ(harness.run(), 0); // and the instance still works afterwards
}

TEST(StandinHostServices, WithoutFrameCallbackTheRunStillEnds)
{
    GraphHarness harness;
    ASSERT_EQ(weavegraph_set_host_services(harness.graph(), nullptr, nullptr), 0);
    ASSERT_EQ(harness.parse(header + "rate 0\noutput human-presence\nrun frames 3\nexit 5\n"), 0);
    EXPECT_EQ(harness.run(), 5);
    EXPECT_EQ(harness.frameCount(), 0u);
}

// Replay: record a run, write it as the host's pipe would, replay it.
class StandinReplay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GraphHarness recorder;
        ASSERT_EQ(recorder.parse(header + "rate 20\noutput proximity-statistics\noutput heatmap\nrun frames 4\n"), 0);
        ASSERT_EQ(recorder.run(), 0);
        m_recorded = recorder.frames();
        std::ofstream file(m_path, std::ios::binary);
        for (const CapturedFrame &frame : m_recorded)
            file.write(reinterpret_cast<const char *>(frame.bytes.data()), std::streamsize(frame.bytes.size()));
    }
    void TearDown() override { std::remove(m_path.c_str()); }

    // One file per process: ctest runs the tests of this fixture side by side.
    std::string m_path = ::testing::TempDir() + "wg-replay-" + std::to_string(getpid()) + ".raw";
    std::vector<CapturedFrame> m_recorded;
};

TEST_F(StandinReplay, ReEmitsByteForByteAtRecordedPace)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "replay " + std::to_string(replayId) + " " + m_path + "\nexit 6\n"), 0);
    EXPECT_EQ(harness.run(), 6);
    const auto replayed = harness.frames();
    ASSERT_EQ(replayed.size(), m_recorded.size());
    for (size_t i = 0; i < replayed.size(); ++i) {
        EXPECT_EQ(replayed[i].id, replayId);
        EXPECT_EQ(replayed[i].bytes, m_recorded[i].bytes) << "frame " << i;
    }
    const auto *first = verifiedFrame(replayed.front().bytes);
    const auto *last = verifiedFrame(replayed.back().bytes);
    const double recordedSpan = double(last->timestamp() - first->timestamp()) / 1000.0;
    const double replayedSpan =
        std::chrono::duration<double>(replayed.back().arrival - replayed.front().arrival).count();
    EXPECT_GE(replayedSpan, recordedSpan - 0.002);
    EXPECT_LT(replayedSpan, recordedSpan + 1.0);
}

TEST_F(StandinReplay, RunLengthCutsItShort)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "replay 7 " + m_path + "\nrun frames 3\n"), 0);
    EXPECT_EQ(harness.run(), 0);
    EXPECT_EQ(harness.frameCount(), 3u);
}

TEST_F(StandinReplay, StopEndsIt)
{
    GraphHarness harness;
    ASSERT_EQ(harness.parse(header + "replay 7 " + m_path + "\nexit 6\n"), 0);
    EXPECT_EQ(harness.run([](const GraphHarness &h) { return h.frameCount() >= 1; }), 0);
    EXPECT_LT(harness.frameCount(), m_recorded.size());
}

struct MixCase
{
    const char *name;
    std::string extra;
};

class StandinReplayMix : public StandinReplay, public ::testing::WithParamInterface<MixCase>
{};

TEST_P(StandinReplayMix, SimulationDirectivesAreRefused)
{
    GraphHarness harness;
    EXPECT_EQ(harness.parse(header + "replay 7 " + m_path + "\n" + GetParam().extra), 11);
    EXPECT_TRUE(harness.logged(1, "replay"));
}

INSTANTIATE_TEST_SUITE_P(Run, StandinReplayMix,
                         ::testing::Values(MixCase{"Output", "output power\n"}, MixCase{"Rate", "rate 5\n"},
                                           MixCase{"Scene", "scene absent 3\n"}),
                         Vantrel::Test::RowName());

} // namespace
