#include "stream/fifowriter.h"

#include "process/systemerror.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Vantrel {

namespace {

// How long the end of a run waits for a reader that takes nothing, before it cuts the frame begun.
constexpr int finishBoundMs = 500;

std::size_t pageSize()
{
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? std::size_t(size) : 4096;
}

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
    , m_page(pageSize())
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
        takeStock();
        const int error = writeFrom(m_pending, m_pendingSent);
        if (error != 0) {
            fail(error);
            return;
        }
        m_pending.clear();
    }

    // A frame is begun only when the pipe can take all of it, so that none is left cut when the write
    // end closes. A full pipe does not tell that its reader went away; poll does.
    if (!roomFor(frame.size())) {
        fail(readerGone() ? EPIPE : EAGAIN);
        return;
    }
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

// Whether the pipe has room for the whole frame now. Its room is counted in its page-sized buffers,
// each of which a few bytes keep taken; what the reader takes meanwhile only makes more room. A frame
// larger than the pipe can ever be goes in pieces, begun only into an empty pipe. Anything other than
// a pipe at the path has no room to count.
bool FifoWriter::roomFor(std::size_t frameSize)
{
    const int capacity = ::fcntl(m_fd, F_GETPIPE_SZ); // learnt anew: the reader may resize the pipe
    if (capacity <= 0)
        return true;
    m_capacity = std::size_t(capacity);
    growFor(frameSize);
    if (!takeStock())
        return true;
    if (frameSize > m_capacity)
        return m_known && m_slots.empty();
    return m_known && m_slots.size() + slotsNeeded(frameSize) <= m_capacity / m_page;
}

// The pipe grows to hold two frames, so that one goes in whole while the reader still takes the one
// before; as far as the system lets an unprivileged process go. A frame beyond that still goes whole,
// in pieces.
void FifoWriter::growFor(std::size_t frameSize)
{
    std::size_t wanted = std::min<std::size_t>(frameSize, INT_MAX / 2) * 2;
    if (wanted <= m_capacity)
        return;
    if (const std::size_t limit = pipeSizeLimit())
        wanted = std::min(wanted, limit);
    if (wanted <= m_capacity)
        return;
    // The kernel rounds the size up to a power of two pages and answers what it gave.
    const int granted = ::fcntl(m_fd, F_SETPIPE_SZ, int(wanted));
    if (granted > 0)
        m_capacity = std::size_t(granted);
}

// Learns how far the reader has read, and lets go of the buffers it has emptied. Answers false when
// the pipe does not tell how much it holds.
bool FifoWriter::takeStock()
{
    int queued = 0;
    if (::ioctl(m_fd, FIONREAD, &queued) != 0 || queued < 0)
        return false;
    if (queued == 0) {
        m_slots.clear();
        m_written = 0;
        m_known = true;
    } else if (uint64_t(queued) > m_written) {
        m_known = false; // another writer's bytes, laid out no one knows how: no room until it empties
    } else {
        const uint64_t read = m_written - uint64_t(queued);
        while (!m_slots.empty() && m_slots.front().end <= read)
            m_slots.pop_front();
    }
    return true;
}

// The buffers a write of `length` bytes takes beyond those in use. As the kernel writes into a pipe
// that is not empty, the part of the length beyond whole pages joins the last buffer when it fits
// there; everything else goes in fresh buffers, one page each.
std::size_t FifoWriter::slotsNeeded(std::size_t length) const
{
    const std::size_t rest = length % m_page;
    if (rest != 0 && !m_slots.empty() && m_slots.back().fill + rest <= m_page)
        return length / m_page;
    return (length + m_page - 1) / m_page;
}

// Lays the bytes of a write that asked for `requested` and put `written` into the buffers, as the
// kernel does (slotsNeeded): the joining part first.
void FifoWriter::account(std::size_t requested, std::size_t written)
{
    uint64_t offset = m_written;
    m_written += written;
    std::size_t left = written;
    const std::size_t rest = requested % m_page;
    if (rest != 0 && !m_slots.empty() && m_slots.back().fill + rest <= m_page) {
        const std::size_t joined = std::min(rest, left);
        offset += joined;
        m_slots.back().fill += joined;
        m_slots.back().end = offset;
        left -= joined;
    }
    while (left > 0) {
        const std::size_t put = std::min(left, m_page);
        offset += put;
        m_slots.push_back({offset, put});
        left -= put;
    }
}

bool FifoWriter::readerGone() const
{
    pollfd end = {m_fd, POLLOUT, 0};
    return ::poll(&end, 1, 0) == 1 && (end.revents & POLLERR) != 0;
}

// Writes what the FIFO takes now of the frame from `sent` on, and advances `sent`. Answers 0 once the
// frame is all in, EAGAIN while the FIFO has no room for the rest, or the write's own error.
int FifoWriter::writeFrom(const std::vector<uint8_t> &frame, std::size_t &sent)
{
    const std::size_t requested = frame.size() - sent;
    const ssize_t written = ::write(m_fd, frame.data() + sent, requested);
    if (written < 0)
        return errno;
    if (m_capacity > 0) // a pipe, whose buffers are counted
        account(requested, std::size_t(written));
    sent += std::size_t(written);
    return sent == frame.size() ? 0 : EAGAIN;
}

// The current frame cannot go in. A FIFO without room for it drops it and counts it, reported once
// per stall; any other error gives up the write end, and the next frame opens it again. A reader that
// went away (EPIPE) ends its stream: that is no fault.
void FifoWriter::fail(int error)
{
    const bool full = error == EAGAIN;
    if (full ? m_dropped++ == 0 : error != EPIPE)
        qWarning().noquote() << tr("Error while writing to named pipe %1: %2").arg(path(), systemErrorText(error));
    if (!full) {
        m_pending.clear(); // the write end is broken: nothing more of it goes in
        closeEnd();
    }
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

// Puts in the rest of a frame begun, for as long as the reader keeps taking bytes. Answers false
// when the reader took nothing for finishBoundMs and the rest is still out.
bool FifoWriter::finishFrame()
{
    QDeadlineTimer stalled(finishBoundMs);
    while (!m_pending.empty()) {
        pollfd end = {m_fd, POLLOUT, 0};
        const int ready = ::poll(&end, 1, int(stalled.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        if ((end.revents & POLLERR) != 0) // the reader went away: nobody is left to get it cut
            return true;
        takeStock();
        const std::size_t before = m_pendingSent;
        const int error = writeFrom(m_pending, m_pendingSent);
        if (error == 0) {
            m_pending.clear();
        } else if (error != EAGAIN) {
            if (error != EPIPE)
                qWarning().noquote()
                    << tr("Error while writing to named pipe %1: %2").arg(path(), systemErrorText(error));
            return true;
        } else if (m_pendingSent > before) {
            stalled.setRemainingTime(finishBoundMs);
        }
    }
    return true;
}

// A frame begun is finished first, so that the reader's stream ends on a frame boundary; only a
// reader that stalls may get the last frame cut, and is told so. The next opening starts on a whole
// frame. What the pipe holds stays counted: a reader that keeps it open still has those bytes to take.
void FifoWriter::closeEnd()
{
    if (m_fd == -1)
        return;
    const bool finished = finishFrame();
    endStall();
    if (!finished) {
        qWarning().noquote() << tr("Dropped the rest of a frame in named pipe %1: its reader took nothing for %2 ms")
                                    .arg(path(), QString::number(finishBoundMs));
    }
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
