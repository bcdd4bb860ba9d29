#include "app/application.h"
#include "tests/app/application_test.h"

#include "runinfo/runinfo.h"
#include "tests/support/tablerows.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using Vantrel::Application;

namespace {

void setHoldTime(double seconds)
{
    auto *runInfo = testApplication->findChild<Vantrel::RunInfo *>();
    ASSERT_NE(runInfo, nullptr);
    runInfo->setTimeout(seconds);
}

class PresenceReports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        enterStarting();
        testApplication->setState(false);
    }

    void TearDown() override
    {
        Q_EMIT testApplication->stopped();
        settle();
        setHoldTime(0);
    }

    // Sends one report and answers the timeoutState it produced.
    bool report(bool present)
    {
        QSignalSpy spy(testApplication, &Application::updatePresenceState);
        testApplication->updateState(present, 1200, 90, 1634552761952, 7);
        EXPECT_EQ(spy.count(), 1);
        if (spy.isEmpty())
            return false;
        EXPECT_EQ(spy.at(0).at(0).toBool(), present);
        return spy.at(0).at(1).toBool();
    }

    static void waitMs(int milliseconds)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
};

} // namespace

TEST_F(PresenceReports, FirstReportMovesTheLifecycleToStarted)
{
    QSignalSpy started(testApplication, &Application::started);
    QSignalSpy passedOn(testApplication, &Application::newHpdData);
    report(true);
    EXPECT_EQ(started.count(), 1);
    ASSERT_EQ(passedOn.count(), 1);
    EXPECT_EQ(passedOn.at(0).at(1).value<uint32_t>(), 1200u);
    EXPECT_EQ(passedOn.at(0).at(3).value<int64_t>(), 1634552761952);
    settle();
    report(true);
    EXPECT_EQ(started.count(), 1);
}

TEST_F(PresenceReports, ReportInStoppedStateChangesNothing)
{
    Q_EMIT testApplication->stopped();
    settle();
    QSignalSpy presence(testApplication, &Application::updatePresenceState);
    QSignalSpy passedOn(testApplication, &Application::newHpdData);
    QSignalSpy stateChanged(testApplication, &Application::stateChanged);
    testApplication->updateState(true, 1200, 90, 1, 1);
    EXPECT_EQ(presence.count(), 0);
    EXPECT_EQ(passedOn.count(), 0);
    EXPECT_EQ(stateChanged.count(), 0);
    EXPECT_FALSE(testApplication->state());
}

TEST_F(PresenceReports, WithoutHoldTimeTimeoutStateFollowsThePresence)
{
    setHoldTime(0);
    for (bool present : {true, false, false, true, false})
        EXPECT_EQ(report(present), present);
}

namespace {

struct HoldStep
{
    int waitMs; // before the report
    bool present;
    bool timeoutState;
};

struct HoldCase
{
    const char *name;
    std::vector<HoldStep> steps;
};

using Vantrel::Test::operator<<;

class HeldPresence : public PresenceReports, public ::testing::WithParamInterface<HoldCase>
{};

} // namespace

TEST_P(HeldPresence, FollowsAHoldOfFourTenthsOfASecond)
{
    setHoldTime(0.4);
    for (const HoldStep &step : GetParam().steps) {
        waitMs(step.waitMs);
        EXPECT_EQ(report(step.present), step.timeoutState) << "after waiting " << step.waitMs << " ms";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hold, HeldPresence,
    ::testing::Values(HoldCase{"KeepsPresenceUntilTheFirstReportAfterExpiry",
                               {{0, true, true}, {0, false, true}, {100, false, true}, {900, false, false}}},
                      // The hold restarts from the absence after the second presence, not from the first one.
                      HoldCase{"PresenceWhileHoldingStopsTheTimer",
                               {{0, true, true},
                                {0, false, true},
                                {0, true, true},
                                {250, false, true},
                                {250, false, true},
                                {900, false, false}}}),
    Vantrel::Test::RowName());

namespace {

struct LineCase
{
    const char *name;
    bool state;
    uint32_t distance;
    int64_t timestamp;
    const char *line;
};

using Vantrel::Test::operator<<;

class PresenceLine : public ::testing::TestWithParam<LineCase>
{};

} // namespace

TEST_P(PresenceLine, FieldsEachFollowedBySemicolonAndTab)
{
    const LineCase &c = GetParam();
    const QByteArray printed = captureStdout([&c] {
        QMetaObject::invokeMethod(testApplication, "logState", Q_ARG(bool, c.state), Q_ARG(uint32_t, c.distance),
                                  Q_ARG(uint32_t, 55u), Q_ARG(int64_t, c.timestamp), Q_ARG(uint32_t, 3u));
    });
    // The header record is info: not printed at the default log level.
    EXPECT_EQ(printed.toStdString(), std::string(c.line));
}

INSTANTIATE_TEST_SUITE_P(
    Presence, PresenceLine,
    ::testing::Values(LineCase{"Present", true, 7385, 1634552761952, "1634552761952;\t738;\t1;\t\n"},
                      LineCase{"DistanceTruncatedNotRounded", true, 7389, 1634552761952,
                               "1634552761952;\t738;\t1;\t\n"},
                      LineCase{"Absent", false, 9, 1, "1;\t0;\t0;\t\n"},
                      LineCase{"LargestDistanceNegativeTimestamp", false, 4294967295u, -5, "-5;\t429496729;\t0;\t\n"},
                      LineCase{"AllZero", true, 0, 0, "0;\t0;\t1;\t\n"}),
    Vantrel::Test::RowName());
