// Warnings about dropped frames: a pair per episode, at most one pair per second, nothing lost at the end.
#include "runtime/droppedframes.h"
#include "tests/support/logcapture.h"
#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

namespace Vantrel {
namespace {

using Vantrel::Test::operator<<;

constexpr const char *Behind = "Output is falling behind; dropping frames";

QString dropped(int count)
{
    return QStringLiteral("Dropped %1 frames while the output was behind").arg(count);
}

// Events: 'd' a frame dropped, 'p' a frame passed, 'e' the stream ended, '+' a tenth of a second passes.
struct DropCase
{
    const char *name;
    const char *events;
    QStringList warnings;
};

class DroppedFramesTest : public ::testing::TestWithParam<DropCase>
{};

TEST_P(DroppedFramesTest, WarnsAsExpected)
{
    qint64 now = 0;
    DroppedFrames frames([&now] { return now; });
    Vantrel::Test::LogCapture messages;
    for (const char *event = GetParam().events; *event; ++event) {
        if (*event == '+')
            now += 100;
        else if (*event == 'd')
            frames.drop();
        else if (*event == 'p')
            frames.passed();
        else
            frames.ended();
    }
    EXPECT_EQ(messages.texts(QtWarningMsg), GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Episodes, DroppedFramesTest,
    ::testing::Values(DropCase{"NothingDropped", "ppp+++e", {}},
                      DropCase{"ReportedOnceASecondHasPassed", "dd+p+++++++++pp", {Behind, dropped(2)}},
                      DropCase{"EpisodesWithinASecondAreSummed", "dp+dp+dpd++++++++p", {Behind, dropped(4)}},
                      DropCase{
                          "OnePairPerSecond", "d++++++++++pd++++++++++p", {Behind, dropped(1), Behind, dropped(1)}},
                      DropCase{"ReportedAtTheEndWhateverTheTime", "ddpe", {Behind, dropped(2)}},
                      DropCase{"EndAfterAReportAddsNothing", "d++++++++++pe", {Behind, dropped(1)}}),
    Vantrel::Test::RowName());

} // namespace
} // namespace Vantrel
