// The raw frame FIFO of the real executable: readers that fall behind, frames larger than a pipe, and
// files put at the FIFO's path during a run. Large frames are replayed by the stand-in runtime from a
// recording made here, through a bundle the resource compiler builds here.
#include "tests/e2e/fiforeader.h"
#include "tests/e2e/runningcli.h"
#include "tests/support/bundlebuilder.h"
#include "tests/support/testframebuilder.h"

#include "platform/weavegraph/frame_generated.h"
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/tablerows.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using Vantrel::Fixtures::int32Array;
using Vantrel::Fixtures::singleSignalFrame;
using Vantrel::Fixtures::uint32Array;
namespace Frames = Vantrel::Frames;

constexpr int startupTimeoutMs = 20000;
constexpr int exitTimeoutMs = 30000;

constexpr uint32_t ballastArray = 0x0BA11A57; // read by no decoder: it gives a frame its size
constexpr int64_t recordingStart = 1700000000000;

struct RecordedFrame
{
    size_t ballastBytes;
    int64_t offsetMs; // from the first frame, which the runtime sends as the run starts
};

// A presence report of somebody 1.2 m away, numbered by its sequence number, padded with ballast.
std::vector<uint8_t> presenceFrame(const RecordedFrame &recorded, uint32_t sequenceNumber)
{
    return singleSignalFrame(
        Frames::Key::SignalSemanticHumanPresence,
        {int32Array(Frames::Key::ArraySemanticHumanPresence, {1, 12, 0, 80}),
         uint32Array(ballastArray, std::vector<uint32_t>(recorded.ballastBytes / 4, sequenceNumber))},
        sequenceNumber, recordingStart + recorded.offsetMs);
}

bool increasing(const std::vector<uint32_t> &numbers)
{
    return std::adjacent_find(numbers.begin(), numbers.end(), std::greater_equal<uint32_t>()) == numbers.end();
}

// The stalls of a full FIFO as the log tells them: each opens with one warning and closes with the
// count of the frames it dropped.
struct Stalls
{
    int count = 0;
    uint32_t droppedFrames = 0;
    bool paired = true;
    QList<QByteArray> otherLines;
};

Stalls stallsIn(const QByteArray &out, const QString &fifo)
{
    const QByteArray opens =
        "# Error while writing to named pipe " + fifo.toUtf8() + ": " + QByteArray(std::strerror(EAGAIN));
    const QRegularExpression closes("^# Dropped (\\d+) frames while the named pipe " + QRegularExpression::escape(fifo)
                                    + " was full$");
    Stalls stalls;
    bool stalled = false;
    const QList<QByteArray> lines = out.split('\n');
    for (const QByteArray &line : lines) {
        const QRegularExpressionMatch dropped = closes.match(QString::fromUtf8(line));
        if (line == opens) {
            stalls.paired = stalls.paired && !stalled;
            stalled = true;
            ++stalls.count;
        } else if (dropped.hasMatch()) {
            stalls.paired = stalls.paired && stalled;
            stalled = false;
            stalls.droppedFrames += dropped.captured(1).toUInt();
        } else if (!line.isEmpty()) {
            stalls.otherLines.append(line);
        }
    }
    stalls.paired = stalls.paired && !stalled;
    return stalls;
}

// Runs of a bundle whose one sensor replays a recording made by the test as presence output, with the
// raw stream switched on.
class ReplayedFrames : public ::testing::Test
{
protected:
    QString fifo() const { return m_dir.filePath(QStringLiteral("hpd.fifo")); }

    bool record(const std::vector<RecordedFrame> &frames) const
    {
        QFile recording(path("recording.bin"));
        if (!recording.open(QIODevice::WriteOnly))
            return false;
        for (uint32_t i = 0; i < frames.size(); ++i) {
            const std::vector<uint8_t> frame = presenceFrame(frames[i], i);
            if (recording.write(reinterpret_cast<const char *>(frame.data()), qint64(frame.size()))
                != qint64(frame.size()))
                return false;
        }
        return recording.flush() && buildBundle();
    }

    QStringList arguments() const
    {
        return {QStringLiteral("-f"),
                path("replay.hpd"),
                QStringLiteral("Replay 1.0"),
                QStringLiteral("Recording"),
                QStringLiteral("-p"),
                QStringLiteral("--pipe-name"),
                fifo(),
                QStringLiteral("--options-path"),
                path("selected_options.json")};
    }

private:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    bool buildBundle() const
    {
        QFile parb(QStringLiteral(SAMPLE_BUNDLE_DIR "/parb/connection-simulation.parb"));
        if (!parb.open(QIODevice::ReadOnly))
            return false;
        const QByteArray definition = R"({
            "name": "Replay", "description": "Replays a recording", "algorithmVersion": "1.0.0",
            "minimumSupportedWeaveGraphVersion": "6.4.0", "maximumSupportedWeaveGraphVersion": "6.4.999",
            "sensors": [ { "name": "Recording", "description": "The recording", "flow": "replay.flow",
                "options": [ { "name": "connection",
                               "values": [ { "name": "Simulation", "parb": "connection-simulation.parb" } ] } ] } ]
        })";
        const QByteArray flow = "weaveflow 1\nreplay " + QByteArray::number(Frames::Output::HumanPresenceA) + " \""
                                + path("recording.bin").toUtf8() + "\"\n";
        return Vantrel::Test::BundleBuilder()
            .addDefinition(QStringLiteral("replay"), definition)
            .add(QStringLiteral("replay/replay.flow"), flow)
            .add(QStringLiteral("replay/connection-simulation.parb"), parb.readAll())
            .build(path("replay.hpd"));
    }

    QTemporaryDir m_dir;
};

TEST_F(ReplayedFrames, ReaderThatFallsBehindGetsWholeFramesAndTheWarningsCountTheRest)
{
    // 4 MB/s of 40,000-byte frames for a reader that takes about 0.8 MB/s.
    constexpr uint32_t frameCount = 250;
    std::vector<RecordedFrame> frames;
    for (uint32_t i = 0; i < frameCount; ++i)
        frames.push_back({40000, 10 * int64_t(i)});
    ASSERT_TRUE(record(frames));

    RunningCli cli;
    ASSERT_TRUE(cli.start(arguments()));
    ASSERT_TRUE(waitForFifo(fifo(), startupTimeoutMs)) << cli.out().toStdString();
    FifoReader reader(fifo(), ReadPace{16384, 20});
    ASSERT_TRUE(reader.isOpen());
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);

    const FrameStream stream = readFrames(reader.finish());
    const std::vector<uint32_t> sequenceNumbers = stream.sequenceNumbers();
    ASSERT_TRUE(stream.wellFormed);
    ASSERT_GE(sequenceNumbers.size(), 2u);
    EXPECT_TRUE(increasing(sequenceNumbers));

    const Stalls stalls = stallsIn(cli.out(), fifo());
    EXPECT_TRUE(stalls.paired) << cli.out().toStdString();
    EXPECT_TRUE(stalls.otherLines.isEmpty()) << cli.out().toStdString();
    EXPECT_GE(stalls.count, 1);
    EXPECT_LT(uint32_t(stalls.count), stalls.droppedFrames);
    // From the first frame the reader got on, each frame reached it whole, was counted as dropped, or
    // was the one cut short when the run ended.
    EXPECT_EQ(sequenceNumbers.size() + stalls.droppedFrames + (stream.endsInsideAFrame ? 1 : 0),
              frameCount - sequenceNumbers.front());
}

TEST_F(ReplayedFrames, FramesLargerThanAPipeArriveWhole)
{
    // A second of small frames lets the reader join before the first of 100 frames of 160 KiB.
    constexpr uint32_t leadIn = 10;
    constexpr uint32_t largeCount = 100;
    std::vector<RecordedFrame> frames;
    for (uint32_t i = 0; i < leadIn; ++i)
        frames.push_back({1000, 100 * int64_t(i)});
    for (uint32_t i = 0; i < largeCount; ++i)
        frames.push_back({160 * 1024, 1000 + 50 * int64_t(i)});
    ASSERT_TRUE(record(frames));

    RunningCli cli;
    ASSERT_TRUE(cli.start(arguments()));
    ASSERT_TRUE(waitForFifo(fifo(), startupTimeoutMs)) << cli.out().toStdString();
    FifoReader reader(fifo());
    ASSERT_TRUE(reader.isOpen());
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(cli.out().toStdString(), "");

    const FrameStream stream = readFrames(reader.finish());
    const std::vector<uint32_t> sequenceNumbers = stream.sequenceNumbers();
    ASSERT_TRUE(stream.wellFormed);
    EXPECT_FALSE(stream.endsInsideAFrame);
    std::vector<uint32_t> large;
    std::copy_if(sequenceNumbers.begin(), sequenceNumbers.end(), std::back_inserter(large),
                 [](uint32_t number) { return number >= leadIn; });
    std::vector<uint32_t> expected(largeCount);
    for (uint32_t i = 0; i < largeCount; ++i)
        expected[i] = leadIn + i;
    EXPECT_EQ(large, expected);
}

enum class Planted { RegularFile, OtherFifo };

struct PlantedCase
{
    const char *name;
    Planted what;
};

using Vantrel::Test::operator<<;

class PlantedAtTheFifosPath : public ::testing::TestWithParam<PlantedCase>
{
protected:
    QTemporaryDir m_dir;
};

// The FIFO is removed during the run and something else is put in its place: the run's end leaves it.
TEST_P(PlantedAtTheFifosPath, IsLeftWhereItIs)
{
    const QString fifo = m_dir.filePath(QStringLiteral("hpd.fifo"));
    const QByteArray nativeFifo = QFile::encodeName(fifo);
    RunningCli cli;
    ASSERT_TRUE(cli.start({QStringLiteral("-f"), QStringLiteral(SAMPLE_BUNDLE_DIR "/presence.hpd"),
                           QStringLiteral("Presence 1.0"), QStringLiteral("Simulation"), QStringLiteral("-p"),
                           QStringLiteral("--pipe-name"), fifo, QStringLiteral("--options-path"),
                           m_dir.filePath(QStringLiteral("selected_options.json")), QStringLiteral("--stop-after"),
                           QStringLiteral("2"), QStringLiteral("-l"), QStringLiteral("2")}));
    // Logged once the program holds on to its FIFO; the file appears a moment before that.
    const QByteArray created = "# Creating named pipe " + nativeFifo + '\n';
    ASSERT_TRUE(cli.waitForOutput([&](const QByteArray &out) { return out.contains(created); }, startupTimeoutMs))
        << cli.out().toStdString();
    ASSERT_EQ(::remove(nativeFifo.constData()), 0);
    if (GetParam().what == Planted::OtherFifo) {
        ASSERT_EQ(::mkfifo(nativeFifo.constData(), 0600), 0);
    } else {
        QFile file(fifo);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    struct stat planted = {};
    ASSERT_EQ(::lstat(nativeFifo.constData(), &planted), 0);

    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);
    const QByteArray out = cli.out();
    EXPECT_TRUE(out.contains("# Can't remove named pipe " + nativeFifo
                             + ": the path no longer holds the FIFO this program made\n"))
        << out.toStdString();
    EXPECT_FALSE(out.contains("# Removing named pipe")) << out.toStdString();
    struct stat after = {};
    ASSERT_EQ(::lstat(nativeFifo.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, planted.st_ino);
    EXPECT_EQ(after.st_mode & S_IFMT, planted.st_mode & S_IFMT);
}

INSTANTIATE_TEST_SUITE_P(Files, PlantedAtTheFifosPath,
                         ::testing::Values(PlantedCase{"RegularFile", Planted::RegularFile},
                                           PlantedCase{"OtherFifo", Planted::OtherFifo}),
                         Vantrel::Test::RowName());

} // namespace
