#include "frames/input/framerecording.h"

#include "process/systemerror.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

namespace {

// The bytes of the whole frames at the start of the first length bytes of frames read back to back.
size_t wholeFramesIn(const uint8_t *frames, size_t length)
{
    size_t whole = 0;
    for (;;) {
        uint32_t size = 0;
        if (length - whole < sizeof size)
            return whole;
        std::memcpy(&size, frames + whole, sizeof size); // little-endian, as the stream is
        if (length - whole - sizeof size < size)
            return whole;
        whole += sizeof size + size;
    }
}

} // namespace

FrameRecording::~FrameRecording()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FrameRecording::open(const QString &path, QString &error)
{
    m_path = path;
    // Neither waiting for a reader of a FIFO nor writing where a link points.
    m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW,
                  0666);
    struct stat status = {};
    const int openError = m_fd < 0 ? errno : ::fstat(m_fd, &status) != 0 ? errno : 0;
    if (openError != 0 || !S_ISREG(status.st_mode)) {
        error = tr("Can't open recording %1: %2")
                    .arg(path, openError != 0 ? systemErrorText(openError) : tr("not a regular file"));
        return false;
    }
    m_size = static_cast<uint64_t>(status.st_size);
    return true;
}

bool FrameRecording::append(const uint8_t *frames, size_t length, QString &error)
{
    size_t done = 0;
    while (m_fd >= 0 && done < length) {
        const ssize_t written = ::write(m_fd, frames + done, length - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int writeError = written < 0 ? errno : ENOSPC;
            // A recording ends with a whole frame, so that it can be replayed.
            const off_t whole = static_cast<off_t>(m_size + wholeFramesIn(frames, done));
            const bool truncated = ::ftruncate(m_fd, whole) == 0;
            ::close(m_fd);
            m_fd = -1;
            error = tr("Can't write to recording %1: %2; it ends %3")
                        .arg(m_path, systemErrorText(writeError),
                             truncated ? tr("with its last whole frame") : tr("in the middle of a frame"));
            return false;
        }
        done += static_cast<size_t>(written);
    }
    m_size += done;
    return true;
}

} // namespace Vantrel
