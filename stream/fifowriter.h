#pragma once

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace Vantrel {

// The write end of the frame FIFO. Frames go in whole or not at all, so that a reader can take every
// boundary from the size prefixes from the first frame to the last, whatever its speed. The end is
// opened lazily and never blocks while frames flow: a missing or slow reader costs frames, never time.
// Only its closing waits, briefly, for a reader to take the rest of a frame begun.
class FifoWriter
{
    // Its messages belong to the named pipe they report on.
    Q_DECLARE_TR_FUNCTIONS(Vantrel::NamedPipe)

public:
    explicit FifoWriter(QByteArray path);
    ~FifoWriter();
    FifoWriter(const FifoWriter &) = delete;
    FifoWriter &operator=(const FifoWriter &) = delete;

    void write(std::vector<uint8_t> frame);

private:
    // One page-sized buffer of the pipe, as this writer filled it.
    struct Slot
    {
        uint64_t end; // the stream offset just past its last byte
        std::size_t fill; // bytes put into it; what the reader took of it still counts
    };

    bool open();
    bool roomFor(std::size_t frameSize);
    void growFor(std::size_t frameSize);
    bool takeStock();
    std::size_t slotsNeeded(std::size_t length) const;
    void account(std::size_t requested, std::size_t written);
    bool readerGone() const;
    int writeFrom(const std::vector<uint8_t> &frame, std::size_t &sent);
    void fail(int error);
    void endStall();
    bool finishFrame();
    void closeEnd();
    QString path() const;

    QByteArray m_path;
    int m_fd = -1;
    const std::size_t m_page; // the size of one of the pipe's buffers
    std::size_t m_capacity = 0; // of the pipe, as last learnt; 0 until a frame asks
    std::deque<Slot> m_slots; // the pipe's buffers that may still hold bytes, oldest first
    uint64_t m_written = 0; // bytes put into the pipe since it was last seen empty
    bool m_known = true; // whether every byte in the pipe is one this writer put there
    std::vector<uint8_t> m_pending; // a frame the FIFO took only part of
    std::size_t m_pendingSent = 0; // how much of it is in
    quint64 m_dropped = 0; // frames dropped one after another by a full FIFO: the stall going on
};

} // namespace Vantrel
