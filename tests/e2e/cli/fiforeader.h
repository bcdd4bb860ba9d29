#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

struct StreamFrame
{
    uint32_t sequenceNumber;
    int64_t timestamp;
};

// The raw stream cut at its size prefixes, as a reader takes it. Every frame must pass the verifier;
// the stream may stop inside a frame only at its very end, in one the writer had begun when it closed.
struct FrameStream
{
    std::vector<StreamFrame> frames;
    bool wellFormed = true;
    bool endsInsideAFrame = false;

    std::vector<uint32_t> sequenceNumbers() const;
};

FrameStream readFrames(const QByteArray &bytes);

// Polls until a FIFO exists at the path; answers whether one appeared in time.
bool waitForFifo(const QString &path, int timeoutMs);

// The read end of a FIFO, opened without waiting for a writer. Holding it lets the writer open its
// end; not reading from it lets the FIFO fill up.
class FifoEnd
{
public:
    explicit FifoEnd(const QString &path);
    ~FifoEnd();
    FifoEnd(const FifoEnd &) = delete;
    FifoEnd &operator=(const FifoEnd &) = delete;

    bool isOpen() const { return m_fd != -1; }
    // Shrinks the FIFO's buffer so a reader that does not read fills it quickly.
    bool setCapacity(int bytes);
    // Reads what is there now, up to `most` bytes, without waiting.
    QByteArray readAvailable(int most = std::numeric_limits<int>::max());
    // Waits up to timeoutMs for bytes or the writer's end, then reads what is there, up to `most` bytes.
    QByteArray readSome(int timeoutMs, int most = std::numeric_limits<int>::max());

private:
    int m_fd = -1;
};

// How a reader keeps up: it takes at most chunkBytes at a time and rests pauseMs after each, or, with
// a longer pauseMaxMs, anything from pauseMs to pauseMaxMs.
struct ReadPace
{
    int chunkBytes = std::numeric_limits<int>::max();
    int pauseMs = 0;
    int pauseMaxMs = 0;
};

// A reader thread that drains the FIFO as frames arrive, like a real consumer of the stream; or, paced,
// one that falls behind.
class FifoReader
{
public:
    explicit FifoReader(const QString &path, ReadPace pace = {});
    ~FifoReader();

    bool isOpen() const { return m_end.isOpen(); }
    // Stops reading after taking whatever the writer left in the FIFO, and answers every byte read.
    QByteArray finish();

private:
    void readLoop();

    FifoEnd m_end;
    const ReadPace m_pace;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    QByteArray m_bytes;
    std::thread m_thread;
};
