// The real executable as systemd runs it: readiness, watchdog pings and stopping on a datagram socket
// standing in for systemd's, and each log line's journal priority when standard output is the journal.
#include "tests/e2e/cli/notifysocket.h"
#include "tests/e2e/cli/replaybundle.h"
#include "tests/support/tablerows.h"
#include "tests/support/testframebuilder.h"
#include "tests/support/testprogram.h"

#include "platform/weavegraph/framevocabulary.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Vantrel::Test::TestProgram;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Vantrel::Test::operator<<;
namespace Frames = Vantrel::Frames;

const QString faultsBundle = QStringLiteral(SAMPLE_BUNDLE_DIR "/testing/faults.hpd");
const QString cliBundle = QStringLiteral(E2E_BUNDLE_DIR "/cli.hpd");
constexpr int startupTimeoutMs = 20000;
constexpr int exitTimeoutMs = 60000;

QStringList faultsRun(const QString &sensor, const QStringList &options)
{
    return QStringList{QStringLiteral("-f"), faultsBundle, QStringLiteral("Faults 1.0"), sensor} + options;
}

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// A run to its end with its notification socket, and the watchdog as the test sets it.
struct NotifiedRun
{
    NotifySocket socket;
    TestProgram cli;
    Clock::time_point started;

    bool runToTheEnd(const QStringList &arguments, const QString &watchdogUsec = {}, const QString &watchdogPid = {})
    {
        if (!socket.isOpen())
            return false;
        cli.setEnvironmentVariable(QStringLiteral("NOTIFY_SOCKET"), socket.path());
        if (!watchdogUsec.isEmpty())
            cli.setEnvironmentVariable(QStringLiteral("WATCHDOG_USEC"), watchdogUsec);
        if (!watchdogPid.isEmpty())
            cli.setEnvironmentVariable(QStringLiteral("WATCHDOG_PID"), watchdogPid);
        started = Clock::now();
        return cli.start(arguments) && cli.waitForExit(exitTimeoutMs);
    }
};

TEST(ServiceNotification, ReadyOnceWithTheFirstFrameNamingAlgorithmAndSensorThenStopping)
{
    NotifiedRun run;
    ASSERT_TRUE(run.runToTheEnd(faultsRun(QStringLiteral("Chatty"), {"-s", "--stop-after", "2"})));
    EXPECT_EQ(run.cli.exitCode(), 0) << run.cli.out().toStdString();

    const QList<NotifySocket::Message> ready = run.socket.messagesWith("READY=1");
    ASSERT_EQ(ready.size(), 1);
    EXPECT_TRUE(ready.first().has("STATUS=Running Faults 1.0 with sensor Chatty")) << ready.first().text.toStdString();
    const QList<NotifySocket::Message> stopping = run.socket.messagesWith("STOPPING=1");
    ASSERT_EQ(stopping.size(), 1);
    EXPECT_GE(stopping.first().received, ready.first().received);
    // No watchdog was asked for.
    EXPECT_TRUE(run.socket.messagesWith("WATCHDOG=1").isEmpty());
}

TEST(ServiceNotification, ReadyWaitsForAFrameWhileTheRuntimeIsLoading)
{
    // The stand-in takes 2 s to accept this flow: no frame can come before.
    NotifiedRun run;
    ASSERT_TRUE(run.runToTheEnd(faultsRun(QStringLiteral("SlowLoad"), {"-s", "--stop-after", "4"})));
    EXPECT_EQ(run.cli.exitCode(), 0) << run.cli.out().toStdString();

    const QList<NotifySocket::Message> ready = run.socket.messagesWith("READY=1");
    ASSERT_EQ(ready.size(), 1);
    EXPECT_GE(secondsBetween(run.started, ready.first().received), 1.9);
    EXPECT_EQ(run.socket.messagesWith("STOPPING=1").size(), 1);
}

TEST(ServiceNotification, NoReadinessWhenNoFrameEverCame)
{
    // Stopped while the runtime is still loading: it never delivered, so the service was never ready.
    NotifiedRun run;
    ASSERT_TRUE(
        run.runToTheEnd(faultsRun(QStringLiteral("SlowLoad"), {"-s", "--stop-after", "1"}), QStringLiteral("100000")));
    EXPECT_EQ(run.cli.exitCode(), 0);
    EXPECT_TRUE(run.socket.messagesWith("READY=1").isEmpty());
    EXPECT_TRUE(run.socket.messagesWith("WATCHDOG=1").isEmpty());
    EXPECT_EQ(run.socket.messagesWith("STOPPING=1").size(), 1);
}

TEST(ServiceNotification, WatchdogOfAnotherProcessIsNotFed)
{
    NotifiedRun run;
    ASSERT_TRUE(run.runToTheEnd(faultsRun(QStringLiteral("Chatty"), {"-s", "--stop-after", "3"}),
                                QStringLiteral("200000"), QString::number(::getpid())));
    EXPECT_EQ(run.cli.exitCode(), 0);
    // The socket works (readiness came), and about 25 pings would have come for this process.
    EXPECT_EQ(run.socket.messagesWith("READY=1").size(), 1);
    EXPECT_TRUE(run.socket.messagesWith("WATCHDOG=1").isEmpty());
}

TEST(ServiceNotification, RunsWithAWatchdogButNoNotificationSocket)
{
    // A watchdog asked for with nowhere to ping it: the run goes on and ends as it would.
    TestProgram cli;
    cli.setEnvironmentVariable(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("100000"));
    ASSERT_TRUE(cli.start(faultsRun(QStringLiteral("Chatty"), {"-s", "--stop-after", "1"})));
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0) << cli.err().toStdString();
}

// A recording replayed by the stand-in runtime at its recorded pace: frames every 50 ms for 4 s, then
// nothing for 6 s (the runtime hangs without returning), then frames for 4 s more.
class StallingRuntime : public ::testing::Test
{
protected:
    static constexpr int64_t flowingMs = 4000;
    static constexpr int64_t stallMs = 6000;

    void SetUp() override
    {
        std::vector<int64_t> offsets;
        for (int64_t at = 0; at < flowingMs; at += 50)
            offsets.push_back(at);
        for (int64_t at = flowingMs + stallMs; at < 2 * flowingMs + stallMs; at += 50)
            offsets.push_back(at);
        ASSERT_TRUE(record(offsets));
        ASSERT_TRUE(buildBundle());
    }

    QStringList arguments() const
    {
        return {QStringLiteral("-f"), path("replay.hpd"), QStringLiteral("Replay 1.0"), QStringLiteral("Recording"),
                QStringLiteral("-s")};
    }

private:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    bool record(const std::vector<int64_t> &offsets) const
    {
        QFile recording(path("recording.bin"));
        if (!recording.open(QIODevice::WriteOnly))
            return false;
        for (uint32_t i = 0; i < offsets.size(); ++i) {
            const std::vector<uint8_t> frame = Vantrel::Fixtures::singleSignalFrame(
                Frames::Key::SignalSemanticHumanPresence,
                {Vantrel::Fixtures::int32Array(Frames::Key::ArraySemanticHumanPresence, {1, 12, 0, 80})}, i,
                1700000000000 + offsets[i]);
            if (recording.write(reinterpret_cast<const char *>(frame.data()), qint64(frame.size()))
                != qint64(frame.size()))
                return false;
        }
        return recording.flush();
    }

    bool buildBundle() const { return Vantrel::Test::buildReplayBundle(path("replay.hpd"), path("recording.bin")); }

    QTemporaryDir m_dir;
};

TEST_F(StallingRuntime, WatchdogPingsWhileFramesFlowStopWhileTheyStallAndComeBackWithThem)
{
    // A 1 s watchdog: pings every 0.5 s while a frame came within the last second.
    NotifiedRun run;
    ASSERT_TRUE(run.runToTheEnd(arguments(), QStringLiteral("1000000")));
    EXPECT_EQ(run.cli.exitCode(), 0) << run.cli.out().toStdString();

    const QList<NotifySocket::Message> ready = run.socket.messagesWith("READY=1");
    ASSERT_EQ(ready.size(), 1);
    const QList<NotifySocket::Message> pings = run.socket.messagesWith("WATCHDOG=1");
    ASSERT_GE(pings.size(), 4);
    for (const NotifySocket::Message &ping : pings)
        EXPECT_GE(ping.received, ready.first().received);

    // The longest silence is the stall: 6 s without frames, less the second a last frame keeps the
    // service alive and half a second of ticking. Pings on through the stall would leave 0.5 s gaps.
    int gapEnd = 1;
    for (int i = 1; i < pings.size(); ++i)
        if (pings[i].received - pings[i - 1].received > pings[gapEnd].received - pings[gapEnd - 1].received)
            gapEnd = i;
    EXPECT_GE(secondsBetween(pings[gapEnd - 1].received, pings[gapEnd].received), 3.5) << pings.size() << " pings";
    // Pings came both while frames flowed before the stall and after they came back.
    EXPECT_GE(gapEnd, 2);
    EXPECT_GE(pings.size() - gapEnd, 2);
    // After the run ends, the program says it is stopping and pings no more.
    const QList<NotifySocket::Message> stopping = run.socket.messagesWith("STOPPING=1");
    ASSERT_EQ(stopping.size(), 1);
    EXPECT_LE(pings.last().received, stopping.first().received);
}

// Standard output on a pipe of the test's own (a FIFO, so its device and inode are known before the
// program starts), with JOURNAL_STREAM made from them as the case says.
struct PipedRun
{
    int exitCode = -1;
    QByteArray out;
};

using JournalStreamFor = std::function<QString(const struct stat &)>;

PipedRun runOnPipe(const QStringList &arguments, const JournalStreamFor &journalStream)
{
    PipedRun result;
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("stdout"));
    if (::mkfifo(fifo.toLocal8Bit().constData(), 0600) != 0)
        return result;
    const int fd = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status = {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return result;

    TestProgram cli;
    if (journalStream)
        cli.setEnvironmentVariable(QStringLiteral("JOURNAL_STREAM"), journalStream(status));
    cli.setStandardOutputFile(fifo);
    cli.keepInputOpen();
    cli.start(arguments);
    const auto drain = [&result, fd] {
        char buffer[4096];
        ssize_t size = 0;
        while ((size = ::read(fd, buffer, sizeof(buffer))) > 0)
            result.out.append(buffer, int(size));
    };
    const QDeadlineTimer deadline(exitTimeoutMs);
    while (!cli.waitForExit(0) && !deadline.hasExpired()) {
        pollfd readable = {fd, POLLIN, 0};
        ::poll(&readable, 1, 50);
        drain();
    }
    result.exitCode = cli.finish(0);
    cli.sendSignal(SIGKILL);
    cli.waitForExit(-1);
    drain();
    ::close(fd);
    return result;
}

QString deviceAndInode(const struct stat &status)
{
    return QStringLiteral("%1:%2").arg(qulonglong(status.st_dev)).arg(qulonglong(status.st_ino));
}

struct JournalCase
{
    const char *name;
    QStringList arguments;
    int exitCode;
    // Lines that must be there, prefix included; a line ending in "*" stands for any line that begins so.
    QList<QByteArray> expected;
    // Priorities a log line of this run may carry.
    std::vector<int> allowed;
};

class JournalPriorities : public ::testing::TestWithParam<JournalCase>
{};

TEST_P(JournalPriorities, EachLogLineCarriesThePriorityOfItsLevelAndPresenceLinesNone)
{
    const JournalCase &c = GetParam();
    const PipedRun run = runOnPipe(c.arguments, deviceAndInode);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString();
    ASSERT_TRUE(run.out.endsWith('\n')) << run.out.toStdString();

    static const QRegularExpression presenceLine(QStringLiteral("^\\d+;\\t\\d+;\\t[01];\\t$"));
    static const QRegularExpression logLine(QStringLiteral("^<(\\d)># "));
    QList<QByteArray> lines = run.out.split('\n');
    lines.removeLast();
    for (const QByteArray &line : qAsConst(lines)) {
        const QRegularExpressionMatch prefix = logLine.match(QString::fromUtf8(line));
        if (prefix.hasMatch()) {
            const int priority = prefix.captured(1).toInt();
            EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), priority), c.allowed.end()) << line.toStdString();
        } else {
            EXPECT_TRUE(presenceLine.match(QString::fromUtf8(line)).hasMatch()) << line.toStdString();
        }
    }
    for (const QByteArray &expected : c.expected) {
        const bool found = std::any_of(lines.cbegin(), lines.cend(), [&expected](const QByteArray &line) {
            return expected.endsWith('*') ? line.startsWith(expected.chopped(1)) : line == expected;
        });
        EXPECT_TRUE(found) << expected.toStdString() << "\nin\n" << run.out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, JournalPriorities,
    ::testing::Values(JournalCase{"WarningsAtLevel1",
                                  faultsRun("Chatty", {"-s", "-l", "1", "--stop-after", "2"}),
                                  0,
                                  {"<4># chatty: level one"},
                                  {2, 3, 4}},
                      JournalCase{"InfoAtLevel2",
                                  faultsRun("Chatty", {"-s", "-l", "2", "--stop-after", "2"}),
                                  0,
                                  {"<4># chatty: level two", "<6># Starting WeaveGraph thread",
                                   "<6># timestamp;\tdistance;\tstate",
                                   "<6># WeaveGraph thread finished with exit code: 0"},
                                  {2, 3, 4, 6}},
                      // The catalogue's note on a parameter for another platform is a debug record of three lines.
                      JournalCase{"DebugAtLevel3EveryLineOfARecord",
                                  {"-f", cliBundle, "-l", "3"},
                                  3,
                                  {"<7># Ignoring parameter which is not supported on current platform.",
                                   "<7># Supported platforms: *", "<7># Current platform: *",
                                   "<4># Not all mandatory parameters have been provided"},
                                  {2, 3, 4, 6, 7}},
                      JournalCase{"ErrorsForTheUser",
                                  faultsRun("ExitCode", {"-s", "-l", "2"}),
                                  6,
                                  {"<3># WeaveGraph thread finished with exit code: 9"},
                                  {2, 3, 4, 6}},
                      JournalCase{"WrongLogLevel", {"-l", "0"}, 3, {"<3># Wrong log level: 0"}, {3}}),
    Vantrel::Test::RowName());

struct MismatchCase
{
    const char *name;
    JournalStreamFor journalStream;
};

class MismatchedJournalStream : public ::testing::TestWithParam<MismatchCase>
{};

TEST_P(MismatchedJournalStream, ChangesNothing)
{
    // A run whose output is the same every time: the catalogue's debug notes, then a bad selection.
    const QStringList arguments{"-f", cliBundle, "-l", "3"};
    const PipedRun plain = runOnPipe(arguments, nullptr);
    ASSERT_EQ(plain.exitCode, 3);
    ASSERT_TRUE(plain.out.startsWith("# ")) << plain.out.toStdString();
    const PipedRun mismatched = runOnPipe(arguments, GetParam().journalStream);
    EXPECT_EQ(mismatched.exitCode, 3);
    EXPECT_EQ(mismatched.out, plain.out);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, MismatchedJournalStream,
    ::testing::Values(
        MismatchCase{"OtherInode",
                     [](const struct stat &s) {
                         return QStringLiteral("%1:%2").arg(qulonglong(s.st_dev)).arg(qulonglong(s.st_ino) + 1);
                     }},
        MismatchCase{"OtherDevice",
                     [](const struct stat &s) {
                         return QStringLiteral("%1:%2").arg(qulonglong(s.st_dev) + 1).arg(qulonglong(s.st_ino));
                     }},
        MismatchCase{"TrailingText", [](const struct stat &s) { return deviceAndInode(s) + QStringLiteral("x"); }},
        MismatchCase{"Empty", [](const struct stat &) { return QString(); }}),
    Vantrel::Test::RowName());

} // namespace
