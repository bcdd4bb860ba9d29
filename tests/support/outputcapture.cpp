#include "tests/support/outputcapture.h"

#include <cstdlib>
#include <unistd.h>

namespace Vantrel::Test {

OutputCapture::OutputCapture(std::FILE *stream)
    : m_stream(stream)
    , m_fd(fileno(stream))
{
    char path[] = "/tmp/vantrel-output-XXXXXX";
    m_captureFd = mkstemp(path);
    if (m_captureFd < 0)
        std::abort();
    unlink(path);
    std::fflush(m_stream);
    m_savedFd = dup(m_fd);
    dup2(m_captureFd, m_fd);
}

OutputCapture::~OutputCapture()
{
    finish();
}

std::string OutputCapture::finish()
{
    if (m_savedFd < 0)
        return m_text;
    std::fflush(m_stream);
    dup2(m_savedFd, m_fd);
    close(m_savedFd);
    m_savedFd = -1;

    char buffer[4096];
    ssize_t n = 0;
    lseek(m_captureFd, 0, SEEK_SET);
    while ((n = read(m_captureFd, buffer, sizeof buffer)) > 0)
        m_text.append(buffer, static_cast<size_t>(n));
    close(m_captureFd);
    m_captureFd = -1;
    return m_text;
}

} // namespace Vantrel::Test
