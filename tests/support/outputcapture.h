// Redirects one of the process's standard streams into a temporary file for the lifetime of the
// object, so that output written straight to its file descriptor (C stdio or write(2)) can be compared
// byte for byte.
#pragma once

#include <cstdio>
#include <string>

namespace Vantrel::Test {

class OutputCapture
{
public:
    explicit OutputCapture(std::FILE *stream);
    ~OutputCapture();
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;

    // Restores the stream and returns everything written to it since construction.
    std::string finish();

private:
    std::FILE *m_stream;
    int m_fd;
    int m_savedFd = -1;
    int m_captureFd = -1;
    std::string m_text;
};

} // namespace Vantrel::Test
