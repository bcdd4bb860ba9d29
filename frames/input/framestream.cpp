#include "frames/input/framestream.h"

#include "frames/input/framedispatcher.h"
#include "process/systemerror.h"
#include "process/timermilliseconds.h"

#include <QDebug>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

namespace {

constexpr size_t ReadSize = 256 * 1024;
// Read at once, frames of more than this have had buffers of their own.
constexpr size_t ReleasedAfter = size_t{1} << 20;
// How often a followed FIFO's path is looked at for a FIFO made anew.
constexpr int FollowCheckMs = 250;

} // namespace

FrameStream::FrameStream(FrameDispatcher &dispatcher, QObject *parent)
    : QObject(parent)
    , m_dispatcher(dispatcher)
    , m_splitter(
          [this](const uint8_t *frame, size_t length, uint64_t offset) { m_dispatcher.frame(frame, length, offset); },
          2 * ReadSize)
{
}

FrameStream::~FrameStream()
{
    closeSource();
}

bool FrameStream::open(const QString &source, bool follow, const QString &recordPath, QString &error)
{
    m_source = source;
    m_follow = follow && !source.isEmpty();
    if (!recordPath.isEmpty() && !m_recording.open(recordPath, error))
        return false;
    if (m_follow && m_staleAfterMs > 0) {
        // Restarting a timer for every frame would cost at full rate: each read notes the time, and
        // the timer, when it fires, waits again for what is left.
        m_staleTimer = new QTimer(this);
        m_staleTimer->setSingleShot(true);
        connect(m_staleTimer, &QTimer::timeout, this, &FrameStream::checkStale);
        m_sinceFrames.start();
        m_staleTimer->start(m_staleAfterMs);
    }
    if (openSource(error))
        return true;
    if (!m_follow || errno != ENOENT)
        return false;
    // The writer makes the FIFO when it starts; until then there is nothing to read.
    m_followTimer = new QTimer(this);
    m_followTimer->setInterval(FollowCheckMs);
    connect(m_followTimer, &QTimer::timeout, this, &FrameStream::checkFollowedPath);
    m_followTimer->start();
    return true;
}

bool FrameStream::openSource(QString &error)
{
    if (m_source.isEmpty()) {
        m_fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    } else {
        // Non-blocking, so that opening a FIFO does not wait for a writer.
        m_fd = ::open(QFile::encodeName(m_source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (m_fd < 0) {
        const int openError = errno;
        error = tr("Can't open %1: %2")
                    .arg(m_source.isEmpty() ? QStringLiteral("standard input") : m_source, systemErrorText(openError));
        errno = openError;
        return false;
    }
    struct stat status = {};
    ::fstat(m_fd, &status);
    m_sourceDevice = status.st_dev;
    m_sourceInode = status.st_ino;
    m_followedFifo = m_follow && S_ISFIFO(status.st_mode);
    if (m_followedFifo) {
        // While we hold a write end, the writer going away is no end of file. A reader allowed
        // only to read (a member of the writer's group) follows without one: see readAvailable().
        m_keepOpenFd = ::open(QFile::encodeName(m_source).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        const int keepOpenError = errno;
        struct stat kept = {};
        const bool replaced = m_keepOpenFd < 0 ? keepOpenError == ENOENT
                                               : ::fstat(m_keepOpenFd, &kept) != 0 || kept.st_ino != status.st_ino
                                                     || kept.st_dev != status.st_dev;
        if (replaced) {
            // The FIFO was replaced between the two opens: try again at the next look.
            closeSource();
            errno = ENOENT;
            error = tr("%1 changed while it was being opened").arg(m_source);
            return false;
        }
        if (!m_followTimer) {
            m_followTimer = new QTimer(this);
            m_followTimer->setInterval(FollowCheckMs);
            connect(m_followTimer, &QTimer::timeout, this, &FrameStream::checkFollowedPath);
            m_followTimer->start();
        }
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FrameStream::readAvailable);
    Q_EMIT opened();
    return true;
}

void FrameStream::setStaleAfter(double seconds)
{
    m_staleAfterMs = seconds > 0 ? toTimerMilliseconds(seconds * 1000) : 0;
}

void FrameStream::close()
{
    m_ended = true;
    if (m_followTimer)
        m_followTimer->stop();
    if (m_staleTimer)
        m_staleTimer->stop();
    closeSource();
}

void FrameStream::closeSource()
{
    // Often closed from the notifier's own signal: it goes once that has returned.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    for (int *fd : {&m_fd, &m_keepOpenFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void FrameStream::checkFollowedPath()
{
    if (m_fd < 0) {
        QString error;
        if (!openSource(error) && errno != ENOENT)
            end(1, error);
        return;
    }
    if (!m_followedFifo || isSourceAtPath())
        return; // a file is read to its end, a FIFO while it is the one at the path
    // The FIFO was removed (and maybe made anew): take what its last writer left, then start over.
    // Without a write end, that writer's end of file has started over already.
    while (m_fd >= 0 && !m_ended && readAvailable() > 0) {
    }
    if (!m_ended && !(m_fd >= 0 && isSourceAtPath()))
        startOver();
}

bool FrameStream::isSourceAtPath() const
{
    struct stat status = {};
    return ::stat(QFile::encodeName(m_source).constData(), &status) == 0 && status.st_dev == m_sourceDevice
           && status.st_ino == m_sourceInode;
}

void FrameStream::startOver()
{
    if (m_splitter.pending() > 0) {
        qWarning().noquote() << tr("The stream of %1 stopped in the middle of a frame at byte %2; %3 bytes dropped")
                                    .arg(m_source)
                                    .arg(m_splitter.position())
                                    .arg(m_splitter.pending());
    }
    m_splitter.reset();
    closeSource();
    checkFollowedPath();
}

qint64 FrameStream::readAvailable()
{
    if (m_ended || m_fd < 0)
        return 0;
    const FrameSplitter::Space space = m_splitter.space(ReadSize);
    const ssize_t count = ::read(m_fd, space.bytes, space.size);
    if (count < 0) {
        if (errno != EINTR && errno != EAGAIN)
            end(1, tr("Can't read %1: %2").arg(m_source, systemErrorText(errno)));
        return 0;
    }
    if (count == 0) {
        if (m_followedFifo && m_keepOpenFd < 0) {
            // The writer went; the FIFO opened again hears of no end until the next one has come and gone.
            startOver();
        } else if (m_splitter.pending() > 0) {
            end(1, tr("The stream ends in the middle of a frame at byte %1 (%2 bytes of it read)")
                       .arg(m_splitter.position())
                       .arg(m_splitter.pending()));
        } else {
            end(0);
        }
        return 0;
    }
    m_splitter.commit(static_cast<size_t>(count));
    if (takeFrames())
        m_dispatcher.flush();
    return count;
}

bool FrameStream::takeFrames()
{
    const FrameSplitter::Split split = m_splitter.split();
    if (split.oversized) {
        end(1, tr("The frame at byte %1 announces %2 bytes, more than 16 MiB: not a stream of frames")
                   .arg(split.oversizedOffset)
                   .arg(split.announcedSize));
    }
    QString error;
    if (m_recording.isOpen() && !m_recording.append(split.bytes, split.length, error))
        end(1, error);
    m_splitter.discard(split);
    // What a large frame took has been let go; glibc keeps freed memory in the heap unless asked.
    if (split.length > ReleasedAfter)
        ::malloc_trim(0);
    if (split.length > 0)
        framesRead();
    return !split.oversized;
}

void FrameStream::framesRead()
{
    if (!m_staleTimer || m_ended)
        return;
    const qint64 silentMs = m_sinceFrames.restart();
    if (m_stale) {
        m_stale = false;
        qWarning().noquote() << tr("Frames again from %1 after %2 s").arg(m_source).arg(qRound64(silentMs / 1000.0));
        Q_EMIT staleChanged(false);
    }
    if (!m_staleTimer->isActive())
        m_staleTimer->start(m_staleAfterMs);
}

void FrameStream::checkStale()
{
    if (m_ended || m_stale)
        return;
    const qint64 silentMs = m_sinceFrames.elapsed();
    if (silentMs < m_staleAfterMs) {
        m_staleTimer->start(static_cast<int>(m_staleAfterMs - silentMs));
        return;
    }
    m_stale = true;
    qWarning().noquote() << tr("No frames for %1 s from %2").arg(m_staleAfterMs / 1000.0).arg(m_source);
    Q_EMIT staleChanged(true);
}

void FrameStream::end(int status, const QString &message)
{
    if (m_ended)
        return;
    if (!message.isEmpty())
        qWarning().noquote() << message;
    close();
    m_dispatcher.flush();
    Q_EMIT finished(status);
}

} // namespace Vantrel
