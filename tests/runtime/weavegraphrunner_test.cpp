#include "platform/weavegraph/framevocabulary.h"
#include "runtime/framequeue.h"
#include "runtime/weavegraphrunner.h"
#include "tests/support/logcapture.h"
#include "tests/support/testframebuilder.h"
#include "tests/support/tablerows.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

#include <numeric>
#include <vector>

namespace Vantrel {
namespace {

using Test::LogCapture;

// Generous: a loaded machine must never fail these.
constexpr int RunTimeoutMs = 30000;

QString finiteFlow(int exitCode = 0, const QString &extra = QString())
{
    return QStringLiteral("weaveflow 1\nrate 20\noutput human-presence\nrun frames 5\nexit %1\n").arg(exitCode) + extra;
}

// Runs until stopped.
const QString EndlessFlow = QStringLiteral("weaveflow 1\nrate 20\noutput human-presence\n");

QString parb(const char *name)
{
    return QStringLiteral(RUNNER_PARB_DIR "/%1.parb").arg(QLatin1String(name));
}

QStringList withPrefix(const QStringList &messages, const QString &prefix)
{
    QStringList result;
    for (const QString &message : messages) {
        if (message.startsWith(prefix))
            result << message;
    }
    return result;
}

class RunnerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // The user-facing errors a run reported.
    static QStringList texts(const QSignalSpy &errors)
    {
        QStringList result;
        for (const QList<QVariant> &arguments : errors)
            result << arguments.at(0).toString();
        return result;
    }

    QString writeFlow(const QString &text)
    {
        const QString path = m_dir.filePath(QStringLiteral("flow%1.flow").arg(++m_flowCount));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        return path;
    }

    QString missingPath(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    static FlowSelection selection(const QString &flow, const QStringList &parbs = {})
    {
        FlowSelection s;
        s.algorithmName = QStringLiteral("Presence 1.0");
        s.flowFilePath = flow;
        s.parbFilePaths = parbs;
        return s;
    }

    // Starts a run and waits for its end.
    static bool runToTheEnd(WeaveGraphRunner &runner, QSignalSpy &stopped)
    {
        return runner.start() && waitForStops(stopped, stopped.count() + 1);
    }

    // Waits until the application has heard of `count` finished runs in all.
    static bool waitForStops(QSignalSpy &stopped, int count)
    {
        QElapsedTimer timer;
        timer.start();
        while (stopped.count() < count && timer.elapsed() < RunTimeoutMs)
            stopped.wait(1000);
        return stopped.count() == count;
    }

private:
    QTemporaryDir m_dir;
    int m_flowCount = 0;
};

TEST_F(RunnerTest, NormalRunReportsEachStepAndEndsWithExitCodeZero)
{
    const QString flow = writeFlow(finiteFlow());
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow, {parb("fast"), parb("threshold")}); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy errors(&runner, &WeaveGraphRunner::error);
    QSignalSpy presence(&runner, &WeaveGraphRunner::newHpdData);
    QSignalSpy raw(&runner, &WeaveGraphRunner::newRawData);
    LogCapture messages;

    ASSERT_TRUE(runToTheEnd(runner, stopped));

    EXPECT_EQ(runner.exitCode(), 0);
    EXPECT_EQ(presence.count(), 5);
    EXPECT_EQ(raw.count(), 5);
    EXPECT_EQ(messages.texts(QtInfoMsg),
              QStringList({"Starting WeaveGraph thread", "WeaveGraph version: 6.4.53", "Loading flow from " + flow,
                           "Setting binary parameters from " + parb("fast"),
                           "Setting binary parameters from " + parb("threshold"),
                           "WeaveGraph thread finished with exit code: 0"}));
    EXPECT_EQ(messages.texts(QtWarningMsg), QStringList());
    EXPECT_EQ(texts(errors), QStringList());
}

TEST_F(RunnerTest, EmptyParbListGoesFromTheFlowToTheRunAndDynamicOptionsAreOnlyReported)
{
    const QString flow = writeFlow(finiteFlow());
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] {
        FlowSelection s = selection(flow);
        s.dynamicOptions = QStringList{"zone=1;", "gain=2"};
        return s;
    });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy presence(&runner, &WeaveGraphRunner::newHpdData);
    LogCapture messages;

    ASSERT_TRUE(runToTheEnd(runner, stopped));

    EXPECT_EQ(runner.exitCode(), 0);
    EXPECT_EQ(presence.count(), 5);
    EXPECT_EQ(messages.texts(QtInfoMsg).mid(2),
              QStringList({"Loading flow from " + flow, "Dynamic parameters to apply:\nzone=1;gain=2",
                           "WeaveGraph thread finished with exit code: 0"}));
}

struct FailureCase
{
    const char *name;
    const char *flow; // null: the flow file does not exist
    QStringList parbs; // "missing" names a file that does not exist
    const char *error; // %1: the flow or missing parb path
    int exitCode;
    int parbsApplied;
};

using Vantrel::Test::operator<<;

class RunFailure : public RunnerTest, public ::testing::WithParamInterface<FailureCase>
{};

TEST_P(RunFailure, IsShownWithItsCodeAndEndsTheRun)
{
    const FailureCase &c = GetParam();
    const QString flow = c.flow ? writeFlow(QString::fromUtf8(c.flow)) : missingPath("absent.flow");
    QStringList parbs;
    QString missing;
    for (const QString &name : c.parbs) {
        if (name == QLatin1String("missing"))
            parbs << (missing = missingPath("absent.parb"));
        else
            parbs << parb(name.toLatin1().constData());
    }
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow, parbs); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy errors(&runner, &WeaveGraphRunner::error);
    LogCapture messages;

    ASSERT_TRUE(runToTheEnd(runner, stopped));

    const QString expected = QString::fromUtf8(c.error).arg(missing.isEmpty() ? flow : missing);
    EXPECT_EQ(texts(errors), QStringList{expected});
    EXPECT_EQ(runner.exitCode(), c.exitCode);
    EXPECT_EQ(withPrefix(messages.texts(QtInfoMsg), "Setting binary parameters from "), [&] {
        QStringList applied;
        for (int i = 0; i < c.parbsApplied; ++i)
            applied << "Setting binary parameters from " + parbs.at(i);
        return applied;
    }());
    // The run is over: a new one is accepted.
    EXPECT_TRUE(runner.start());
    ASSERT_TRUE(waitForStops(stopped, 2));
}

INSTANTIATE_TEST_SUITE_P(Cases, RunFailure,
                         ::testing::Values(
                             // Nothing reached the runtime, yet the run failed: the exit code must not read as success.
                             FailureCase{"flowCannotBeOpened", nullptr, {"fast"}, "Couldn't load %1 file", -7, 0},
                             FailureCase{"flowRejected",
                                         "weaveflow 1\noutput human-presence\nreject flow 42\n",
                                         {"fast"},
                                         "WeaveGraph can't load flow file linear: 42",
                                         42,
                                         0},
                             FailureCase{"parbCannotBeOpened",
                                         "weaveflow 1\nrate 0\noutput human-presence\nrun frames 1\n",
                                         {"fast", "missing", "range"},
                                         "Couldn't load %1 parb file",
                                         -7,
                                         1},
                             FailureCase{
                                 "parbRejectedStopsBeforeTheNext",
                                 "weaveflow 1\nrate 0\noutput human-presence\nrun frames 1\nreject parameters 2 43\n",
                                 {"fast", "threshold", "range"},
                                 "WeaveGraph couldn't set parameters: 43",
                                 43,
                                 2},
                             FailureCase{"runEndsWithNonZeroCode",
                                         "weaveflow 1\nrate 0\noutput human-presence\nrun frames 2\nexit 9\n",
                                         {"fast"},
                                         "WeaveGraph thread finished with exit code: 9",
                                         9,
                                         1}),
                         Vantrel::Test::RowName());

TEST_F(RunnerTest, ParbFilesAreAppliedInListOrder)
{
    // The runtime refuses its third set: the third in list order is the one named in the failure.
    const QString flow =
        writeFlow(QStringLiteral("weaveflow 1\nrate 0\noutput human-presence\nrun frames 1\nreject parameters 3 44\n"));
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow, {parb("range"), parb("fast"), parb("threshold")}); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy errors(&runner, &WeaveGraphRunner::error);
    LogCapture messages;

    ASSERT_TRUE(runToTheEnd(runner, stopped));

    EXPECT_EQ(withPrefix(messages.texts(QtInfoMsg), "Setting binary parameters from "),
              QStringList({"Setting binary parameters from " + parb("range"),
                           "Setting binary parameters from " + parb("fast"),
                           "Setting binary parameters from " + parb("threshold")}));
    EXPECT_EQ(texts(errors), QStringList{"WeaveGraph couldn't set parameters: 44"});
}

TEST_F(RunnerTest, SecondStartWhileRunningIsRefusedAndLeavesTheRunAlone)
{
    const QString flow = writeFlow(EndlessFlow);
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy errors(&runner, &WeaveGraphRunner::error);
    LogCapture messages;

    ASSERT_TRUE(runner.start());
    EXPECT_FALSE(runner.start());
    EXPECT_EQ(messages.texts(QtWarningMsg), QStringList{"WeaveGraph is already running!"});
    QThread::msleep(300);
    EXPECT_EQ(stopped.count(), 0);

    runner.stop();
    ASSERT_TRUE(waitForStops(stopped, 1));
    EXPECT_EQ(runner.exitCode(), 0);
    EXPECT_EQ(withPrefix(messages.texts(QtInfoMsg), "St"),
              QStringList({"Starting WeaveGraph thread", "Stopping WeaveGraph thread"}));
    EXPECT_EQ(texts(errors), QStringList());
    QCoreApplication::processEvents();
    EXPECT_EQ(stopped.count(), 1);
}

TEST_F(RunnerTest, RestartAfterAFinishedRunRunsTheWholeSequenceAgain)
{
    const QString flow = writeFlow(finiteFlow());
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow, {parb("fast")}); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy presence(&runner, &WeaveGraphRunner::newHpdData);
    LogCapture messages;

    ASSERT_TRUE(runToTheEnd(runner, stopped));
    ASSERT_TRUE(runner.start());
    ASSERT_TRUE(waitForStops(stopped, 2));

    EXPECT_EQ(presence.count(), 10);
    const QStringList once = {"Starting WeaveGraph thread", "WeaveGraph version: 6.4.53", "Loading flow from " + flow,
                              "Setting binary parameters from " + parb("fast"),
                              "WeaveGraph thread finished with exit code: 0"};
    EXPECT_EQ(messages.texts(QtInfoMsg), once + once);
}

TEST_F(RunnerTest, StopWhileTheFlowIsLoadingEndsTheRunOnceTheRuntimeRuns)
{
    // Runs until stopped: only a stop that survives the loading ends it.
    const QString flow = writeFlow(EndlessFlow);
    QSemaphore reached;
    QSemaphore proceed;
    WeaveGraphRunner runner;
    // The selection is read on the worker thread before anything reaches the runtime.
    runner.setSelectionProvider([&, flow] {
        reached.release();
        proceed.acquire();
        return selection(flow, {parb("fast")});
    });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    LogCapture messages;

    ASSERT_TRUE(runner.start());
    reached.acquire();
    runner.stop();
    proceed.release();
    ASSERT_TRUE(waitForStops(stopped, 1));

    EXPECT_EQ(withPrefix(messages.texts(QtInfoMsg), "WeaveGraph thread finished"),
              QStringList{"WeaveGraph thread finished with exit code: 0"});
    EXPECT_EQ(runner.exitCode(), 0);
}

// The main thread handles nothing while a full-rate run hands over 600 frames: only as many frames as the
// queue holds are published once it gets to them; the rest are dropped on the worker, with one warning
// when dropping begins and the count when the run ends.
TEST_F(RunnerTest, FramesBeyondTheQueueAreDroppedOnTheWorker)
{
    const QString flow = writeFlow(QStringLiteral("weaveflow 1\nrate 0\noutput human-presence\nrun frames 600\n"));
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy raw(&runner, &WeaveGraphRunner::newRawData);
    LogCapture messages;
    const QString finished = QStringLiteral("WeaveGraph thread finished with exit code: 0");

    ASSERT_TRUE(runner.start());
    QElapsedTimer timer;
    timer.start();
    while (!messages.texts(QtInfoMsg).contains(finished) && timer.elapsed() < RunTimeoutMs)
        QThread::msleep(10);
    ASSERT_TRUE(messages.texts(QtInfoMsg).contains(finished));
    EXPECT_EQ(raw.count(), 0) << "published on the runner's thread only";
    const QStringList warnings{
        "Output is falling behind; dropping frames",
        QStringLiteral("Dropped %1 frames while the output was behind").arg(600 - FrameQueue::Capacity)};
    EXPECT_EQ(messages.texts(QtWarningMsg), warnings);
    ASSERT_TRUE(waitForStops(stopped, 1));
    EXPECT_EQ(raw.count(), int(FrameQueue::Capacity));

    // Once the main thread has caught up, frames go through again.
    const QString oneFrame = writeFlow(QStringLiteral("weaveflow 1\nrate 0\noutput human-presence\nrun frames 1\n"));
    runner.setSelectionProvider([=] { return selection(oneFrame); });
    ASSERT_TRUE(runner.start());
    ASSERT_TRUE(waitForStops(stopped, 2));
    EXPECT_EQ(raw.count(), int(FrameQueue::Capacity) + 1);
    EXPECT_EQ(messages.texts(QtWarningMsg), warnings);
}

// A runtime handing frames over back to back while the runner's thread keeps taking them: every frame is
// published, in order, before the run's end is told, however its last frames fell among the wake-ups.
TEST_F(RunnerTest, FullRateRunIsPublishedWholeAndInOrderBeforeItsEnd)
{
    constexpr uint32_t Frames = 3000;
    const QString flow =
        writeFlow(QStringLiteral("weaveflow 1\nrate 0\noutput human-presence\nrun frames %1\n").arg(Frames));
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow); });
    std::vector<uint32_t> published;
    QObject::connect(&runner, &WeaveGraphRunner::newHpdData,
                     [&](bool, uint32_t, uint32_t, int64_t, uint32_t number) { published.push_back(number); });
    size_t publishedAtTheEnd = 0;
    QObject::connect(&runner, &WeaveGraphRunner::finished, [&] { publishedAtTheEnd = published.size(); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);

    ASSERT_TRUE(runToTheEnd(runner, stopped));
    EXPECT_EQ(publishedAtTheEnd, Frames);
    std::vector<uint32_t> expected(Frames);
    std::iota(expected.begin(), expected.end(), 0u);
    EXPECT_EQ(published, expected);
}

// A burst of frames, a few more soon after it, then a long silence in which the run goes on: the few are
// published without waiting for a frame after them.
TEST_F(RunnerTest, FramesSoonAfterABurstDoNotWaitForTheNext)
{
    constexpr uint32_t Burst = 200; // fewer than the queue holds: none waits for room
    constexpr uint32_t Few = 20;
    QFile recording(missingPath("burst.frames"));
    ASSERT_TRUE(recording.open(QIODevice::WriteOnly));
    for (uint32_t number = 0; number <= Burst + Few; ++number) {
        const int64_t timestamp = 1700000000000 + (number < Burst ? 0 : number < Burst + Few ? 100 : 60000);
        const std::vector<uint8_t> frame = Fixtures::singleSignalFrame(
            Frames::Key::SignalSemanticHumanPresence,
            {Fixtures::int32Array(Frames::Key::ArraySemanticHumanPresence, {1, 12, 0, 80})}, number, timestamp);
        recording.write(reinterpret_cast<const char *>(frame.data()), qint64(frame.size()));
    }
    recording.close();
    const QString flow = writeFlow(
        QStringLiteral("weaveflow 1\nreplay %1 %2\n").arg(Frames::Output::HumanPresenceA).arg(recording.fileName()));
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow); });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy presence(&runner, &WeaveGraphRunner::newHpdData);

    ASSERT_TRUE(runner.start());
    QElapsedTimer timer;
    timer.start();
    while (presence.count() < int(Burst + Few) && timer.elapsed() < RunTimeoutMs)
        presence.wait(1000);
    EXPECT_EQ(presence.count(), int(Burst + Few));
    runner.stop();
    ASSERT_TRUE(waitForStops(stopped, 1));
}

// Without a taker for their bytes, frames are published decoded only.
TEST_F(RunnerTest, FramesAreCopiedOnlyWhenWanted)
{
    const QString flow = writeFlow(finiteFlow());
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow); });
    runner.setRawFramesWanted(false);
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy presence(&runner, &WeaveGraphRunner::newHpdData);
    QSignalSpy raw(&runner, &WeaveGraphRunner::newRawData);

    ASSERT_TRUE(runToTheEnd(runner, stopped));
    EXPECT_EQ(presence.count(), 5);
    EXPECT_EQ(raw.count(), 0);
}

TEST_F(RunnerTest, StopWhileIdleDoesNothing)
{
    WeaveGraphRunner runner;
    LogCapture messages;
    runner.stop();
    EXPECT_EQ(messages.texts(QtInfoMsg), QStringList());
}

struct LogLevelCase
{
    const char *name;
    int applicationLevel;
    QStringList forwarded;
};

class RuntimeLog : public RunnerTest, public ::testing::WithParamInterface<LogLevelCase>
{};

TEST_P(RuntimeLog, IsForwardedAsWarningsUpToTheApplicationsLevel)
{
    const QString flow = writeFlow(finiteFlow(0, QStringLiteral("log 1 \"relay: one\"\nlog 2 \"relay: two\"\n"
                                                                "log 3 \"relay: three\"\nlog 7 \"relay: seven\"\n")));
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] { return selection(flow); });
    // The level is the process's, as the runtime's logger is: the next test starts from the default.
    runner.setLogLevel(GetParam().applicationLevel);
    struct DefaultLevelAfterwards
    {
        WeaveGraphRunner &runner;
        ~DefaultLevelAfterwards() { runner.setLogLevel(1); }
    } restore{runner};
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    LogCapture messages;

    ASSERT_TRUE(runToTheEnd(runner, stopped));

    EXPECT_EQ(withPrefix(messages.texts(QtWarningMsg), "relay: "), GetParam().forwarded);
    EXPECT_EQ(withPrefix(messages.texts(QtInfoMsg), "relay: "), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Levels, RuntimeLog,
    ::testing::Values(LogLevelCase{"Level1", 1, {"relay: one"}},
                      LogLevelCase{"Level2", 2, {"relay: one", "relay: two"}},
                      LogLevelCase{"Level3", 3, {"relay: one", "relay: two", "relay: three"}},
                      LogLevelCase{"Level7", 7, {"relay: one", "relay: two", "relay: three", "relay: seven"}}),
    Vantrel::Test::RowName());

struct VersionLimitCase
{
    const char *name;
    const char *minimum;
    const char *maximum;
    QStringList warnings;
};

class VersionLimits : public RunnerTest, public ::testing::WithParamInterface<VersionLimitCase>
{};

TEST_P(VersionLimits, WarnWithoutStoppingTheRun)
{
    const QString flow = writeFlow(finiteFlow());
    WeaveGraphRunner runner;
    runner.setSelectionProvider([=] {
        FlowSelection s = selection(flow);
        s.minimumSupportedWeaveGraphVersion = QString::fromLatin1(GetParam().minimum);
        s.maximumSupportedWeaveGraphVersion = QString::fromLatin1(GetParam().maximum);
        return s;
    });
    QSignalSpy stopped(&runner, &WeaveGraphRunner::finished);
    QSignalSpy presence(&runner, &WeaveGraphRunner::newHpdData);
    LogCapture messages;

    ASSERT_TRUE(runToTheEnd(runner, stopped));

    EXPECT_EQ(messages.texts(QtWarningMsg), GetParam().warnings);
    EXPECT_EQ(presence.count(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionLimits,
    ::testing::Values(
        VersionLimitCase{"noLimits", "", "", {}}, VersionLimitCase{"withinLimits", "6.4.53", "6.4.53", {}},
        VersionLimitCase{"runtimeBelowMinimum",
                         "v6.5.0",
                         "",
                         {"Presence 1.0 min supported WeaveGraph version is v6.5.0, current WeaveGraph version is "
                          "6.4.53"}},
        VersionLimitCase{"runtimeAboveMaximum",
                         "",
                         "6.4.9",
                         {"Presence 1.0 max supported WeaveGraph version is 6.4.9, current WeaveGraph version is "
                          "6.4.53"}},
        // Two numbers read as 0.0.0: no minimum to fall short of, a maximum the runtime is above.
        VersionLimitCase{"twoNumberTexts",
                         "7.0",
                         "7.0",
                         {"Presence 1.0 max supported WeaveGraph version is 7.0, current WeaveGraph version is "
                          "6.4.53"}}),
    Vantrel::Test::RowName());

// Runs in a child process: the run it leaves behind must not outlive the test's own process.
TEST(RunnerDestruction, WhileTheRuntimeIgnoresStopReturnsAndCutsTheRunOff)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            QTemporaryDir dir;
            const QString flow = dir.filePath(QStringLiteral("linger.flow"));
            QFile file(flow);
            file.open(QIODevice::WriteOnly);
            // Keeps running, and emitting, for 20 s after the stop request.
            file.write("weaveflow 1\nrate 50\noutput human-presence\nlinger 20\n");
            file.close();

            auto *runner = new WeaveGraphRunner;
            runner->setSelectionProvider([=] {
                FlowSelection s;
                s.flowFilePath = flow;
                return s;
            });
            QObject::connect(runner, &WeaveGraphRunner::newHpdData, [] {});
            runner->start();
            QThread::msleep(300);

            QElapsedTimer timer;
            timer.start();
            delete runner;
            const bool returned = timer.elapsed() < 10000;
            // Frames keep coming; none may reach the destroyed runner.
            QThread::msleep(1000);
            _exit(returned ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace Vantrel
