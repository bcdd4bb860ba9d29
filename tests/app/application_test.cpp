#include "tests/app/application_test.h"

#include "app/application.h"
#include "app/logging.h"
#include "tests/support/tablerows.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using Vantrel::Application;

namespace {

QString activeState()
{
    const auto configuration = testApplication->stateMachine().configuration();
    return configuration.isEmpty() ? QString() : (*configuration.begin())->objectName();
}

void returnToStopped()
{
    Q_EMIT testApplication->stopped();
    settle();
    ASSERT_EQ(activeState(), QStringLiteral("stoppedState"));
}

// Runs the event loop in a forked child after scheduling the action, and exits with its status.
[[noreturn]] void execAfter(const std::function<void()> &action)
{
    QTimer::singleShot(0, testApplication, action);
    std::exit(testApplication->exec());
}

} // namespace

TEST(ApplicationIdentity, NameVersionOrganisation)
{
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("vantrel-cli"));
    EXPECT_EQ(QCoreApplication::applicationVersion(), QStringLiteral("2.4.9"));
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Vantrel"));
}

struct LifecycleCase
{
    const char *name;
    std::vector<void (Application::*)()> signalPath;
    const char *expectedState;
    int closeNamedPipeCount;
};

using Vantrel::Test::operator<<;

class LifecycleTransitions : public ::testing::TestWithParam<LifecycleCase>
{};

TEST_P(LifecycleTransitions, FollowsTheSixTransitionsOnly)
{
    settle();
    returnToStopped();
    QSignalSpy closeSpy(testApplication, &Application::closeNamedPipe);
    for (auto signal : GetParam().signalPath) {
        (testApplication->*signal)();
        settle();
    }
    EXPECT_EQ(activeState(), QString::fromLatin1(GetParam().expectedState));
    EXPECT_EQ(closeSpy.count(), GetParam().closeNamedPipeCount);
}

INSTANTIATE_TEST_SUITE_P(
    StateMachine, LifecycleTransitions,
    ::testing::Values(
        LifecycleCase{"StartingFromStopped", {&Application::starting}, "startingState", 0},
        LifecycleCase{"StartedFromStarting", {&Application::starting, &Application::started}, "startedState", 0},
        LifecycleCase{"StoppedFromStarting", {&Application::starting, &Application::stopped}, "stoppedState", 1},
        LifecycleCase{
            "StoppingIgnoredInStarting", {&Application::starting, &Application::stopping}, "startingState", 0},
        LifecycleCase{"StoppingFromStarted",
                      {&Application::starting, &Application::started, &Application::stopping},
                      "stoppingState",
                      0},
        LifecycleCase{"StoppedFromStarted",
                      {&Application::starting, &Application::started, &Application::stopped},
                      "stoppedState",
                      1},
        LifecycleCase{"StoppedFromStopping",
                      {&Application::starting, &Application::started, &Application::stopping, &Application::stopped},
                      "stoppedState",
                      1},
        LifecycleCase{"StartingIgnoredInStarted",
                      {&Application::starting, &Application::started, &Application::starting},
                      "startedState",
                      0},
        LifecycleCase{"StartedIgnoredInStopped", {&Application::started}, "stoppedState", 0},
        LifecycleCase{"StoppingIgnoredInStopped", {&Application::stopping}, "stoppedState", 0},
        LifecycleCase{"StoppedIgnoredInStopped", {&Application::stopped}, "stoppedState", 0}),
    Vantrel::Test::RowName());

TEST(ApplicationState, SetStateEmitsOnlyOnChange)
{
    testApplication->setState(false);
    QSignalSpy spy(testApplication, &Application::stateChanged);
    testApplication->setState(false);
    EXPECT_EQ(spy.count(), 0);
    testApplication->setState(true);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(testApplication->state());
    testApplication->setState(true);
    EXPECT_EQ(spy.count(), 1);
    testApplication->setState(false);
    EXPECT_EQ(spy.count(), 2);
}

struct LogCase
{
    const char *name;
    const char *message;
    const char *printed;
    const char *observed;
};

class LogOutput : public ::testing::TestWithParam<LogCase>
{};

TEST_P(LogOutput, EveryLineStartsWithTheLogPrefix)
{
    QSignalSpy observed(testApplication, &Application::logMessage);
    const QByteArray printed =
        captureStdout([] { Q_EMIT testApplication->writeLogMessage(QString::fromUtf8(GetParam().message)); });
    EXPECT_EQ(printed.toStdString(), GetParam().printed);
    ASSERT_EQ(observed.count(), 1);
    EXPECT_EQ(observed.at(0).at(0).toString().toStdString(), GetParam().observed);
}

INSTANTIATE_TEST_SUITE_P(Logging, LogOutput,
                         ::testing::Values(LogCase{"OneLine", "one line", "# one line\n", "one line"},
                                           LogCase{"ThreeLines", "first\nsecond\nthird", "# first\n# second\n# third\n",
                                                   "first\nsecond\nthird"},
                                           LogCase{"TrailingLineFeed", "trailing line feed\n", "# trailing line feed\n",
                                                   "trailing line feed"},
                                           LogCase{"Padded", "  \tpadded  \n\n", "# padded\n", "padded"},
                                           LogCase{"Empty", "", "# \n", ""},
                                           LogCase{"EmptyLineBetween", "a\n\nb", "# a\n# \n# b\n", "a\n\nb"},
                                           LogCase{"Utf8",
                                                   "Gr\xc3\xbc\xc3\x9f"
                                                   "e",
                                                   "# Gr\xc3\xbc\xc3\x9f"
                                                   "e\n",
                                                   "Gr\xc3\xbc\xc3\x9f"
                                                   "e"}),
                         Vantrel::Test::RowName());

struct JournalLineCase
{
    const char *name;
    QtMsgType type;
    const char *message;
    const char *printed;
};

class JournalLogLine : public ::testing::TestWithParam<JournalLineCase>
{};

TEST_P(JournalLogLine, EveryLineOpensWithThePriorityOfItsType)
{
    const JournalLineCase &c = GetParam();
    EXPECT_EQ(Vantrel::logLine(QString::fromUtf8(c.message), Vantrel::journalPriority(c.type)).toStdString(),
              c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Logging, JournalLogLine,
    ::testing::Values(JournalLineCase{"Fatal", QtFatalMsg, "ends", "<2># ends\n"},
                      JournalLineCase{"Critical", QtCriticalMsg, "failed", "<3># failed\n"},
                      JournalLineCase{"WarningOfTwoLines", QtWarningMsg, "first\nsecond", "<4># first\n<4># second\n"},
                      JournalLineCase{"Info", QtInfoMsg, "started", "<6># started\n"},
                      JournalLineCase{"DebugWithEmptyLine", QtDebugMsg, "a\n\nb", "<7># a\n<7># \n<7># b\n"}),
    Vantrel::Test::RowName());

TEST(Logging, DefaultLevelPrintsWarningsAndCriticalsOnly)
{
    ASSERT_EQ(testApplication->logLevel(), 1);
    const QByteArray printed = captureStdout([] {
        qDebug("a debug record");
        qInfo("an info record");
        qWarning("a warning record");
        qCritical("a critical record");
    });
    EXPECT_EQ(printed.toStdString(), "# a warning record\n# a critical record\n");
}

TEST(Logging, ShowErrorIsPrintedThroughTheLog)
{
    const QByteArray printed =
        captureStdout([] { Q_EMIT testApplication->showError(QStringLiteral("went wrong\nhere")); });
    EXPECT_EQ(printed.toStdString(), "# went wrong\n# here\n");
}

TEST(LoggingDeathTest, MessageWithoutApplicationEndsTheProcessWithStatus1)
{
    EXPECT_EXIT(
        {
            delete testApplication;
            testApplication = nullptr;
            qWarning("too late");
        },
        ::testing::ExitedWithCode(1), "^# fatal error: too late\n$");
}

TEST(LoggingDeathTest, FatalMessageGoesToStandardErrorWithStatus1)
{
    EXPECT_EXIT(qFatal("cannot go on"), ::testing::ExitedWithCode(1),
                "^# vantrel-cli fatal error: cannot go on\n# Context: file: .*application_test.cpp, function: .*\n$");
}

TEST(FinishDeathTest, InStoppedStateExitsWithTheGivenStatus)
{
    EXPECT_EXIT(execAfter([] { testApplication->finish(5); }), ::testing::ExitedWithCode(5), "");
}

TEST(FinishDeathTest, WhileStartingWaitsTwoSecondsForTheRunner)
{
    EXPECT_EXIT(
        {
            enterStarting();
            QElapsedTimer clock;
            clock.start();
            QTimer::singleShot(0, testApplication, [] { testApplication->finish(4); });
            const int status = testApplication->exec();
            // Exit 9 flags a loop that did not wait for the bound.
            std::exit(clock.elapsed() >= 1900 ? status : 9);
        },
        ::testing::ExitedWithCode(4), "");
}

TEST(FinishDeathTest, StoppedAfterFinishWhileStartingQuitsWithStatus0)
{
    EXPECT_EXIT(
        {
            enterStarting();
            QTimer::singleShot(0, testApplication, [] {
                testApplication->finish(0);
                Q_EMIT testApplication->stopped();
            });
            std::exit(testApplication->exec());
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(FinishDeathTest, FromAnotherThreadWhileStartingExitsWithStatus7)
{
    EXPECT_EXIT(
        {
            enterStarting();
            QThread *worker = QThread::create([] { testApplication->finish(3); });
            QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
            QTimer::singleShot(0, testApplication, [worker] { worker->start(); });
            std::exit(testApplication->exec());
        },
        ::testing::ExitedWithCode(7), "");
}

TEST(RunControl, StartWhileRunningReportsAndChangesNothing)
{
    enterStarting();
    QSignalSpy starting(testApplication, &Application::starting);
    const QByteArray printed = captureStdout([] { testApplication->start(); });
    settle();
    EXPECT_EQ(printed.toStdString(), "# Already running\n");
    EXPECT_EQ(starting.count(), 0);
    EXPECT_EQ(activeState(), QStringLiteral("startingState"));
    Q_EMIT testApplication->stopped();
    settle();
}
