#include "stream/fifowriter.h"

#include "stream/systemerror.h"

#include <QDebug>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace Vantrel {

namespace {

// The largest pipe an unprivileged process may ask for; 0 when the system does not tell.
std::size_t pipeSizeLimit()
{
    std::ifstream limit("/proc/sys/fs/pipe-max-size");
    unsigned long bytes = 0;
    return limit >> bytes ? std::size_t(bytes) : 0;
}

} // namespace

FifoWriter::FifoWriter(QByteArray path)
    : m_path(std::move(path))
{
}

FifoWriter::~FifoWriter()
{
    closeEnd();
}

void FifoWriter::write(std::vector<uint8_t> frame)
{
    if (m_fd == -1 && !open())
        return;
    if (frame.empty()) // leaves no trace in the stream
        return;

    // The rest of a frame the FIFO took only part of goes before anything else, or the reader would
    // find the next frame inside it; until it is in, later frames are dropped.
    if (!m_pending.empty()) {
        const int error = writeFrom(m_pending, m_pendingSent);
        if (error != 0) {
            fail(error);
            return;
        }
        m_pending.clear();
    }

    growFor(frame.size());
    std::size_t sent = 0;
    const int error = writeFrom(frame, sent);
    if (sent == 0) {
        fail(error);
        return;
    }
    endStall();
    if (error != 0) {
        m_pending = std::move(frame);
        m_pendingSent = sent;
    }
}

bool FifoWriter::open()
{
    // Non-blocking, so that opening without a reader fails at once instead of waiting for one;
    // close-on-exec, so that no child process keeps the write end open and hides end of file.
    m_fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd == -1) {
        const int error = errno;
        if (error != ENXIO) { // ENXIO: no reader yet, the normal state between readers
            qWarning().noquote() << tr("Error while opening named pipe %1: %2").arg(path(), systemErrorText(error));
        }
        return false;
    }
    qInfo().noquote() << tr("Opening named pipe %1").arg(path());
    return true;
}

// A frame larger than the pipe could never go in one write: the pipe grows to hold it, as far as the
// system lets an unprivileged process go. A frame beyond that still goes whole, in pieces.
void FifoWriter::growFor(std::size_t frameSize)
{
    if (frameSize <= m_capacity)
        return;
    const int current = ::fcntl(m_fd, F_GETPIPE_SZ);
    if (current > 0)
        m_capacity = std::size_t(current);
    if (frameSize <= m_capacity)
        return;

    std::size_t wanted = std::min<std::size_t>(frameSize, INT_MAX);
    if (const std::size_t limit = pipeSizeLimit())
        wanted = std::min(wanted, limit);
    if (wanted <= m_capacity)
        return;
    // The kernel rounds the size up to a power of two pages and answers what it gave.
    const int granted = ::fcntl(m_fd, F_SETPIPE_SZ, int(wanted));
    if (granted > 0)
        m_capacity = std::size_t(granted);
}

// Writes what the FIFO takes now of the frame from `sent` on, and advances `sent`. Answers 0 once the
// frame is all in, EAGAIN while the FIFO has no room for the rest, or the write's own error.
int FifoWriter::writeFrom(const std::vector<uint8_t> &frame, std::size_t &sent)
{
    const ssize_t written = ::write(m_fd, frame.data() + sent, frame.size() - sent);
    if (written < 0)
        return errno;
    sent += std::size_t(written);
    return sent == frame.size() ? 0 : EAGAIN;
}

// The current frame cannot go in. A full FIFO drops it and counts it, reported once per stall; any
// other error gives up the write end, and the next frame opens it again. A reader that went away
// (EPIPE) ends its stream: that is no fault.
void FifoWriter::fail(int error)
{
    const bool full = error == EAGAIN;
    if (full ? m_dropped++ == 0 : error != EPIPE)
        qWarning().noquote() << tr("Error while writing to named pipe %1: %2").arg(path(), systemErrorText(error));
    if (!full)
        closeEnd();
}

// A stall, the frames dropped one after another, ends with the next frame the FIFO takes (whole, or
// begun), or when the write end closes.
void FifoWriter::endStall()
{
    if (m_dropped == 0)
        return;
    qWarning().noquote()
        << tr("Dropped %1 frames while the named pipe %2 was full").arg(QString::number(m_dropped), path());
    m_dropped = 0;
}

// What is left of a frame begun is abandoned: the reader sees end of file after its first part, and
// the next opening starts on a whole frame.
void FifoWriter::closeEnd()
{
    if (m_fd == -1)
        return;
    endStall();
    if (::close(m_fd) != 0) {
        const int error = errno;
        qWarning().noquote() << tr("Can't close named pipe %1: %2").arg(path(), systemErrorText(error));
    }
    m_fd = -1;
    m_capacity = 0;
    m_pending.clear();
}

QString FifoWriter::path() const
{
    return QString::fromLocal8Bit(m_path);
}

} // namespace Vantrel
