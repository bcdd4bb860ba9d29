#include "app/immediateoutput.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

ImmediateOutput::~ImmediateOutput()
{
    if (m_pipe >= 0)
        ::close(m_pipe);
}

bool ImmediateOutput::follow()
{
    struct stat status;
    if (::fstat(STDOUT_FILENO, &status) != 0) {
        m_kind = Kind::Waits;
        m_known = false;
        return false;
    }
    if (m_known && status.st_dev == m_device && status.st_ino == m_inode)
        return m_kind != Kind::Waits;
    m_known = true;
    m_device = status.st_dev;
    m_inode = status.st_ino;
    if (m_pipe >= 0)
        ::close(m_pipe);
    m_pipe = -1;
    if (S_ISFIFO(status.st_mode)) {
        // Opened afresh, the pipe gets a file description of its own: making that one non-blocking leaves
        // descriptor 1, which other processes may share, as it is.
        m_pipe = ::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        m_kind = m_pipe >= 0 ? Kind::Pipe : Kind::Waits;
    } else if (S_ISSOCK(status.st_mode)) {
        m_kind = Kind::Socket;
    } else if (S_ISREG(status.st_mode)) {
        m_kind = Kind::File;
    } else {
        m_kind = Kind::Waits;
    }
    return m_kind != Kind::Waits;
}

size_t ImmediateOutput::write(const char *data, size_t size)
{
    if (!follow())
        return 0;
    size_t done = 0;
    while (done < size) {
        ssize_t written = 0;
        switch (m_kind) {
        case Kind::Pipe:
            written = ::write(m_pipe, data + done, size - done);
            break;
        case Kind::Socket:
            written = ::send(STDOUT_FILENO, data + done, size - done, MSG_DONTWAIT);
            break;
        case Kind::File:
            written = ::write(STDOUT_FILENO, data + done, size - done);
            break;
        case Kind::Waits:
            return done;
        }
        if (written < 0) {
            if (errno == EINTR)
                continue;
            // Full: the rest waits. Anything else loses the bytes, as it would for the writer thread.
            return errno == EAGAIN || errno == EWOULDBLOCK ? done : size;
        }
        done += static_cast<size_t>(written);
    }
    return done;
}

} // namespace Vantrel
