#include "app/standardoutput.h"

#include "app/immediateoutput.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include <cerrno>
#include <climits>
#include <pthread.h>
#include <unistd.h>

namespace Vantrel {

namespace {

// The queue and its writer. A forked child gets a fresh one: the writer thread does not exist there,
// and the lock may have been held by a thread that does not exist either.
struct Queue
{
    std::mutex mutex;
    // Two conditions, so that a line queued wakes the writer alone, and a batch written wakes only those
    // waiting for room or for the queue to empty.
    std::condition_variable queued;
    std::condition_variable written;
    std::deque<QByteArray> lines;
    size_t inHand = 0; // lines the writer has taken and not finished; they still count against the bound
    std::chrono::steady_clock::time_point writeBegan; // of the lines in hand
    bool writerStarted = false;
    bool writerIdle = false; // waiting for lines: the next line queued has to wake it
    bool running = false; // a stalled reader costs log lines instead of time
    bool givenUp = false; // a flush timed out: the reader is gone or stalled
    ImmediateOutput immediate; // for lines written without the writer thread
    QByteArray immediateBatch; // kept, so that its room is not allocated afresh for every write
    std::thread::id gatherer; // lines it queues are gathered until it calls release()
    qsizetype queuedBytes = 0; // of `lines`

    size_t pending() const { return lines.size() + inHand; }
    // Nobody looks at the queue unless woken.
    bool writerAsleep() const { return !writerStarted || writerIdle; }
};

Queue *queue = nullptr;
Queue *retired = nullptr; // the parent's queue in a forked child, kept reachable for leak checkers

// Errors are ignored: nothing can be reported about standard output on standard output.
void writeWhole(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

// As many of the queued lines as fit in one atomic pipe write (one at least), so that a fast producer
// costs one write for many lines, and a process that ends while the reader is stalled leaves no line cut
// in the pipe. Answers how many lines the batch holds.
size_t takeBatch(const Queue *q, QByteArray &batch)
{
    batch.clear();
    size_t taken = 0;
    for (const QByteArray &line : q->lines) {
        if (taken > 0 && batch.size() + line.size() > PIPE_BUF)
            break;
        batch += line;
        ++taken;
    }
    return taken;
}

// The first `bytes` of the queue have been written (or are being written by the writer thread).
void dropWritten(Queue *q, qsizetype bytes)
{
    q->queuedBytes -= bytes;
    while (bytes > 0 && bytes >= q->lines.front().size()) {
        bytes -= q->lines.front().size();
        q->lines.pop_front();
    }
    if (bytes > 0)
        q->lines.front().remove(0, static_cast<int>(bytes));
}

void writeLines(Queue *q);

enum class Batches { All, FullOnly };

// With the queue locked and the writer asleep: writes what standard output takes without waiting, and
// answers whether the writer has to be woken (started if need be) for the rest. With FullOnly, lines that
// would not fill a write are left for a gathering thread's next lines or its release().
bool writeAtOnce(Queue *q, Batches batches)
{
    QByteArray &batch = q->immediateBatch;
    while (!q->lines.empty()) {
        const size_t taken = takeBatch(q, batch);
        if (batches == Batches::FullOnly && taken == q->lines.size() && batch.size() <= PIPE_BUF)
            return false;
        const size_t done = q->immediate.write(batch.constData(), static_cast<size_t>(batch.size()));
        dropWritten(q, static_cast<qsizetype>(done));
        if (done < static_cast<size_t>(batch.size()))
            break;
    }
    if (q->lines.empty())
        return false;
    if (!q->writerStarted) {
        std::thread(writeLines, q).detach();
        q->writerStarted = true;
    }
    // Once: it is no longer idle from here on.
    q->writerIdle = false;
    return true;
}

// writeAtOnce(), then the wake-ups it calls for, after unlocking, so that nobody wakes only to wait for the
// lock: the writer for what is left, and those waiting for room or for the queue to empty.
void sendAtOnce(Queue *q, std::unique_lock<std::mutex> &lock, Batches batches = Batches::All)
{
    const bool wake = writeAtOnce(q, batches);
    lock.unlock();
    if (wake)
        q->queued.notify_one();
    q->written.notify_all();
}

// Writes the queued lines for as long as the process lives; owns nothing that can go away.
void writeLines(Queue *q)
{
    QByteArray batch;
    std::unique_lock<std::mutex> lock(q->mutex, std::defer_lock);
    for (;;) {
        lock.lock();
        while (q->lines.empty()) {
            q->writerIdle = true;
            q->queued.wait(lock);
        }
        q->writerIdle = false;
        const size_t taken = takeBatch(q, batch);
        q->inHand = taken;
        q->writeBegan = std::chrono::steady_clock::now();
        dropWritten(q, batch.size());
        lock.unlock();
        writeWhole(batch);
        lock.lock();
        q->inHand = 0;
        lock.unlock();
        // After unlocking, so that a waiter does not wake only to wait for the lock.
        q->written.notify_all();
    }
}

void startAfresh()
{
    retired = queue;
    queue = new Queue;
}

} // namespace

StandardOutput &StandardOutput::instance()
{
    static StandardOutput *const output = [] {
        startAfresh();
        ::pthread_atfork(nullptr, nullptr, &startAfresh);
        std::atexit([] { instance().flush(); });
        return new StandardOutput;
    }();
    return *output;
}

bool StandardOutput::writeData(QByteArray line)
{
    return enqueue(std::move(line), Capacity, false);
}

void StandardOutput::writeLog(QByteArray line)
{
    enqueue(std::move(line), Capacity + LogReserve, true);
}

void StandardOutput::setRunning(bool running)
{
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->running = running;
}

bool StandardOutput::enqueue(QByteArray line, int limit, bool waitWhileRead)
{
    Queue *q = queue;
    std::unique_lock<std::mutex> lock(q->mutex);
    const auto hasRoom = [q, limit] { return q->pending() < static_cast<size_t>(limit); };
    // A burst of log lines waits for a reader that is reading; during a run, one that has taken nothing for
    // StallMs is stalled, and its lines are dropped instead of holding up the program.
    const std::chrono::milliseconds stall(StallMs);
    while (!hasRoom()) {
        const bool stalled = q->inHand > 0 && std::chrono::steady_clock::now() - q->writeBegan > stall;
        if (!waitWhileRead || (q->running && stalled))
            return false;
        q->written.wait_for(lock, stall, hasRoom);
    }
    q->queuedBytes += line.size();
    q->lines.push_back(std::move(line));
    // A busy writer looks at the queue again once its batch is out. Otherwise the line goes out now, from
    // this thread, when standard output takes it without waiting, and the writer is woken only for what
    // has to wait; a gathering thread's lines go out in full writes, and the rest at its release().
    const bool gathering = q->gatherer == std::this_thread::get_id();
    if (!q->writerAsleep() || (gathering && q->queuedBytes <= static_cast<qsizetype>(PIPE_BUF)))
        return true;
    sendAtOnce(q, lock, gathering ? Batches::FullOnly : Batches::All);
    return true;
}

void StandardOutput::gatherOnThisThread(bool on)
{
    release();
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->gatherer = on ? std::this_thread::get_id() : std::thread::id();
}

void StandardOutput::release()
{
    Queue *q = queue;
    std::unique_lock<std::mutex> lock(q->mutex);
    if (!q->lines.empty() && q->writerAsleep())
        sendAtOnce(q, lock);
}

void StandardOutput::flush(int timeoutMs)
{
    release();
    Queue *q = queue;
    std::unique_lock<std::mutex> lock(q->mutex);
    if (q->givenUp)
        return;
    const auto written = [q] { return q->pending() == 0; };
    if (timeoutMs < 0) {
        q->written.wait(lock, written);
        return;
    }
    if (!q->written.wait_for(lock, std::chrono::milliseconds(timeoutMs), written)) {
        q->lines.clear();
        q->queuedBytes = 0;
        q->givenUp = true;
    }
}

} // namespace Vantrel
