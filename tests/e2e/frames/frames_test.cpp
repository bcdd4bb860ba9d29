// vantrel-frames as its users run it: on the FIFO of a real vantrel-cli run, on recordings with
// faults in them, across a writer that goes and comes back, and with bad options.
#include "platform/weavegraph/framevocabulary.h"
#include "tests/e2e/frames/framesinput.h"
#include "tests/support/eventstreamtesting.h"
#include "tests/support/sampleframes.h"
#include "tests/support/tablerows.h"
#include "tests/support/testfiles.h"
#include "tests/support/testframebuilder.h"
#include "tests/support/testprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Vantrel::Fixtures::floatArray;
using Vantrel::Fixtures::int32Array;
using Vantrel::Fixtures::singleSignalFrame;
using Vantrel::Test::CurlStream;
using Vantrel::Test::framesProgram;
using Vantrel::Test::freePort;
using Vantrel::Test::operator<<;
using Vantrel::Test::presenceFrame;
using Vantrel::Test::TestProgram;
using Vantrel::Test::waitUntil;
using Vantrel::Test::writeFile;
namespace Key = Vantrel::Frames::Key;

using Finished = TestProgram::Result;

Finished runFrames(const QStringList &arguments, const QString &input = QString())
{
    TestProgram frames(framesProgram());
    if (!input.isEmpty())
        frames.setStandardInputFile(input);
    return frames.run(arguments);
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        EXPECT_TRUE(document.isObject()) << line.toStdString();
        objects.append(document.object());
    }
    return objects;
}

QByteArray bytesOf(const std::vector<uint8_t> &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size()));
}

// Every kind of frame in one recording, in the order of the samples.
TEST(JsonLines, EveryKindIsNamedAndDecodedWithItsUnits)
{
    QTemporaryDir dir;
    QByteArray recording;
    QStringList kinds;
    for (const Vantrel::Fixtures::SampleFrame &sample : Vantrel::Fixtures::sampleFrames())
        recording += bytesOf(sample.bytes);
    ASSERT_TRUE(writeFile(dir.filePath("all.bin"), recording));

    const Finished run = runFrames({dir.filePath("all.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QList<QJsonObject> lines = jsonLines(run.out);
    // The member each kind must carry, with its unit in its name.
    const QList<QPair<QString, QString>> expected = {{"human-presence", "distance_cm"},
                                                     {"presence3", "distance_cm"},
                                                     {"presence-profile", "power_db"},
                                                     {"range-presence", "threshold_db"},
                                                     {"range-profile", "range_cm"},
                                                     {"proximity-fast", "targets"},
                                                     {"proximity-statistics", "statistics"},
                                                     {"proximity-fixed", "targets"},
                                                     {"power", "power_cdb"},
                                                     {"heatmap", "zones"}};
    ASSERT_EQ(lines.size(), expected.size()) << run.out.toStdString();
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].value("kind").toString(), expected[i].first);
        EXPECT_TRUE(lines[i].contains(expected[i].second)) << expected[i].first.toStdString();
        EXPECT_EQ(lines[i].value("id").toString().size(), 8);
        EXPECT_TRUE(lines[i].contains("sequence") && lines[i].contains("timestamp"));
        EXPECT_FALSE(lines[i].contains("occupancy")) << "no hold time is known without --options";
    }
}

struct StreamCase
{
    std::string name;
    QByteArray stream;
    bool fromStandardInput;
    int status;
    QStringList kinds; // of the lines printed, in order
    QString message; // on standard error
};

class BadStreams : public ::testing::TestWithParam<StreamCase>
{};

TEST_P(BadStreams, EveryWholeFrameBeforeTheFaultIsPrinted)
{
    const StreamCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath("stream.bin");
    ASSERT_TRUE(writeFile(path, c.stream));
    const Finished run = c.fromStandardInput ? runFrames({}, path) : runFrames({path});
    EXPECT_EQ(run.exitCode, c.status) << run.err.toStdString();
    QStringList kinds;
    for (const QJsonObject &line : jsonLines(run.out))
        kinds.append(line.value("kind").toString());
    EXPECT_EQ(kinds, c.kinds);
    EXPECT_TRUE(run.err.contains(c.message.toUtf8())) << run.err.toStdString();
}

QByteArray prefix(uint32_t size)
{
    return QByteArray(reinterpret_cast<const char *>(&size), 4); // little-endian hosts and targets
}

const QByteArray one = presenceFrame(true, 1, 12, 90);
const QByteArray two = presenceFrame(true, 2, 13, 90);
const QByteArray unknown =
    bytesOf(singleSignalFrame(0x0BA11A57, {int32Array(Key::ArraySemanticHumanPresence, {1, 2, 3, 4})}));
const QStringList both = {"human-presence", "human-presence"};

INSTANTIATE_TEST_SUITE_P(
    Recordings, BadStreams,
    ::testing::Values(StreamCase{"Whole", one + two, false, 0, both, ""},
                      StreamCase{"WholeFromStandardInput", one + two, true, 0, both, ""},
                      StreamCase{"Empty", "", false, 0, {}, ""},
                      StreamCase{"CutInAFrame", one + two + two.left(30), false, 1, both, "middle of a frame at byte"},
                      StreamCase{"CutInAPrefix", one + two + "\x10\x00", true, 1, both, "middle of a frame"},
                      StreamCase{"PrefixOverSixteenMiB", one + two + prefix((16u << 20) + 1) + one, false, 1, both,
                                 "more than 16 MiB"},
                      StreamCase{"FrameFailingVerification", one + prefix(8) + QByteArray(8, '\xff') + two, false, 0,
                                 both, QString("at byte %1 (12 bytes) is not a valid frame").arg(one.size())},
                      StreamCase{
                          "UnknownKindGivesItsSize", one + unknown, false, 0, {"human-presence", "unknown"}, ""}),
    Vantrel::Test::RowName());

TEST(JsonLines, UnknownFramesGiveTheirSizeOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("u.bin"), unknown));
    const QList<QJsonObject> lines = jsonLines(runFrames({dir.filePath("u.bin")}).out);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], (QJsonObject{{"kind", "unknown"}, {"size", unknown.size()}}));
}

// An option that needs --mqtt, given with it.
QStringList withMqtt(const QStringList &arguments)
{
    return QStringList{"--mqtt", "mqtt://h/p"} + arguments;
}

struct OptionCase
{
    std::string name;
    QStringList arguments;
    QString message;
};

class BadOptions : public ::testing::TestWithParam<OptionCase>
{};

TEST_P(BadOptions, EndWithStatusTwoAndSayWhy)
{
    const Finished run = runFrames(GetParam().arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(GetParam().message.toUtf8())) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, BadOptions,
    ::testing::Values(OptionCase{"UnknownKind", {"--kind", "presence"}, "unknown kind \"presence\"; one of heatmap"},
                      OptionCase{"IdNotHex", {"--id", "xyz"}, "--id needs an output id in hex"},
                      OptionCase{"FollowWithoutSource", {"--follow"}, "--follow needs a FIFO"},
                      OptionCase{"TwoSources", {"a", "b"}, "one source at most"},
                      OptionCase{"HeartbeatOfZero", withMqtt({"--heartbeat", "0"}), "--heartbeat needs"},
                      OptionCase{"MqttOptionWithoutMqtt", {"--discovery"}, "need --mqtt"},
                      OptionCase{"StateDirWithoutMqtt", {"--state-dir", "/tmp"}, "need --mqtt"},
                      OptionCase{"DistanceIntervalWithoutMqtt", {"--distance-interval", "2"}, "need --mqtt"},
                      OptionCase{"DistanceStepOfZero", withMqtt({"--distance-step", "0"}),
                                 "--distance-step needs 1 to 10000 cm, not \"0\""},
                      OptionCase{"DistanceIntervalNegative", withMqtt({"--distance-interval", "-1"}),
                                 "--distance-interval needs 0 to 3600 seconds"},
                      OptionCase{"DiscoveryPrefixWildcard", withMqtt({"--discovery-prefix", "ha/#"}),
                                 "--discovery-prefix needs at most 256 bytes"},
                      OptionCase{"DiscoveryPrefixEmptyLevel", withMqtt({"--discovery-prefix", "ha/"}),
                                 "--discovery-prefix needs at most 256 bytes"},
                      OptionCase{"DiscoveryPrefixOfTheBroker", withMqtt({"--discovery-prefix", "$SYS"}),
                                 "the first not beginning with $"},
                      OptionCase{"DiscoveryPrefixTooLong", withMqtt({"--discovery-prefix", QString(257, 'h')}),
                                 "--discovery-prefix needs at most 256 bytes"},
                      OptionCase{"DiscoveryRemoveWithSource", withMqtt({"--discovery-remove", "fifo"}),
                                 "--discovery-remove reads no stream"},
                      OptionCase{"BadMqttUrl", {"--mqtt", "http://h/p"}, "--mqtt: unknown scheme \"http\""},
                      OptionCase{"EmptyMqttVariable", {"--mqtt-env", "VANTREL_TEST_UNSET"}, "holds no URL"},
                      OptionCase{"UnknownOption", {"--bogus"}, "Unknown option 'bogus'"},
                      OptionCase{"StaleAfterNegative", {"-f", "p", "--stale-after", "-1"}, "--stale-after needs 0 to"},
                      OptionCase{"StaleAfterNotANumber", {"-f", "p", "--stale-after", "5s"}, "not \"5s\""},
                      OptionCase{"StaleAfterInfinite", {"-f", "p", "--stale-after", "inf"}, "--stale-after needs"},
                      OptionCase{"StaleAfterOverADay", {"-f", "p", "--stale-after", "86401"}, "--stale-after needs"},
                      OptionCase{"StaleAfterWithoutFollow", {"--stale-after", "3"}, "--stale-after needs --follow"},
                      OptionCase{"NoJsonAndNothingElse", {"--no-json", "recording.bin"}, "nothing would be written"},
                      OptionCase{"HttpHostWithoutHttp", {"--http-host", "radar.lan"}, "--http-host needs --http"}),
    Vantrel::Test::RowName());

// A mebibyte of zeros is 262144 empty frames, none valid: told of in two lines, not one each.
TEST(JsonLines, InvalidFramesAreCountedNotEachTold)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("zeros.bin"), QByteArray(1 << 20, '\0')));
    const Finished run = runFrames({dir.filePath("zeros.bin")});
    EXPECT_EQ(run.err.count('\n'), 2) << run.err.left(300).toStdString();
    EXPECT_TRUE(run.err.startsWith("vantrel-frames: The frame at byte 0 (4 bytes) is not a valid frame; skipped\n"
                                   "vantrel-frames: 262143 more invalid frames skipped in "));
}

// A recording that reaches the file size limit ends with a whole frame, after every JSON line.
TEST(Record, StopsAtTheFileSizeLimitWithAWholeFrame)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("in.bin"), one.repeated(10)));
    const QString recording = dir.filePath("recording.bin");
    const Finished run = TestProgram(QStringLiteral("prlimit"))
                             .run({QString("--fsize=%1").arg(one.size() * 5 / 2), framesProgram(),
                                   dir.filePath("in.bin"), "--record", recording});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_EQ(jsonLines(run.out).size(), 10);
    EXPECT_EQ(QFileInfo(recording).size(), 2 * one.size());
}

// A FIFO at the recording's path is refused at once, not waited on for a reader.
TEST(Record, RefusesAFifo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("in.bin"), one));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("planted")).constData(), 0600), 0);
    const Finished run = runFrames({dir.filePath("in.bin"), "--record", dir.filePath("planted")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Can't open recording")) << run.err.toStdString();
}

// A writer that closes and opens again, then a FIFO removed and made anew at the same path: one
// stream to a follower, which was started before there was any FIFO.
TEST(Follow, GoesOnAcrossWritersAndNewFifos)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("hpd.fifo");
    const QString recording = dir.filePath("recording.bin");
    TestProgram frames(framesProgram());
    ASSERT_TRUE(frames.start({"--follow", fifo, "--record", recording}));
    const auto linesSeen = [](int count) {
        return [count](const QByteArray &out) { return out.count('\n') >= count; };
    };
    const auto writeOnce = [&](const QByteArray &frames) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY); // waits for the follower
        ASSERT_GE(fd, 0);
        // One frame in two writes: a reader must not take half a frame for a whole one.
        ASSERT_EQ(::write(fd, frames.constData(), 10), 10);
        ASSERT_EQ(::write(fd, frames.constData() + 10, frames.size() - 10), frames.size() - 10);
        ::close(fd);
    };
    for (int round = 0; round < 3; ++round) {
        if (round != 1) { // round 1 reopens the same FIFO
            QFile::remove(fifo);
            ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        }
        writeOnce(presenceFrame(true, round * 2, 10, 90) + presenceFrame(true, round * 2 + 1, 11, 90));
        ASSERT_TRUE(frames.waitForOutput(linesSeen(2 * (round + 1)), 20000)) << frames.err().toStdString();
    }
    frames.sendSignal(SIGTERM);
    ASSERT_TRUE(frames.waitForExit(20000));
    EXPECT_TRUE(frames.exitedNormally());
    EXPECT_EQ(frames.exitCode(), 0);
    QList<int> sequence;
    for (const QJsonObject &line : jsonLines(frames.out()))
        sequence.append(line.value("sequence").toInt());
    EXPECT_EQ(sequence, (QList<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(frames.err().isEmpty()) << frames.err().toStdString();

    // The recording is the stream's frames back to back, which the stand-in runtime replays.
    QFile recorded(recording);
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    EXPECT_EQ(recorded.size(), 6 * presenceFrame(true, 0, 10, 90).size());
    ASSERT_TRUE(
        writeFile(dir.filePath("replay.flow"), QString("weaveflow 1\nreplay 0x%1 %2\n")
                                                   .arg(Vantrel::Frames::Output::HumanPresenceA, 8, 16, QChar('0'))
                                                   .arg(recording)
                                                   .toUtf8()));
    const TestProgram::Result play = TestProgram(QStringLiteral(WEAVEGRAPH_PLAY)).run({dir.filePath("replay.flow")});
    EXPECT_EQ(play.exitCode, 0) << play.err.toStdString();
    EXPECT_EQ(play.out.count("\n0xCE4599EC "), 6);
}

// The room a 16 MiB frame took is given back once it has been read, decoded and written.
TEST(Follow, GivesBackTheMemoryOfALargeFrame)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine";
#endif
    QTemporaryDir dir;
    const QString fifo = dir.filePath("hpd.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    TestProgram frames(framesProgram());
    ASSERT_TRUE(frames.start({"--follow", fifo}));
    const std::vector<float> levels((15u << 20) / 12, 1e3f);
    const QByteArray large =
        bytesOf(singleSignalFrame(Key::SignalSemanticTarget, {floatArray(Key::ArraySemanticProfileRanges, levels),
                                                              floatArray(Key::ArraySemanticThreshold, levels),
                                                              floatArray(Key::ArraySemanticProfilePower, levels)}));
    ASSERT_TRUE(writeFile(fifo, large + one)); // opening waits for the follower
    ASSERT_TRUE(frames.waitForOutput([](const QByteArray &out) { return out.contains("human-presence"); }, 60000));
    QFile status(QString("/proc/%1/status").arg(frames.processId()));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray text = status.readAll();
    const QByteArray rss = text.mid(text.indexOf("VmRSS:")).split('\n').value(0).simplified(); // "VmRSS: 14952 kB"
    ASSERT_TRUE(rss.startsWith("VmRSS:"));
    EXPECT_LT(rss.split(' ').value(1).toLongLong(), 64 * 1024) << rss.toStdString();
}

struct StalledOutputRow
{
    const char *name;
    bool follow; // a live FIFO; else a recording
    const char *told; // on standard error
};

class StalledOutput : public ::testing::TestWithParam<StalledOutputRow>
{};

// Standard output into a pipe that nobody reads: a live stream drops JSON lines while its web view
// still answers; a recording waits for the reader; either way the first SIGTERM ends the program.
TEST_P(StalledOutput, NeitherHoldsUpTheProgramNorTermination)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("out.fifo");
    const QString source = dir.filePath(GetParam().follow ? "hpd.fifo" : "recording.bin");
    ASSERT_EQ(::mkfifo(QFile::encodeName(out).constData(), 0600), 0);
    const int unread = ::open(QFile::encodeName(out).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(unread, 0);
    QByteArray frames;
    for (uint32_t sequence = 1; sequence <= 30000; ++sequence)
        frames += presenceFrame(true, sequence, 20, 90);
    const uint16_t port = freePort();
    QStringList arguments = {"--http", QString::number(port), source};
    if (GetParam().follow) {
        arguments.prepend("--follow");
        ASSERT_EQ(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
    } else {
        ASSERT_TRUE(writeFile(source, frames));
    }

    TestProgram program(framesProgram());
    program.setStandardOutputFile(out);
    program.keepInputOpen();
    ASSERT_TRUE(program.start(arguments));
    if (GetParam().follow) {
        ASSERT_TRUE(writeFile(source, frames)); // opening waits for the follower
    }
    const QByteArray told = GetParam().told;
    ASSERT_TRUE(program.waitForError([&](const QByteArray &err) { return err.contains(told); }, 30000));
    const int toldAt = program.err().indexOf(told);
    // Far more frames read than the pipe and the queue hold, so that lines wait or are dropped by now;
    // answered meanwhile, so the web view is not held up.
    ASSERT_TRUE(waitUntil([&] {
        const auto metrics = Vantrel::Test::curl(QString("http://127.0.0.1:%1/metrics").arg(port));
        const QByteArray counted = "vantrel_frames_total{kind=\"human-presence\"} ";
        const int at = metrics.body.indexOf(counted);
        return metrics.status == 200 && at >= 0
               && metrics.body.mid(at + counted.size()).split('\n').value(0).toInt() >= 5000;
    })) << "the web view is held up";

    program.sendSignal(SIGTERM);
    EXPECT_TRUE(program.waitForExit(15000)) << "SIGTERM ignored";
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_GE(program.err().indexOf("Dropped", toldAt + told.size()), 0) << "the lines given up are not told";
    ::close(unread);
}

INSTANTIATE_TEST_SUITE_P(Sources, StalledOutput,
                         ::testing::Values(StalledOutputRow{"LiveFifo", true, "dropping JSON lines"},
                                           StalledOutputRow{"Recording", false, ""}),
                         Vantrel::Test::RowName());

// A follower in the FIFO's group, allowed only to read it, reads each writer's frames in turn.
TEST(Follow, ReadsAFifoItMayNotWrite)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the follower runs as nobody, the writer as the FIFO's owner";
    QTemporaryDir dir;
    const QString path = dir.filePath("hpd.fifo");
    const QByteArray fifo = QFile::encodeName(path);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0); // nobody may look in
    ASSERT_EQ(::mkfifo(fifo.constData(), 0640), 0);
    ASSERT_EQ(::chown(fifo.constData(), 0, 65534), 0);
    TestProgram frames(QStringLiteral("setpriv"));
    ASSERT_TRUE(frames.start({"--reuid=65534", "--regid=65534", "--clear-groups", framesProgram(), "--follow", path}));
    for (int round = 0; round < 2; ++round) {
        // Read and write, so that nothing waits for the follower and no write meets a closed FIFO.
        const int fd = ::open(fifo.constData(), O_RDWR);
        ASSERT_GE(fd, 0);
        const QByteArray frame = presenceFrame(true, round, 10, 90);
        ASSERT_EQ(::write(fd, frame.constData(), frame.size()), frame.size());
        const bool read = frames.waitForOutput([&](const QByteArray &out) { return out.count('\n') > round; }, 20000);
        ::close(fd);
        ASSERT_TRUE(read) << frames.err().toStdString();
    }
    EXPECT_TRUE(frames.err().isEmpty()) << frames.err().toStdString();
}

// The JSON of a real run agrees with the presence lines vantrel-cli prints for the same frames.
struct RunCase
{
    std::string name;
    QString bundle;
    QString algorithm;
    QSet<QString> kinds;
};

class SampleRuns : public ::testing::TestWithParam<RunCase>
{};

TEST_P(SampleRuns, PresenceAgreesWithThePresenceLines)
{
    const RunCase &c = GetParam();
    QTemporaryDir dir;
    const QString fifo = dir.filePath("hpd.fifo");
    TestProgram frames(framesProgram());
    ASSERT_TRUE(frames.start({"--follow", fifo}));
    TestProgram cli;
    ASSERT_TRUE(
        cli.start({"-f", QDir(SAMPLE_BUNDLE_DIR).filePath(c.bundle), c.algorithm, "Simulation", "FPS", "20", "-s", "-p",
                   "--pipe-name", fifo, "--options-path", dir.filePath("options.json"), "--stop-after", "2"}));
    ASSERT_TRUE(cli.waitForExit(30000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.err().toStdString();
    frames.sendSignal(SIGTERM);
    ASSERT_TRUE(frames.waitForExit(20000));
    EXPECT_EQ(frames.exitCode(), 0) << frames.err().toStdString();

    QSet<QString> presenceLines;
    for (const QByteArray &line : cli.out().split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            presenceLines.insert(QString::fromUtf8(line));
    }
    QSet<QString> kinds;
    int withPresence = 0;
    for (const QJsonObject &line : jsonLines(frames.out())) {
        kinds.insert(line.value("kind").toString());
        if (!line.contains("presence"))
            continue;
        ++withPresence;
        const QString asLine = QString("%1;\t%2;\t%3;\t")
                                   .arg(static_cast<qint64>(line.value("timestamp").toDouble()))
                                   .arg(line.value("distance_cm").toInt())
                                   .arg(line.value("presence").toInt());
        EXPECT_TRUE(presenceLines.contains(asLine)) << asLine.toStdString();
    }
    EXPECT_EQ(kinds, c.kinds);
    EXPECT_GT(withPresence, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Algorithms, SampleRuns,
    ::testing::Values(RunCase{"Presence", "presence.hpd", "Presence 1.0", {"human-presence"}},
                      RunCase{"Proximity", "proximity.hpd", "Proximity 1.0", {"proximity-fast", "range-profile"}},
                      RunCase{"PowerMap", "powermap.hpd", "PowerMap 1.0", {"power", "heatmap", "presence3"}}),
    Vantrel::Test::RowName());

// A viewer of the web view stays connected while vantrel-cli ends and a new run makes its FIFO
// anew: the frames of both runs reach it, and so do the run's options.
TEST(WebView, AViewerSeesTheStreamEndAndComeBack)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("hpd.fifo");
    const QString options = dir.filePath("options.json");
    const uint16_t port = freePort();
    TestProgram frames(framesProgram());
    ASSERT_TRUE(frames.start(
        {"--follow", fifo, "--no-json", "--options", options, "--http", QString("127.0.0.1:%1").arg(port)}));
    // Until vantrel-frames listens, a viewer's curl gives up at once: then another.
    std::unique_ptr<CurlStream> viewer;
    waitUntil([&] {
        viewer = std::make_unique<CurlStream>(QString("http://127.0.0.1:%1/events").arg(port));
        return waitUntil([&] { return viewer->count("hello") == 1 || viewer->ended(); }) && !viewer->ended();
    });
    ASSERT_EQ(viewer->count("hello"), 1) << frames.err().toStdString();
    const auto run = [&](const QString &fps) {
        TestProgram cli;
        ASSERT_TRUE(cli.start({"-f", QDir(SAMPLE_BUNDLE_DIR).filePath("presence.hpd"), "Presence 1.0", "Simulation",
                               "FPS", fps, "-p", "--pipe-name", fifo, "--options-path", options, "--stop-after", "2"}));
        ASSERT_TRUE(cli.waitForExit(30000));
    };
    run("20");
    waitUntil([&] { return viewer->count("frame") > 0; }, 10000);
    const int firstRun = viewer->count("frame");
    run("10");
    waitUntil([&] { return viewer->count("frame") >= firstRun + 5; }, 10000);
    frames.sendSignal(SIGTERM);
    ASSERT_TRUE(frames.waitForExit(20000));
    EXPECT_EQ(frames.exitCode(), 0) << frames.err().toStdString();

    ASSERT_GT(firstRun, 0);
    EXPECT_GE(viewer->count("frame"), firstRun + 5);
    QStringList parameterFiles;
    for (const QByteArray &data : viewer->data("options"))
        parameterFiles.append(QJsonDocument::fromJson(data)["parameters"]["FPS"].toString());
    EXPECT_EQ(parameterFiles.mid(parameterFiles.indexOf("fps-20.parb")), (QStringList{"fps-20.parb", "fps-10.parb"}));
}

} // namespace
