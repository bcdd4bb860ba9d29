#pragma once

#include <QByteArray>

namespace Vantrel {

// Standard output, written by a thread of its own: a reader that stops reading holds up that thread,
// not the event loop. A line with nothing queued ahead of it goes out at once when standard output can
// take it without waiting, and the thread is not woken for it. Lines are written whole and in the order they were queued. The queue is
// bounded: data lines are refused once it is full; log lines have a small reserve beyond that, so
// the notice of dropped data still gets through, and past it they wait while the reader reads.
class StandardOutput
{
public:
    static constexpr int Capacity = 512;
    static constexpr int LogReserve = 64;
    // A reader that has taken nothing for this long is stalled.
    static constexpr int StallMs = 250;

    // The process's one standard output. Lines still queued are written before the process exits.
    static StandardOutput &instance();

    // Queues one data line (with its line end); false when the queue is full and the line is dropped.
    bool writeData(QByteArray line);
    // Queues one log line (with its line end). When the reserve is full too, it waits for room; while a run
    // goes on (see below) only as long as the reader reads, and it is dropped once the reader has taken
    // nothing for StallMs.
    void writeLog(QByteArray line);
    // Whether a run goes on, during which a stalled reader must not hold up the program. Before it, the
    // command line's output (help, print-options) waits for its reader as any program's does.
    void setRunning(bool running);
    // While on, lines queued on the calling thread are gathered, up to what one write takes, and go out
    // together at its release(): an event loop's thread releases them when it is about to wait, so that
    // the lines of one wake-up cost one write.
    void gatherOnThisThread(bool on);
    void release();
    // Waits until every line queued so far is written. After timeoutMs (no limit when negative), lines
    // still waiting are dropped, and later waits return at once: the reader is not reading.
    void flush(int timeoutMs = -1);

    StandardOutput(const StandardOutput &) = delete;
    StandardOutput &operator=(const StandardOutput &) = delete;

private:
    StandardOutput() = default;
    bool enqueue(QByteArray line, int limit, bool waitWhileRead);
};

} // namespace Vantrel
