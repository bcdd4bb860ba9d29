#include "frames/json/linewriter.h"

#include "process/terminationsignals.h"

#include <QDebug>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace Vantrel {

namespace {

constexpr size_t BatchSize = 64 * 1024;
// How long waits last at most once the program is asked to end, and the slices they are watched in.
constexpr std::chrono::seconds EndingWait(1);
constexpr std::chrono::milliseconds WaitSlice(100);
// The falling behind of a live stream is told at most this often.
constexpr qint64 ReportIntervalMs = 1000;

} // namespace

// Shared with the writer thread, which may outlive the writer when it is stuck in a write.
struct LineWriter::Queue
{
    std::mutex mutex;
    std::condition_variable changed;
    std::string lines;
    bool writing = false; // the writer holds lines taken from the queue
    bool ending = false;
    bool broken = false;

    bool idle() const { return lines.empty() && !writing; }
};

namespace {

// Errors end the writing; EAGAIN, for a descriptor someone else made non-blocking, is waited out.
int writeWhole(int fd, const std::string &bytes)
{
    const char *next = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written > 0) {
            next += written;
            left -= static_cast<size_t>(written);
            continue;
        }
        const int error = written < 0 ? errno : EIO;
        if (error == EINTR)
            continue;
        if (error != EAGAIN)
            return error;
        pollfd output = {fd, POLLOUT, 0};
        ::poll(&output, 1, -1);
    }
    return 0;
}

} // namespace

LineWriter::LineWriter(int fd, WhenBehind whenBehind, std::function<void(int)> failed)
    : m_queue(std::make_shared<Queue>())
    , m_whenBehind(whenBehind)
    , m_dropped(ReportIntervalMs, [](quint64 count, qint64) {
        qWarning().noquote() << tr("Dropped %1 JSON lines while standard output was behind").arg(count);
    })
{
    m_writer = std::thread([queue = m_queue, fd, failed = std::move(failed)] {
        std::string batch;
        std::unique_lock<std::mutex> lock(queue->mutex);
        for (;;) {
            queue->changed.wait(lock, [&] { return !queue->lines.empty() || queue->ending; });
            if (queue->lines.empty())
                return;
            batch.swap(queue->lines);
            queue->writing = true;
            lock.unlock();
            const int error = queue->broken ? 0 : writeWhole(fd, batch);
            batch.clear();
            // A large frame's line must not keep its room for good.
            if (batch.capacity() > 2 * BatchSize)
                std::string().swap(batch);
            lock.lock();
            queue->writing = false;
            if (error != 0 && !queue->broken) {
                queue->broken = true;
                // Not once the writer is gone: whoever is told may be gone with it.
                if (failed && !queue->ending)
                    failed(error);
            }
            queue->changed.notify_all();
        }
    });
}

LineWriter::~LineWriter()
{
    finish();
    {
        std::lock_guard<std::mutex> lock(m_queue->mutex);
        m_queue->ending = true;
        if (!m_queue->idle()) {
            // Stuck in a write to a reader that does not read: it goes with the process.
            m_writer.detach();
            return;
        }
    }
    m_queue->changed.notify_all();
    m_writer.join();
}

void LineWriter::line(std::string_view line, const DecodedFrame &)
{
    m_lines += line;
    if (m_lines.size() >= BatchSize)
        flush();
}

void LineWriter::flush()
{
    if (m_lines.empty())
        return;
    handOver(std::move(m_lines));
    m_lines.clear();
    if (m_lines.capacity() > 2 * BatchSize)
        std::string().swap(m_lines);
}

void LineWriter::handOver(std::string &&lines)
{
    std::unique_lock<std::mutex> lock(m_queue->mutex);
    // A line larger than the queue goes alone.
    const auto hasRoom = [&] { return m_queue->lines.empty() || m_queue->lines.size() + lines.size() <= QueueBytes; };
    if (m_whenBehind == WhenBehind::Wait) {
        while (!hasRoom() && !TerminationSignals::requested())
            m_queue->changed.wait_for(lock, WaitSlice);
    }
    if (!hasRoom()) {
        if (m_dropped.beginRun())
            qWarning().noquote() << tr("Standard output is behind; dropping JSON lines");
        m_dropped.add(static_cast<quint64>(std::count(lines.begin(), lines.end(), '\n')));
        return;
    }
    if (m_queue->lines.empty())
        m_queue->lines = std::move(lines);
    else
        m_queue->lines += lines;
    lock.unlock();
    m_queue->changed.notify_all();
    // Told once the lines go through again, and not more often than once a second.
    m_dropped.tellIfDue();
}

void LineWriter::finish()
{
    flush();
    std::unique_lock<std::mutex> lock(m_queue->mutex);
    auto deadline = std::chrono::steady_clock::time_point::max();
    while (!m_queue->idle() && !m_queue->broken) {
        if (TerminationSignals::requested() && deadline == std::chrono::steady_clock::time_point::max())
            deadline = std::chrono::steady_clock::now() + EndingWait;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        m_queue->changed.wait_for(lock, WaitSlice);
    }
    // What is given up on counts as dropped.
    if (!m_queue->broken)
        m_dropped.add(static_cast<quint64>(std::count(m_queue->lines.begin(), m_queue->lines.end(), '\n')));
    m_queue->lines.clear();
    lock.unlock();
    m_dropped.tell();
}

} // namespace Vantrel
