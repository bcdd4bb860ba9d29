#include "stream/namedpipe.h"

#include "process/systemerror.h"

#include "tests/support/logcapture.h"
#include "tests/support/tablerows.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Vantrel::NamedPipe;
using Vantrel::systemErrorText;
using Vantrel::Test::LogCapture;
using Vantrel::Test::LogRecord;
using Bytes = std::vector<uint8_t>;

namespace {

const QString fifoName = QStringLiteral("hpd.fifo");

LogRecord info(const QString &text)
{
    return {QtInfoMsg, text};
}

LogRecord warning(const QString &text)
{
    return {QtWarningMsg, text};
}

bool logged(const LogCapture &log, const LogRecord &record)
{
    const std::vector<LogRecord> records = log.records();
    return std::find(records.begin(), records.end(), record) != records.end();
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A frame as the runtime delivers it: little-endian size prefix, then the body.
Bytes sizedFrame(size_t size, uint8_t fill)
{
    Bytes frame(size, fill);
    const uint32_t body = static_cast<uint32_t>(size - 4);
    for (size_t i = 0; i < 4; ++i)
        frame[i] = static_cast<uint8_t>(body >> (8 * i));
    return frame;
}

// A real read end in this process, opened without waiting for a writer.
class Reader
{
public:
    explicit Reader(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~Reader()
    {
        if (m_fd != -1)
            ::close(m_fd);
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    bool isOpen() const { return m_fd != -1; }

    // Everything the FIFO holds now; endOfFile tells that no writer has it open any more.
    Bytes take(bool *endOfFile = nullptr)
    {
        Bytes bytes;
        uint8_t chunk[16384];
        ssize_t count;
        while ((count = ::read(m_fd, chunk, sizeof chunk)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + count);
        if (endOfFile)
            *endOfFile = count == 0;
        return bytes;
    }

private:
    int m_fd;
};

enum class Op {
    Create, // pipe.create(name); result is the expected return value
    Frame, // pipe.newRawData(id, bytes)
    Close, // pipe.close()
    Destroy, // the pipe object goes away
    ReaderJoins, // a reader opens name
    ReaderLeaves, // the reader closes its end
    ReaderGets, // the reader finds exactly bytes; result: end of file expected
    PlaceFile, // a regular file holding bytes appears at name
    MakeFifo, // another program makes a FIFO at name
    LinkMoved, // the FIFO at name moves to "moved", and name becomes a link to it
    RemovePath, // name disappears behind the pipe's back
    IsFifo, // name is a FIFO with mode 0666 less the umask
    IsFile, // name is a regular file holding bytes
    IsLink, // name is a symbolic link
    IsFree, // nothing at name
};

struct Step
{
    Op op;
    QString name = fifoName;
    Bytes bytes = {};
    bool result = true;
    uint32_t id = 0;
    std::vector<LogRecord> logs = {}; // "%d" stands for the directory holding the FIFO
};

Step create(bool ok, std::vector<LogRecord> logs, QString name = fifoName)
{
    return {Op::Create, name, {}, ok, 0, std::move(logs)};
}
Step frame(Bytes bytes, std::vector<LogRecord> logs = {}, uint32_t id = 0)
{
    return {Op::Frame, fifoName, std::move(bytes), true, id, std::move(logs)};
}
Step closePipe(std::vector<LogRecord> logs)
{
    return {Op::Close, fifoName, {}, true, 0, std::move(logs)};
}
Step destroy(std::vector<LogRecord> logs)
{
    return {Op::Destroy, fifoName, {}, true, 0, std::move(logs)};
}
Step readerGets(Bytes bytes, bool endOfFile)
{
    return {Op::ReaderGets, fifoName, std::move(bytes), endOfFile};
}
Step placeFile(QString name, QByteArray content)
{
    return {Op::PlaceFile, name, Bytes(content.begin(), content.end())};
}
Step isFile(QString name, QByteArray content)
{
    return {Op::IsFile, name, Bytes(content.begin(), content.end())};
}
Step on(Op op, QString name = fifoName)
{
    return {op, name};
}

const LogRecord creating = info("Creating named pipe %d/hpd.fifo");
const LogRecord opening = info("Opening named pipe %d/hpd.fifo");
const LogRecord closing = info("Closing named pipe/fifo");
const LogRecord removing = info("Removing named pipe %d/hpd.fifo");
const LogRecord full = warning("Error while writing to named pipe %d/hpd.fifo: " + systemErrorText(EAGAIN));

LogRecord dropped(int count)
{
    return warning(QStringLiteral("Dropped %1 frames while the named pipe %d/hpd.fifo was full").arg(count));
}

struct Scenario
{
    const char *name;
    std::vector<Step> steps;
};

using Vantrel::Test::operator<<;

std::vector<Scenario> scenarios()
{
    const LogRecord fileExists = warning("Can't create named pipe %d/hpd.fifo: " + systemErrorText(EEXIST));
    const LogRecord gone = warning("Error while opening named pipe %d/hpd.fifo: " + systemErrorText(ENOENT));
    const LogRecord notOurs =
        warning("Can't remove named pipe %d/hpd.fifo: the path no longer holds the FIFO this program made");
    // The pipe grows to 128 KiB for two of them; each takes ten of its 32 buffers, so a fourth has no room.
    const auto midsize = [](uint8_t fill) { return sizedFrame(40000, fill); };
    const auto large = [](uint8_t fill) { return sizedFrame(160 * 1024, fill); };
    return {
        {"NoReaderDropsSilentlyUntilOneJoins",
         {create(true, {creating}), on(Op::IsFifo), frame({1}), frame({2}), on(Op::ReaderJoins), frame({3}, {opening}),
          frame({4}), readerGets({3, 4}, false), closePipe({closing, removing}), readerGets({}, true), on(Op::IsFree)}},
        {"FramesBackToBackWithoutIds",
         {create(true, {creating}), on(Op::ReaderJoins), frame({1, 2}, {opening}, 1), frame({3}, {}, 2),
          readerGets({1, 2, 3}, false)}},
        {"ReaderLeavesSilentlyAndAnotherJoins",
         {create(true, {creating}), on(Op::ReaderJoins), frame({0xAA}, {opening}), readerGets({0xAA}, false),
          on(Op::ReaderLeaves), frame({0xBB}), frame({0xCC}), on(Op::ReaderJoins), frame({0xDD}, {opening}),
          readerGets({0xDD}, false)}},
        {"ExistingFileNeitherUsedNorRemoved",
         {placeFile(fifoName, "left over"), create(false, {fileExists}), frame({1}), closePipe({}),
          isFile(fifoName, "left over")}},
        {"CloseOnlyAfterCreateAndOnce",
         {closePipe({}), create(true, {creating}), closePipe({closing, removing}), closePipe({}), on(Op::IsFree),
          create(true, {creating}), on(Op::IsFifo)}},
        {"EmptyNameChangesNothing",
         {create(false, {}, QString()), frame({1}), closePipe({}), create(true, {creating}), on(Op::ReaderJoins),
          frame({1}, {opening}), create(false, {}, QString()), frame({2}), readerGets({1, 2}, false), on(Op::IsFifo)}},
        {"EmptyFrameOpensAndWritesNothing",
         {create(true, {creating}), on(Op::ReaderJoins), frame({}, {opening}), readerGets({}, false), frame({5}),
          readerGets({5}, false)}},
        {"SecondCreateGivesUpTheFirstFifo",
         {create(true, {creating}), on(Op::ReaderJoins), frame({1}, {opening}), placeFile("other", "keep"),
          create(false, {closing, removing, warning("Can't create named pipe %d/other: " + systemErrorText(EEXIST))},
                 "other"),
          readerGets({1}, true), on(Op::IsFree), closePipe({}), isFile("other", "keep")}},
        {"FifoRemovedBehindItsBack",
         {create(true, {creating}), on(Op::RemovePath), frame({1}, {gone}), frame({2}, {gone}),
          closePipe({closing, warning("Can't remove named pipe %d/hpd.fifo: " + systemErrorText(ENOENT))})}},
        {"FileInTheFifosPlaceIsLeftAlone",
         {create(true, {creating}), on(Op::RemovePath), placeFile(fifoName, "planted"), closePipe({closing, notOurs}),
          isFile(fifoName, "planted")}},
        {"AnotherFifoInItsPlaceIsLeftAlone",
         {create(true, {creating}), on(Op::RemovePath), on(Op::MakeFifo), closePipe({closing, notOurs}),
          on(Op::IsFifo)}},
        {"LinkToTheMovedFifoIsLeftAlone",
         {create(true, {creating}), on(Op::LinkMoved), closePipe({closing, notOurs}), on(Op::IsLink),
          on(Op::IsFifo, "moved")}},
        {"FramesLargerThanThePipeGoWhole",
         {create(true, {creating}), on(Op::ReaderJoins), frame(large(1), {opening}), readerGets(large(1), false),
          frame(large(2)), readerGets(large(2), false)}},
        {"FrameWithoutRoomIsNotBegun",
         {create(true, {creating}), on(Op::ReaderJoins), frame(midsize(1), {opening}), frame(midsize(2)),
          frame(midsize(3)), frame(midsize(4), {full}), readerGets(concat({midsize(1), midsize(2), midsize(3)}), false),
          frame(midsize(5), {dropped(1)}), readerGets(midsize(5), false)}},
        {"ReaderLeavingEndsTheStallAndTheNextStartsOnAWholeFrame",
         {create(true, {creating}), on(Op::ReaderJoins), frame(midsize(1), {opening}), frame(midsize(2)),
          frame(midsize(3)), frame(midsize(4), {full}), frame(midsize(5)), on(Op::ReaderLeaves),
          frame(midsize(6), {dropped(2)}), on(Op::ReaderJoins), frame(midsize(7), {opening}),
          readerGets(midsize(7), false)}},
        {"DestroyingClosesAndRemoves", {create(true, {creating}), destroy({closing, removing}), on(Op::IsFree)}},
    };
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

class NamedPipeScenario : public ::testing::TestWithParam<Scenario>
{};

TEST_P(NamedPipeScenario, BehavesAsExpected)
{
    LogCapture log;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto pipe = std::make_unique<NamedPipe>();
    std::unique_ptr<Reader> reader;

    const std::vector<Step> &steps = GetParam().steps;
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        SCOPED_TRACE("step " + std::to_string(i + 1));
        const QString path = step.name.isEmpty() ? QString() : dir.filePath(step.name);
        const QByteArray localPath = QFile::encodeName(path);
        log.clear();

        switch (step.op) {
        case Op::Create:
            ASSERT_TRUE(pipe);
            EXPECT_EQ(pipe->create(path), step.result);
            break;
        case Op::Frame:
            ASSERT_TRUE(pipe);
            pipe->newRawData(step.id, step.bytes);
            break;
        case Op::Close:
            ASSERT_TRUE(pipe);
            pipe->close();
            break;
        case Op::Destroy:
            pipe.reset();
            break;
        case Op::ReaderJoins:
            reader = std::make_unique<Reader>(path);
            ASSERT_TRUE(reader->isOpen());
            break;
        case Op::ReaderLeaves:
            reader.reset();
            break;
        case Op::ReaderGets: {
            ASSERT_TRUE(reader);
            bool endOfFile = false;
            EXPECT_EQ(reader->take(&endOfFile), step.bytes);
            EXPECT_EQ(endOfFile, step.result);
            break;
        }
        case Op::PlaceFile: {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(reinterpret_cast<const char *>(step.bytes.data()), qint64(step.bytes.size()));
            break;
        }
        case Op::MakeFifo:
            ASSERT_EQ(::mkfifo(localPath.constData(), 0666), 0);
            break;
        case Op::LinkMoved: {
            const QByteArray moved = QFile::encodeName(dir.filePath(QStringLiteral("moved")));
            ASSERT_EQ(::rename(localPath.constData(), moved.constData()), 0);
            ASSERT_EQ(::symlink(moved.constData(), localPath.constData()), 0);
            break;
        }
        case Op::RemovePath:
            ASSERT_EQ(::remove(localPath.constData()), 0);
            break;
        case Op::IsFifo: {
            struct stat info = {};
            ASSERT_EQ(::lstat(localPath.constData(), &info), 0);
            EXPECT_TRUE(S_ISFIFO(info.st_mode));
            EXPECT_EQ(info.st_mode & 0777, 0666 & ~currentUmask());
            break;
        }
        case Op::IsFile: {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray content = file.readAll();
            EXPECT_EQ(Bytes(content.begin(), content.end()), step.bytes);
            break;
        }
        case Op::IsLink: {
            struct stat info = {};
            ASSERT_EQ(::lstat(localPath.constData(), &info), 0);
            EXPECT_TRUE(S_ISLNK(info.st_mode));
            break;
        }
        case Op::IsFree: {
            struct stat info = {};
            EXPECT_NE(::lstat(localPath.constData(), &info), 0);
            break;
        }
        }

        std::vector<LogRecord> expected = step.logs;
        for (LogRecord &record : expected)
            record.text.replace(QLatin1String("%d"), dir.path());
        EXPECT_EQ(log.records(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, NamedPipeScenario, ::testing::ValuesIn(scenarios()), Vantrel::Test::RowName());

// A FIFO made by the pipe in a directory of its own, with what is logged recorded.
class NamedPipeWriter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(pipe.create(path));
    }

    LogCapture log;
    QTemporaryDir dir;
    const QString path = dir.filePath(fifoName);
    NamedPipe pipe;
};

// Frames are refused whole when the FIFO lacks room for all of a frame, counted in its page-sized
// buffers: 1000-byte frames share buffers, 2100-byte ones take one each, larger ones fill some and
// may share the last.
struct FullCase
{
    const char *name;
    size_t frameBytes;
    size_t framesTaken; // by a pipe of 4 KiB buffers, grown for two when 64 KiB is too small, before it is full
};

class FullFifo : public NamedPipeWriter, public ::testing::WithParamInterface<FullCase>
{};

TEST_P(FullFifo, DropsWholeFramesWithOneWarningAndTellsTheCountWhenTheReaderCatchesUp)
{
    const size_t size = GetParam().frameBytes;
    Reader reader(path);
    ASSERT_TRUE(reader.isOpen());
    log.clear();

    const LogRecord fullWarning = warning("Error while writing to named pipe " + path + ": " + systemErrorText(EAGAIN));
    Bytes kept;
    uint32_t number = 0;
    for (; number < 1000 && !logged(log, fullWarning); ++number) {
        const Bytes frame = sizedFrame(size, uint8_t(number));
        errno = EPIPE; // an errno left over from elsewhere must not decide what is reported
        pipe.newRawData(number, frame);
        if (!logged(log, fullWarning))
            kept.insert(kept.end(), frame.begin(), frame.end());
    }
    ASSERT_EQ(log.records(), (std::vector<LogRecord>{info("Opening named pipe " + path), fullWarning}));
    // No room is wasted either.
    if (::sysconf(_SC_PAGESIZE) == 4096) {
        EXPECT_EQ(kept.size(), GetParam().framesTaken * size);
    }

    // The stall goes on without another word.
    log.clear();
    for (const uint32_t last = number + 3; number < last; ++number)
        pipe.newRawData(number, sizedFrame(size, uint8_t(number)));
    EXPECT_EQ(log.records(), std::vector<LogRecord>{});

    // Nothing is begun that did not fit: the stall starts on a frame boundary.
    Bytes received = reader.take();
    EXPECT_EQ(received, kept);
    const Bytes next = sizedFrame(size, uint8_t(number));
    pipe.newRawData(number, next);
    EXPECT_EQ(log.records(),
              std::vector<LogRecord>{warning("Dropped 4 frames while the named pipe " + path + " was full")});
    const Bytes rest = reader.take();
    received.insert(received.end(), rest.begin(), rest.end());
    kept.insert(kept.end(), next.begin(), next.end());
    EXPECT_EQ(received, kept);
}

INSTANTIATE_TEST_SUITE_P(FrameSizes, FullFifo,
                         ::testing::Values(FullCase{"Bytes1000", 1000, 64}, FullCase{"Bytes2100", 2100, 16},
                                           FullCase{"Bytes6000", 6000, 10}, FullCase{"Bytes10000", 10000, 6},
                                           FullCase{"Bytes40000", 40000, 3}),
                         Vantrel::Test::RowName());

TEST_F(NamedPipeWriter, NeverWaitsForAReaderThatDoesNotRead)
{
    Reader idle(path);
    ASSERT_TRUE(idle.isOpen());
    log.clear();

    const Bytes frame = sizedFrame(4096, 0x5A);
    auto writing = std::async(std::launch::async, [this, &frame] {
        for (uint32_t i = 0; i < 2000; ++i) // many times what a FIFO holds
            pipe.newRawData(i, frame);
    });
    if (writing.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        // Let a writer stuck in write() finish before failing.
        while (writing.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            idle.take();
        FAIL() << "newRawData waited for the reader";
    }

    // One stall, one warning.
    EXPECT_EQ(log.records(), (std::vector<LogRecord>{info("Opening named pipe " + path),
                                                     warning("Error while writing to named pipe " + path + ": "
                                                             + systemErrorText(EAGAIN))}));
}

TEST_F(NamedPipeWriter, ReaderProcessReceivesTheFramesBackToBack)
{
    QProcess cat;
    cat.start(QStringLiteral("cat"), {path}, QIODevice::ReadOnly);
    ASSERT_TRUE(cat.waitForStarted());
    log.clear();

    // Frames offered before the reader has its end open are dropped; the first one that opens goes through.
    const LogRecord opened = info("Opening named pipe " + path);
    const Bytes first = sizedFrame(40, 1), second = sizedFrame(8, 2), third = sizedFrame(300, 3);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        pipe.newRawData(1, first);
        if (logged(log, opened) || waited.elapsed() > 30000)
            break;
        QThread::msleep(10);
    }
    ASSERT_TRUE(logged(log, opened));
    pipe.newRawData(2, second);
    pipe.newRawData(3, third);
    pipe.close();

    ASSERT_TRUE(cat.waitForFinished(30000));
    EXPECT_EQ(cat.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cat.exitCode(), 0);
    const QByteArray output = cat.readAllStandardOutput();
    EXPECT_EQ(Bytes(output.begin(), output.end()), concat({first, second, third}));
}

} // namespace
