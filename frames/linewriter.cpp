#include "frames/linewriter.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace Vantrel {

namespace {

constexpr size_t BatchSize = 64 * 1024;

} // namespace

LineWriter::LineWriter(int fd, std::function<void(int)> failed)
    : m_fd(fd)
    , m_failed(std::move(failed))
{
}

LineWriter::~LineWriter()
{
    flush();
}

void LineWriter::line(std::string_view line)
{
    m_lines += line;
    if (m_lines.size() >= BatchSize)
        flush();
}

void LineWriter::flush()
{
    if (!m_lines.empty())
        write(m_lines.data(), m_lines.size());
    m_lines.clear();
    // A large frame's line must not keep its room for good.
    if (m_lines.capacity() > 2 * BatchSize)
        std::string().swap(m_lines);
}

void LineWriter::write(const char *bytes, size_t length)
{
    while (!m_broken && length > 0) {
        const ssize_t written = ::write(m_fd, bytes, length);
        if (written > 0) {
            bytes += written;
            length -= static_cast<size_t>(written);
            continue;
        }
        const int error = written < 0 ? errno : EIO;
        if (error == EINTR)
            continue;
        if (error == EAGAIN) {
            pollfd output = {m_fd, POLLOUT, 0};
            ::poll(&output, 1, -1);
            continue;
        }
        m_broken = true;
        if (m_failed)
            m_failed(error);
    }
}

} // namespace Vantrel
