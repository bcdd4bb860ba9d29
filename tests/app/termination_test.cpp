// Termination signals sent from outside to a process running the program's lifecycle.
#include "tests/support/tablerows.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

namespace {

struct TerminationCase
{
    const char *name;
    int signalNumber;
};

using Vantrel::Test::operator<<;

class TerminationSignal : public ::testing::TestWithParam<TerminationCase>
{
protected:
    void startDriver(const QString &mode)
    {
        m_driver.start(QStringLiteral(LIFECYCLE_DRIVER), mode.isEmpty() ? QStringList() : QStringList{mode});
        ASSERT_TRUE(m_driver.waitForStarted(10000));
        ASSERT_TRUE(m_driver.waitForReadyRead(10000));
        ASSERT_EQ(m_driver.readLine().trimmed(), QByteArray("ready"));
    }

    void send(int signalNumber) { ::kill(static_cast<pid_t>(m_driver.processId()), signalNumber); }

    // The driver's exit status once it has ended on its own within ten seconds; -1 when it has not.
    int exitStatus()
    {
        if (!m_driver.waitForFinished(10000) || m_driver.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_driver.exitCode();
    }

    QProcess m_driver;
};

} // namespace

TEST_P(TerminationSignal, FirstSignalWhileIdleEndsWithStatus0)
{
    startDriver(QString());
    send(GetParam().signalNumber);
    EXPECT_EQ(exitStatus(), 0);
}

TEST_P(TerminationSignal, SecondSignalEndsAtOnceWithStatus2)
{
    startDriver(QStringLiteral("starting"));
    send(GetParam().signalNumber);
    // The first signal leaves the process waiting up to two seconds for its runner.
    ASSERT_FALSE(m_driver.waitForFinished(300));
    send(GetParam().signalNumber);
    EXPECT_EQ(exitStatus(), 2);
}

TEST_P(TerminationSignal, UnansweredStopEndsAfterTheBoundWithStatus0)
{
    startDriver(QStringLiteral("starting"));
    QElapsedTimer clock;
    clock.start();
    send(GetParam().signalNumber);
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_GE(clock.elapsed(), 1900);
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignal,
                         ::testing::Values(TerminationCase{"SIGINT", SIGINT}, TerminationCase{"SIGTERM", SIGTERM},
                                           TerminationCase{"SIGHUP", SIGHUP}),
                         Vantrel::Test::RowName());
