#ifndef VANTREL_TESTS_STDERRCAPTURE_H
#define VANTREL_TESTS_STDERRCAPTURE_H

#include <string>

// Redirects file descriptor 2 into a temporary file for the lifetime of the object, so that
// output written straight to stderr (C stdio or write(2)) can be compared byte for byte.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    // Restores stderr and returns everything written since construction.
    std::string finish();

private:
    int m_savedFd = -1;
    int m_captureFd = -1;
    std::string m_text;
};

#endif
