// Whole runs of the real executable on the sample bundles and the stand-in runtime: presence lines,
// the raw frame FIFO with real readers, the saved options file, the exit statuses of runs that end
// by themselves, stop-after and termination signals.
#include "tests/e2e/cli/fiforeader.h"

#include "platform/weavegraph/frame_generated.h"
#include "tests/support/tablerows.h"
#include "tests/support/testfiles.h"
#include "tests/support/testprogram.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <ostream>
#include <set>

// Readable failure messages for Qt's strings.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}

namespace {

using Vantrel::Test::TestProgram;
using Vantrel::Test::writeFile;

const QString presenceBundle = QStringLiteral(SAMPLE_BUNDLE_DIR "/presence.hpd");
const QString faultsBundle = QStringLiteral(SAMPLE_BUNDLE_DIR "/testing/faults.hpd");

// Waits that only end a test early when something is wrong; a healthy run is far quicker.
constexpr int startupTimeoutMs = 20000;
constexpr int exitTimeoutMs = 30000;

// The demo's person stands 1.2 m away for the first 3 s of scene time: distance and state fields.
const QByteArray standingPerson = QByteArrayLiteral("120;\t1;\t");
const QByteArray standingPersonLine = ";\t" + standingPerson + '\n';

QStringList presenceRun(const QString &sensor, const QStringList &options)
{
    return QStringList{QStringLiteral("-f"),  presenceBundle,      QStringLiteral("Presence 1.0"), sensor,
                       QStringLiteral("FPS"), QStringLiteral("20")}
           + options;
}

QStringList faultsRun(const QString &sensor, const QStringList &options)
{
    return QStringList{QStringLiteral("-f"), faultsBundle, QStringLiteral("Faults 1.0"), sensor} + options;
}

struct PresenceLine
{
    qint64 timestamp = 0;
    QByteArray rest; // distance and state with their separators
};

// Standard output split into presence lines and "# " log lines; anything else is malformed.
struct Output
{
    QList<QByteArray> lines;
    QList<PresenceLine> presence;
    QList<QByteArray> log;
    QList<QByteArray> malformed;
    // Presence lines that follow the first log line holding the text.
    int presenceAfter(const QByteArray &logText) const;
};

Output parseOutput(const QByteArray &out)
{
    static const QRegularExpression presenceLine(QStringLiteral("^(\\d+);\\t(\\d+;\\t[01];\\t)$"));
    Output output;
    if (out.isEmpty())
        return output;
    QList<QByteArray> lines = out.split('\n');
    if (!out.endsWith('\n'))
        output.malformed.append(lines.constLast());
    lines.removeLast();
    for (const QByteArray &line : qAsConst(lines)) {
        output.lines.append(line);
        if (line.startsWith("# ")) {
            output.log.append(line.mid(2));
            continue;
        }
        const QRegularExpressionMatch match = presenceLine.match(QString::fromLatin1(line));
        if (match.hasMatch())
            output.presence.append({match.captured(1).toLongLong(), match.captured(2).toLatin1()});
        else
            output.malformed.append(line);
    }
    return output;
}

int Output::presenceAfter(const QByteArray &logText) const
{
    int count = -1;
    for (const QByteArray &line : lines) {
        if (count < 0 && line.startsWith("# ") && line.contains(logText))
            count = 0;
        else if (count >= 0 && !line.startsWith("# "))
            ++count;
    }
    return qMax(count, 0);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Member names in the order the file lists them.
QStringList keysInFileOrder(const QByteArray &json)
{
    static const QRegularExpression member(QStringLiteral("^    \"([^\"]+)\":"), QRegularExpression::MultilineOption);
    QStringList keys;
    QRegularExpressionMatchIterator it = member.globalMatch(QString::fromUtf8(json));
    while (it.hasNext())
        keys.append(it.next().captured(1));
    return keys;
}

// --- Presence lines ---------------------------------------------------------------------------

TEST(PresenceLines, OneLinePerReportInTheLineFormat)
{
    TestProgram cli;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(cli.start(presenceRun("Simulation", {"-s", "--stop-after", "2"})));
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(cli.exitedNormally());
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(cli.err(), QByteArray());

    const Output output = parseOutput(cli.out());
    EXPECT_TRUE(output.malformed.isEmpty()) << cli.out().toStdString();
    EXPECT_TRUE(output.log.isEmpty()) << cli.out().toStdString();
    // 20 frames a second for 2 s.
    EXPECT_GE(output.presence.size(), 5);
    EXPECT_LE(output.presence.size(), 60);
    qint64 previous = before - 1000;
    for (const PresenceLine &line : output.presence) {
        EXPECT_EQ(line.rest, standingPerson);
        EXPECT_GE(line.timestamp, previous);
        EXPECT_LE(line.timestamp, after + 1000);
        previous = line.timestamp;
    }
}

struct HeaderCase
{
    const char *name; // the log level
    bool header;
};

using Vantrel::Test::operator<<;

class PresenceHeader : public ::testing::TestWithParam<HeaderCase>
{};

// A finite run: ten frames, so ten lines, each report printed once; the header record is info.
TEST_P(PresenceHeader, PrintedOnceBeforeTheFirstLineFromLevelTwo)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun("Finite", {"-s", "-l", GetParam().name})));
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);
    const Output output = parseOutput(cli.out());
    EXPECT_TRUE(output.malformed.isEmpty()) << cli.out().toStdString();
    EXPECT_EQ(output.presence.size(), 10) << cli.out().toStdString();

    const QByteArray header = QByteArrayLiteral("# timestamp;\tdistance;\tstate\n");
    const int headerAt = cli.out().indexOf(header);
    EXPECT_EQ(headerAt != -1, GetParam().header) << cli.out().toStdString();
    if (GetParam().header) {
        EXPECT_EQ(cli.out().count(header), 1);
        EXPECT_LT(headerAt, cli.out().indexOf(standingPersonLine));
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, PresenceHeader, ::testing::Values(HeaderCase{"1", false}, HeaderCase{"2", true}),
                         [](const ::testing::TestParamInfo<HeaderCase> &info) {
                             return "Level" + std::string(info.param.name);
                         });

// --- Runs that end by themselves --------------------------------------------------------------

struct SelfEndingCase
{
    const char *name; // the sensor
    int status;
    int presenceLines;
    const char *message; // the one log line at level 1; empty for none
};

class SelfEndingRun : public ::testing::TestWithParam<SelfEndingCase>
{};

TEST_P(SelfEndingRun, EndsWithTheRunnersOutcome)
{
    const SelfEndingCase &c = GetParam();
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun(c.name, {"-s"})));
    EXPECT_EQ(cli.finish(exitTimeoutMs), c.status);

    const Output output = parseOutput(cli.out());
    EXPECT_TRUE(output.malformed.isEmpty()) << cli.out().toStdString();
    EXPECT_EQ(output.presence.size(), c.presenceLines) << cli.out().toStdString();
    if (*c.message) {
        // The runner's own message comes last, after every report of the run.
        EXPECT_TRUE(cli.out().endsWith(QByteArray("# ") + c.message + '\n')) << cli.out().toStdString();
    } else {
        EXPECT_TRUE(output.log.isEmpty()) << cli.out().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SelfEndingRun,
    ::testing::Values(SelfEndingCase{"Finite", 0, 10, ""},
                      SelfEndingCase{"ExitCode", 6, 5, "WeaveGraph thread finished with exit code: 9"},
                      SelfEndingCase{"RejectFlow", 6, 0, "WeaveGraph can't load flow file linear: 42"},
                      SelfEndingCase{"RejectParameters", 6, 0, "WeaveGraph couldn't set parameters: 43"},
                      SelfEndingCase{"BadParb", 6, 0, "WeaveGraph couldn't set parameters: 20"}),
    Vantrel::Test::RowName());

// --- Stop-after and termination signals -------------------------------------------------------

TEST(StopAfter, OneSecondEndsTheRunWithStatusZero)
{
    TestProgram cli;
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(cli.start(presenceRun("Simulation", {"-s", "--stop-after", "1"})));
    EXPECT_EQ(cli.finish(exitTimeoutMs), 0);
    const qint64 ms = elapsed.elapsed();
    EXPECT_GE(ms, 1000);
    EXPECT_LT(ms, 8000);
    EXPECT_TRUE(parseOutput(cli.out()).malformed.isEmpty()) << cli.out().toStdString();
}

bool hasPresenceLine(const QByteArray &out)
{
    return out.contains(standingPersonLine);
}

struct SignalCase
{
    const char *name;
    int signalNumber;
};

class FirstSignal : public ::testing::TestWithParam<SignalCase>
{};

TEST_P(FirstSignal, StopsTheRunWithStatusZero)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(presenceRun("Simulation", {"-s"})));
    ASSERT_TRUE(cli.waitForOutput(hasPresenceLine, startupTimeoutMs)) << cli.out().toStdString();
    cli.sendSignal(GetParam().signalNumber);
    EXPECT_EQ(cli.finish(exitTimeoutMs), 0);
    EXPECT_TRUE(parseOutput(cli.out()).malformed.isEmpty()) << cli.out().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Signals, FirstSignal,
                         ::testing::Values(SignalCase{"SIGINT", SIGINT}, SignalCase{"SIGTERM", SIGTERM},
                                           SignalCase{"SIGHUP", SIGHUP}),
                         Vantrel::Test::RowName());

// The Linger graph keeps running 5 s after a stop request; the program gives it 2 s.
TEST(LingeringGraph, ProcessEndsAboutTwoSecondsAfterTheSignal)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun("Linger", {"-s"})));
    ASSERT_TRUE(cli.waitForOutput(hasPresenceLine, startupTimeoutMs)) << cli.out().toStdString();
    QElapsedTimer elapsed;
    elapsed.start();
    cli.sendSignal(SIGTERM);
    EXPECT_EQ(cli.finish(exitTimeoutMs), 0);
    const qint64 ms = elapsed.elapsed();
    EXPECT_GE(ms, 1500);
    EXPECT_LE(ms, 4500);
}

// Accepting the SlowLoad flow takes 2 s; a stop asked during that time must still end the run, which
// otherwise would go on until the forced exit, without ever reporting its end.
TEST(SlowLoadingGraph, StopDuringLoadingEndsTheRunOnceTheRuntimeReturns)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun("SlowLoad", {"-s", "-l", "2", "--stop-after", "1"})));
    EXPECT_EQ(cli.finish(exitTimeoutMs), 0);
    const QByteArray out = cli.out();
    const int stopping = out.indexOf("# Stopping WeaveGraphRunner\n");
    ASSERT_NE(stopping, -1) << out.toStdString();
    EXPECT_GT(out.indexOf("# WeaveGraph thread finished with exit code: 0\n"), stopping) << out.toStdString();
}

// --- Standard output whose reader stops reading ----------------------------------------------

// The test stops reading the program's standard output; at full rate the pipe and the program's own
// queue are full at once. The first signal must still end the program while nothing is read.
TEST(StalledStandardOutput, FirstSignalEndsTheProgramWhileNothingIsRead)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun("FullRate", {"-s"})));
    ASSERT_TRUE(cli.waitForOutput(hasPresenceLine, startupTimeoutMs)) << cli.out().toStdString();
    QThread::msleep(1000);
    ASSERT_FALSE(cli.hasEnded());
    cli.sendSignal(SIGINT);
    QElapsedTimer elapsed;
    elapsed.start();
    while (!cli.hasEnded() && elapsed.elapsed() < exitTimeoutMs)
        QThread::msleep(20);
    EXPECT_TRUE(cli.hasEnded()) << "still running with standard output stalled";

    EXPECT_EQ(cli.finish(exitTimeoutMs), 0);
    EXPECT_EQ(parseOutput(cli.out()).malformed, QList<QByteArray>()) << "lines are written whole";
}

// A reader that stalls and then reads again: presence lines are dropped meanwhile, with one warning
// when dropping begins and one with the count once lines go through again.
TEST(StalledStandardOutput, DroppedLinesAreReportedOnceTheReaderReadsAgain)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun("FullRate", {"-s", "--stop-after", "3"})));
    ASSERT_TRUE(cli.waitForOutput(hasPresenceLine, startupTimeoutMs)) << cli.out().toStdString();
    QThread::msleep(1000);
    EXPECT_EQ(cli.finish(exitTimeoutMs), 0);

    const Output output = parseOutput(cli.out());
    EXPECT_EQ(output.malformed, QList<QByteArray>());
    const int behind = output.log.indexOf("Output is falling behind; dropping frames");
    ASSERT_NE(behind, -1) << cli.out().right(2000).toStdString();
    static const QRegularExpression dropped(QStringLiteral("^Dropped [1-9][0-9]* frames while the output was behind$"));
    int reported = -1;
    for (int i = behind + 1; i < output.log.size() && reported < 0; ++i) {
        if (dropped.match(QString::fromLatin1(output.log.at(i))).hasMatch())
            reported = i;
    }
    EXPECT_NE(reported, -1) << cli.out().right(2000).toStdString();
}

// A reader stalled to the end of the run: no line goes through after dropping began, so the count is
// reported when the run ends. The FIFO, removed once the run has stopped, tells the test when to read.
TEST(StalledStandardOutput, LinesDroppedToTheEndOfTheRunAreReported)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("hpd.fifo"));
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun("FullRate", {"-s", "-p", "--pipe-name", fifo, "--options-path",
                                                 dir.filePath(QStringLiteral("options.json")), "--stop-after", "2"})));
    ASSERT_TRUE(cli.waitForOutput(hasPresenceLine, startupTimeoutMs)) << cli.out().toStdString();
    QElapsedTimer elapsed;
    elapsed.start();
    while (QFileInfo::exists(fifo) && elapsed.elapsed() < exitTimeoutMs)
        QThread::msleep(10);
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));

    const Output output = parseOutput(cli.out());
    const int warned = int(output.log.count("Output is falling behind; dropping frames"));
    static const QRegularExpression dropped(QStringLiteral("^Dropped [1-9][0-9]* frames while the output was behind$"));
    int reported = 0;
    for (const QByteArray &line : output.log)
        reported += dropped.match(QString::fromLatin1(line)).hasMatch() ? 1 : 0;
    EXPECT_GE(warned, 1) << cli.out().right(2000).toStdString();
    EXPECT_EQ(reported, warned) << cli.out().right(2000).toStdString();
}

struct SecondSignalCase
{
    const char *name;
    int first;
    int second;
};

class SecondSignal : public ::testing::TestWithParam<SecondSignalCase>
{};

// Without the second signal the process would end with status 0 when the 2 s wait runs out. The
// FIFO it made goes with it, so that the next run can make its own.
TEST_P(SecondSignal, EndsTheProcessAtOnceWithStatusTwo)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("hpd.fifo"));
    TestProgram cli;
    ASSERT_TRUE(cli.start(faultsRun("Linger", {"-s", "-l", "2", "-p", "--pipe-name", fifo, "--options-path",
                                               dir.filePath(QStringLiteral("options.json"))})));
    ASSERT_TRUE(cli.waitForOutput(hasPresenceLine, startupTimeoutMs)) << cli.out().toStdString();
    ASSERT_TRUE(waitForFifo(fifo, startupTimeoutMs));
    cli.sendSignal(GetParam().first);
    // The stop is logged once the first signal has been handled, so the two cannot merge.
    ASSERT_TRUE(cli.waitForOutput([](const QByteArray &out) { return out.contains("# Stopping WeaveGraphRunner\n"); },
                                  startupTimeoutMs))
        << cli.out().toStdString();
    cli.sendSignal(GetParam().second);
    EXPECT_EQ(cli.finish(exitTimeoutMs), 2);
    EXPECT_FALSE(QFileInfo::exists(fifo));
}

INSTANTIATE_TEST_SUITE_P(Signals, SecondSignal,
                         ::testing::Values(SecondSignalCase{"IntThenInt", SIGINT, SIGINT},
                                           SecondSignalCase{"HupThenTerm", SIGHUP, SIGTERM}),
                         Vantrel::Test::RowName());

// --- The raw frame FIFO and the saved options -------------------------------------------------

class Streaming : public ::testing::Test
{
protected:
    QString fifo() const { return m_dir.filePath(QStringLiteral("hpd.fifo")); }
    QString options() const { return m_dir.filePath(QStringLiteral("selected_options.json")); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

TEST_F(Streaming, OptionsFileBeforeTheFirstFrameVerifiedFramesAndTheFifoRemoved)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(presenceRun("Simulation", {"sensitivity", "high", "-t", "30", "-s", "-p", "--pipe-name",
                                                     fifo(), "--options-path", options(), "--stop-after", "3"})));
    ASSERT_TRUE(waitForFifo(fifo(), startupTimeoutMs)) << cli.out().toStdString();
    // The file is complete by the time the FIFO exists, and no frame can be read before that.
    const QByteArray saved = readFile(options());
    FifoReader reader(fifo());
    ASSERT_TRUE(reader.isOpen());
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(fifo()));

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(saved, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << saved.toStdString();
    EXPECT_EQ(saved, document.toJson(QJsonDocument::Indented));
    EXPECT_EQ(keysInFileOrder(saved), QStringList({"FPS", "algorithm", "connection", "graphBuildID", "graphCommitHash",
                                                   "range", "sensitivity", "timeout"}));
    const QJsonObject object = document.object();
    EXPECT_EQ(object.value("algorithm").toString(), QStringLiteral("Presence 1.0"));
    EXPECT_EQ(object.value("graphBuildID").toString(), QStringLiteral("standin-6.4.53"));
    EXPECT_EQ(object.value("graphCommitHash").toString(), QStringLiteral("standin"));
    ASSERT_TRUE(object.value("timeout").isDouble());
    EXPECT_EQ(object.value("timeout").toDouble(), 30.0);
    // Named, fixed and default parameters alike hold their parb file names.
    EXPECT_EQ(object.value("connection").toString(), QStringLiteral("connection-simulation.parb"));
    EXPECT_EQ(object.value("FPS").toString(), QStringLiteral("fps-20.parb"));
    EXPECT_EQ(object.value("sensitivity").toString(), QStringLiteral("sensitivity-high.parb"));
    EXPECT_EQ(object.value("range").toString(), QStringLiteral("range-3m.parb"));

    const FrameStream stream = readFrames(reader.finish());
    EXPECT_TRUE(stream.wellFormed && !stream.endsInsideAFrame);
    ASSERT_GE(stream.frames.size(), 5u);
    const Output output = parseOutput(cli.out());
    std::set<qint64> printed;
    for (const PresenceLine &line : output.presence)
        printed.insert(line.timestamp);
    for (size_t i = 0; i < stream.frames.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(stream.frames[i].sequenceNumber, stream.frames[i - 1].sequenceNumber);
        }
        // Each streamed frame is also a printed report.
        EXPECT_EQ(printed.count(stream.frames[i].timestamp), 1u) << stream.frames[i].timestamp;
    }
}

TEST_F(Streaming, WithoutPipeNoOptionsFileIsWritten)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(
        presenceRun("Simulation", {"-s", "--options-path", options(), "--pipe-name", fifo(), "--stop-after", "1"})));
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(options()));
    EXPECT_FALSE(QFileInfo::exists(fifo()));
    EXPECT_TRUE(parseOutput(cli.out()).log.isEmpty()) << cli.out().toStdString();
}

TEST_F(Streaming, SecondRunReplacesTheOptionsFile)
{
    for (const char *sensitivity : {"high", "low"}) {
        TestProgram cli;
        ASSERT_TRUE(cli.start(presenceRun("Simulation", {"sensitivity", sensitivity, "-p", "--pipe-name", fifo(),
                                                         "--options-path", options(), "--stop-after", "1"})));
        ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
        EXPECT_EQ(cli.exitCode(), 0);
    }
    const QJsonObject object = QJsonDocument::fromJson(readFile(options())).object();
    EXPECT_EQ(object.value("sensitivity").toString(), QStringLiteral("sensitivity-low.parb"));
    EXPECT_EQ(object.size(), 8);
}

TEST_F(Streaming, OptionsFileThatCannotBeOpenedLeavesTheStreamRunning)
{
    const QString unwritable = path(QStringLiteral("missing/selected_options.json"));
    TestProgram cli;
    ASSERT_TRUE(cli.start(
        presenceRun("Simulation", {"-p", "--pipe-name", fifo(), "--options-path", unwritable, "--stop-after", "3"})));
    ASSERT_TRUE(waitForFifo(fifo(), startupTimeoutMs)) << cli.out().toStdString();
    FifoReader reader(fifo());
    ASSERT_TRUE(reader.isOpen());
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(cli.out(), "# Couldn't open file " + unwritable.toUtf8() + " to save parameters\n");
    EXPECT_FALSE(QFileInfo::exists(unwritable));
    EXPECT_FALSE(QFileInfo::exists(fifo()));

    const FrameStream stream = readFrames(reader.finish());
    EXPECT_TRUE(stream.wellFormed && !stream.endsInsideAFrame);
    EXPECT_GE(stream.frames.size(), 5u);
}

// A reader that opens the FIFO and never reads fills it; writing must not hold up the presence lines.
TEST_F(Streaming, ReaderThatDoesNotReadNeverHoldsUpPresenceLines)
{
    TestProgram cli;
    ASSERT_TRUE(cli.start(presenceRun(
        "Simulation", {"-s", "-p", "--pipe-name", fifo(), "--options-path", options(), "--stop-after", "4"})));
    ASSERT_TRUE(waitForFifo(fifo(), startupTimeoutMs)) << cli.out().toStdString();
    FifoEnd idleReader(fifo());
    ASSERT_TRUE(idleReader.isOpen());
    // About 25 frames fill one page.
    ASSERT_TRUE(idleReader.setCapacity(4096));
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);

    const QByteArray fullWarning = "Error while writing to named pipe " + fifo().toUtf8() + ": ";
    const Output output = parseOutput(cli.out());
    EXPECT_TRUE(output.malformed.isEmpty()) << cli.out().toStdString();
    ASSERT_TRUE(cli.out().contains(fullWarning)) << cli.out().toStdString();
    EXPECT_GE(output.presenceAfter(fullWarning), 10) << cli.out().toStdString();
    // Frames too big for the room left were dropped whole.
    const FrameStream stream = readFrames(idleReader.readAvailable());
    EXPECT_TRUE(stream.wellFormed && !stream.endsInsideAFrame);
    EXPECT_GE(stream.frames.size(), 1u);
}

// --- The USB bridge check ---------------------------------------------------------------------

enum class Bridge { None, FT4222 };

// An FT4222 in its default mode: one device with two interfaces, listed as "FT4222 A" and "FT4222 B".
bool plugInFT4222(const QString &sysfsRoot)
{
    const QString device = sysfsRoot + QStringLiteral("/bus/usb/devices/1-1");
    return QDir().mkpath(device) && writeFile(device + "/idVendor", "0403\n")
           && writeFile(device + "/idProduct", "601c\n") && writeFile(device + "/product", "FT4222\n")
           && writeFile(device + "/serial", "FT1\n") && writeFile(device + "/bNumInterfaces", " 2\n")
           && writeFile(device + "/busnum", "1\n") && writeFile(device + "/devnum", "2\n");
}

struct BridgeCase
{
    const char *name;
    const char *sensor;
    Bridge bridge;
    int status;
};

class BridgeCheck : public ::testing::TestWithParam<BridgeCase>
{
protected:
    QTemporaryDir m_dir;
};

TEST_P(BridgeCheck, DecidesWhetherTheRunStarts)
{
    const BridgeCase &c = GetParam();
    const QString fifo = m_dir.filePath(QStringLiteral("hpd.fifo"));
    const QString options = m_dir.filePath(QStringLiteral("selected_options.json"));
    TestProgram cli;
    if (c.bridge == Bridge::FT4222) {
        ASSERT_TRUE(plugInFT4222(cli.home().sysfsRoot()));
    }
    ASSERT_TRUE(cli.start(
        presenceRun(c.sensor, {"-s", "-p", "--pipe-name", fifo, "--options-path", options, "--stop-after", "1"})));
    EXPECT_EQ(cli.finish(exitTimeoutMs), c.status);
    EXPECT_EQ(cli.err(), QByteArray());
    EXPECT_FALSE(QFileInfo::exists(fifo));
    if (c.status == 5) {
        EXPECT_EQ(cli.out(), QByteArray("# Can't find FTDI USB dongle.\n"
                                        "# Make sure the module is properly connected and FTDI drivers installed.\n"));
        EXPECT_FALSE(QFileInfo::exists(options));
    } else {
        EXPECT_TRUE(QFileInfo::exists(options));
        EXPECT_TRUE(cli.out().contains(standingPersonLine)) << cli.out().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Sensors, BridgeCheck,
                         ::testing::Values(BridgeCase{"ModuleWithoutBridge", "Module", Bridge::None, 5},
                                           BridgeCase{"ModuleWithBridge", "Module", Bridge::FT4222, 0},
                                           BridgeCase{"SimulationNeedsNoBridge", "Simulation", Bridge::None, 0}),
                         Vantrel::Test::RowName());

} // namespace
