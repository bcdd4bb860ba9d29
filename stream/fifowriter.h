#pragma once

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vantrel {

// The write end of the frame FIFO. Frames go in whole or not at all, so that a reader can take every
// boundary from the size prefixes for as long as the write end stays open, whatever its speed. The
// end is opened lazily and never blocks: a missing or slow reader costs frames, never time.
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
    bool open();
    void growFor(std::size_t frameSize);
    int writeFrom(const std::vector<uint8_t> &frame, std::size_t &sent);
    void fail(int error);
    void endStall();
    void closeEnd();
    QString path() const;

    QByteArray m_path;
    int m_fd = -1;
    std::size_t m_capacity = 0; // of the pipe, as last learnt; 0 until a frame asks
    std::vector<uint8_t> m_pending; // a frame the FIFO took only part of
    std::size_t m_pendingSent = 0; // how much of it is in
    quint64 m_dropped = 0; // frames dropped one after another by a full FIFO: the stall going on
};

} // namespace Vantrel
