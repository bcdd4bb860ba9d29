#pragma once

#include "frames/json/jsonline.h"
#include "process/ratelimitedcount.h"

#include <QCoreApplication>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Vantrel {

// Writes lines to a descriptor (standard output) on a thread of its own, in batches: a reader that
// stops reading holds up that thread, never the event loop, so the web view, MQTT and termination
// signals go on. What waits for the writer is bounded: when it is behind, a live stream's lines are
// dropped and counted; a finite source's wait for it, until a termination signal comes.
class LineWriter final : public JsonLineSink
{
    Q_DECLARE_TR_FUNCTIONS(LineWriter)

public:
    enum class WhenBehind {
        Drop, // a live stream: the next frames matter more than the missed ones
        Wait, // a recording: every line, however slow the reader
    };
    // Lines waiting for the writer beyond which it is behind.
    static constexpr size_t QueueBytes = 1 << 20;

    // failed is called once, on the writer's thread, with errno when writing fails (and not after
    // the writer is destroyed); nothing is written after that.
    LineWriter(int fd, WhenBehind whenBehind, std::function<void(int error)> failed = {});
    // finish(), then the writer ends; one stuck in a write is left to the end of the process.
    ~LineWriter() override;

    void line(std::string_view line, const DecodedFrame &frame) override;
    // Hands the lines so far to the writer.
    void flush() override;
    // Waits until the writer has written every line handed over; after a termination signal, for
    // about a second at most. Lines dropped are reported.
    void finish();

private:
    struct Queue;

    void handOver(std::string &&lines);

    std::shared_ptr<Queue> m_queue;
    std::thread m_writer;
    WhenBehind m_whenBehind;
    std::string m_lines; // whole lines not yet handed over
    RateLimitedCount m_dropped; // lines
};

} // namespace Vantrel
