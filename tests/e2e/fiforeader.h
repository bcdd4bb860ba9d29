#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

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
    // Reads what is there now, without waiting.
    QByteArray readAvailable();
    // Waits up to timeoutMs for bytes or the writer's end, then reads what is there.
    QByteArray readSome(int timeoutMs);

private:
    int m_fd = -1;
};

// A reader thread that drains the FIFO as frames arrive, like a real consumer of the stream.
class FifoReader
{
public:
    explicit FifoReader(const QString &path);
    ~FifoReader();

    bool isOpen() const { return m_end.isOpen(); }
    // Stops reading after taking whatever the writer left in the FIFO, and answers every byte read.
    QByteArray finish();

private:
    void readLoop();

    FifoEnd m_end;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    QByteArray m_bytes;
    std::thread m_thread;
};
