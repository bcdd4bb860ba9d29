// Standard output written by its own thread: bounded, whole lines, in order, whatever the reader does.
#include "app/standardoutput.h"

#include <QDeadlineTimer>
#include <QList>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace Vantrel {
namespace {

// Points descriptor 1 at a pipe of one page that nobody reads until drain() is called.
class StalledStdout
{
public:
    StalledStdout()
    {
        EXPECT_EQ(::pipe(m_pipe), 0);
        ::fcntl(m_pipe[1], F_SETPIPE_SZ, 4096);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_pipe[1], STDOUT_FILENO);
    }
    ~StalledStdout()
    {
        ::dup2(m_saved, STDOUT_FILENO);
        for (int fd : {m_saved, m_pipe[0], m_pipe[1]})
            ::close(fd);
    }

    // Reads until `lines` lines have come, then what is left in the pipe.
    QByteArray readLines(int lines)
    {
        QByteArray read;
        ::fcntl(m_pipe[0], F_SETFL, O_NONBLOCK);
        const auto readAvailable = [&] {
            char buffer[4096];
            ssize_t n = 0;
            while ((n = ::read(m_pipe[0], buffer, sizeof buffer)) > 0)
                read.append(buffer, int(n));
        };
        const QDeadlineTimer deadline(30000);
        while (read.count('\n') < lines && !deadline.hasExpired()) {
            readAvailable();
            std::this_thread::yield();
        }
        readAvailable();
        return read;
    }

    // Reads while the queue is flushed.
    QByteArray drain(int lines)
    {
        std::thread flusher([] { StandardOutput::instance().flush(); });
        const QByteArray read = readLines(lines);
        if (read.count('\n') < lines)
            flusher.detach(); // the test fails on the count; do not hang here
        else
            flusher.join();
        return read;
    }

private:
    int m_pipe[2] = {-1, -1};
    int m_saved = -1;
};

// During a run, whatever the reader does not take in time is dropped.
TEST(StandardOutput, DataLinesBeyondTheQueueAreRefusedAndLogLinesUseTheReserve)
{
    StalledStdout stdoutPipe;
    StandardOutput &output = StandardOutput::instance();
    output.setRunning(true);
    const auto dataLine = [](int i) { return QByteArray::number(i).rightJustified(20, '0') + ";\t\n"; };

    int accepted = 0;
    const auto fillQueue = [&] {
        while (accepted < 100000 && output.writeData(dataLine(accepted)))
            ++accepted;
    };
    fillQueue();
    // Give the writer time to fill the pipe and get stuck, then fill what it took from the queue.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    fillQueue();
    // The queue is full once the writer is stuck on a full pipe: at most a page of lines went out.
    EXPECT_GE(accepted, StandardOutput::Capacity);
    EXPECT_LE(accepted, StandardOutput::Capacity + 4096 / 23 + 2);
    EXPECT_FALSE(output.writeData(dataLine(accepted)));
    for (int i = 0; i < StandardOutput::LogReserve + 5; ++i)
        output.writeLog("# note " + QByteArray::number(i) + '\n');

    const QList<QByteArray> lines = stdoutPipe.drain(accepted + StandardOutput::LogReserve).split('\n');
    ASSERT_EQ(lines.size(), accepted + StandardOutput::LogReserve + 1);
    for (int i = 0; i < accepted; ++i)
        ASSERT_EQ(lines.at(i) + '\n', dataLine(i)) << "line " << i;
    for (int i = 0; i < StandardOutput::LogReserve; ++i)
        ASSERT_EQ(lines.at(accepted + i), "# note " + QByteArray::number(i));
    EXPECT_EQ(lines.constLast(), QByteArray());
}

// Before a run, the command line's output waits for its reader, however late it starts reading.
TEST(StandardOutput, BeforeARunLogLinesWaitForTheReader)
{
    StalledStdout stdoutPipe;
    StandardOutput::instance().setRunning(false);
    constexpr int lines = 4 * StandardOutput::Capacity;
    std::thread writer([] {
        for (int i = 0; i < lines; ++i)
            StandardOutput::instance().writeLog("# line " + QByteArray::number(i) + '\n');
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * StandardOutput::StallMs));
    const QByteArray read = stdoutPipe.drain(lines);
    writer.join();
    EXPECT_EQ(read.count('\n'), lines);
}

// Far more log lines than the queue holds reach a reader that reads, however fast they come.
TEST(StandardOutput, ABurstOfLogLinesWaitsForAReaderThatReads)
{
    StalledStdout stdoutPipe;
    constexpr int lines = 20 * StandardOutput::Capacity;
    QByteArray read;
    std::thread reader([&] { read = stdoutPipe.readLines(lines); });
    for (int i = 0; i < lines; ++i)
        StandardOutput::instance().writeLog("# line " + QByteArray::number(i) + '\n');
    StandardOutput::instance().flush();
    reader.join();

    const QList<QByteArray> received = read.split('\n');
    ASSERT_EQ(received.size(), lines + 1);
    for (int i = 0; i < lines; ++i)
        ASSERT_EQ(received.at(i), "# line " + QByteArray::number(i));
}

// A gathering thread's lines wait for its release, but for those that fill a write: they go out at once,
// and the rest waits.
TEST(StandardOutput, GatheredLinesGoOutTogetherAtReleaseOrWhenTheyFillAWrite)
{
    StalledStdout stdoutPipe;
    StandardOutput &output = StandardOutput::instance();
    output.gatherOnThisThread(true);
    output.writeLog("# first\n");
    output.writeLog("# second\n");
    EXPECT_EQ(stdoutPipe.readLines(0), QByteArray());
    output.release();
    EXPECT_EQ(stdoutPipe.readLines(2), "# first\n# second\n");

    const QByteArray line = QByteArray(99, 'x') + '\n';
    const int fitting = PIPE_BUF / line.size();
    for (int i = 0; i < fitting; ++i)
        output.writeLog(line);
    EXPECT_EQ(stdoutPipe.readLines(0), QByteArray());
    output.writeLog(line);
    EXPECT_EQ(stdoutPipe.readLines(fitting), line.repeated(fitting));
    output.release();
    EXPECT_EQ(stdoutPipe.readLines(1), line);
    output.gatherOnThisThread(false);
}

} // namespace
} // namespace Vantrel
