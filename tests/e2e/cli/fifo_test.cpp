// The raw frame FIFO of the real executable: readers that fall behind, frames larger than a pipe, and
// files put at the FIFO's path during a run. Large frames are replayed by the stand-in runtime from a
// recording made here, through a bundle the resource compiler builds here.
#include "tests/e2e/cli/fiforeader.h"
#include "tests/e2e/cli/replaybundle.h"
#include "tests/support/testframebuilder.h"

#include "platform/weavegraph/frame_generated.h"
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/tablerows.h"
#include "tests/support/testprogram.h"

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

using Vantrel::Test::TestProgram;

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

    bool buildBundle() const { return Vantrel::Test::buildReplayBundle(path("replay.hpd"), path("recording.bin")); }

    QTemporaryDir m_dir;
};

struct PaceCase
{
    const char *name;
    size_t frameBytes;
    uint32_t frameCount;
    int64_t intervalMs;
    ReadPace pace;
};

class ReaderBehind : public ReplayedFrames, public ::testing::WithParamInterface<PaceCase>
{};

// However far behind the reader falls, the stream it gets is whole frames to the last, and the
// warnings count the frames it missed.
TEST_P(ReaderBehind, GetsWholeFramesToTheLastAndTheWarningsCountTheRest)
{
    const PaceCase &row = GetParam();
    std::vector<RecordedFrame> frames;
    for (uint32_t i = 0; i < row.frameCount; ++i)
        frames.push_back({row.frameBytes, row.intervalMs * int64_t(i)});
    ASSERT_TRUE(record(frames));

    TestProgram cli;
    ASSERT_TRUE(cli.start(arguments()));
    ASSERT_TRUE(waitForFifo(fifo(), startupTimeoutMs)) << cli.out().toStdString();
    FifoReader reader(fifo(), row.pace);
    ASSERT_TRUE(reader.isOpen());
    ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
    EXPECT_EQ(cli.exitCode(), 0);

    const FrameStream stream = readFrames(reader.finish());
    const std::vector<uint32_t> sequenceNumbers = stream.sequenceNumbers();
    ASSERT_TRUE(stream.wellFormed);
    EXPECT_FALSE(stream.endsInsideAFrame);
    ASSERT_GE(sequenceNumbers.size(), 2u);
    EXPECT_TRUE(increasing(sequenceNumbers));

    const Stalls stalls = stallsIn(cli.out(), fifo());
    EXPECT_TRUE(stalls.paired) << cli.out().toStdString();
    EXPECT_TRUE(stalls.otherLines.isEmpty()) << cli.out().toStdString();
    EXPECT_GE(stalls.count, 1);
    // From the first frame the reader got on, each frame reached it whole or was counted as dropped.
    EXPECT_EQ(sequenceNumbers.size() + stalls.droppedFrames, row.frameCount - sequenceNumbers.front());
}

INSTANTIATE_TEST_SUITE_P(Paces, ReaderBehind,
                         ::testing::Values(
                             // 4 MB/s for a reader that takes about 0.8 MB/s.
                             PaceCase{"FramesOf40000BytesAt100HzReaderSteady", 40000, 250, 10, ReadPace{16384, 20}},
                             // 0.8 and 2 MB/s for a reader that takes 32 KiB, then rests anything up to 100 ms.
                             PaceCase{"FramesOf40000BytesAt20HzReaderUneven", 40000, 80, 50, ReadPace{32768, 0, 100}},
                             PaceCase{"FramesOf100000BytesAt20HzReaderUneven", 100000, 80, 50,
                                      ReadPace{32768, 0, 100}}),
                         Vantrel::Test::RowName());

// Larger than any pipe this process may have: such a frame goes in pieces.
size_t largerThanAnyPipe()
{
    QFile limit(QStringLiteral("/proc/sys/fs/pipe-max-size"));
    const size_t most = limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toULong() : 0;
    return std::max<size_t>(most, 1 << 20) + 200000;
}

struct EndCase
{
    const char *name;
    bool readerStalls; // inside a frame, holding its end open until the run is over
};

class LastFrame : public ReplayedFrames, public ::testing::WithParamInterface<EndCase>
{};

// The run ends while the rest of a frame larger than any pipe is still out: a reader that keeps
// taking bytes gets it whole; one that stalls gets it cut, and the log says so.
TEST_P(LastFrame, IsFinishedWhileTheReaderReadsAndCutOnlyWhenItStalls)
{
    const bool stalls = GetParam().readerStalls;
    // A second of small frames lets the reader join before the large ones.
    std::vector<RecordedFrame> frames;
    for (uint32_t i = 0; i < 10; ++i)
        frames.push_back({1000, 100 * int64_t(i)});
    for (uint32_t i = 0; i < 5; ++i)
        frames.push_back({largerThanAnyPipe(), 1000 + 300 * int64_t(i)});
    ASSERT_TRUE(record(frames));

    TestProgram cli;
    ASSERT_TRUE(cli.start(arguments()));
    ASSERT_TRUE(waitForFifo(fifo(), startupTimeoutMs)) << cli.out().toStdString();
    QByteArray bytes;
    if (stalls) {
        FifoEnd reader(fifo());
        ASSERT_TRUE(reader.isOpen());
        // The small frames, then the first part of a large one.
        constexpr int taken = 64 * 1024;
        while (bytes.size() < taken && !cli.hasEnded())
            bytes += reader.readSome(50, taken - bytes.size());
        ASSERT_EQ(bytes.size(), taken);
        ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
        bytes += reader.readAvailable();
    } else {
        FifoReader reader(fifo(), ReadPace{32768, 0, 100});
        ASSERT_TRUE(reader.isOpen());
        ASSERT_TRUE(cli.waitForExit(exitTimeoutMs));
        bytes = reader.finish();
    }
    EXPECT_EQ(cli.exitCode(), 0);

    const QByteArray cut =
        "# Dropped the rest of a frame in named pipe " + fifo().toUtf8() + ": its reader took nothing for 500 ms\n";
    EXPECT_EQ(cli.out().contains(cut), stalls) << cli.out().toStdString();
    const FrameStream stream = readFrames(bytes);
    EXPECT_TRUE(stream.wellFormed);
    EXPECT_EQ(stream.endsInsideAFrame, stalls);
    EXPECT_GE(stream.frames.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Readers, LastFrame, ::testing::Values(EndCase{"Reading", false}, EndCase{"Stalled", true}),
                         Vantrel::Test::RowName());

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

    TestProgram cli;
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
    TestProgram cli;
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
