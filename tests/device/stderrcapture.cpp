#include "stderrcapture.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

StderrCapture::StderrCapture()
{
    char path[] = "/tmp/vantrel-stderr-XXXXXX";
    m_captureFd = mkstemp(path);
    if (m_captureFd < 0)
        std::abort();
    unlink(path);
    std::fflush(stderr);
    m_savedFd = dup(STDERR_FILENO);
    dup2(m_captureFd, STDERR_FILENO);
}

StderrCapture::~StderrCapture()
{
    finish();
}

std::string StderrCapture::finish()
{
    if (m_savedFd < 0)
        return m_text;
    std::fflush(stderr);
    dup2(m_savedFd, STDERR_FILENO);
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
