#pragma once

#include "decoding/jsonline.h"

#include <functional>
#include <string>

namespace Vantrel {

// Writes lines to a descriptor (standard output) in batches: at every flush, and whenever 64 KiB
// are waiting. A descriptor someone else made non-blocking is waited for.
class LineWriter final : public JsonLineSink
{
public:
    // failed is called once, with errno, when writing fails; nothing is written after that.
    explicit LineWriter(int fd, std::function<void(int error)> failed = {});
    ~LineWriter() override;

    void line(std::string_view line) override;
    void flush() override;

private:
    void write(const char *bytes, size_t length);

    int m_fd;
    std::function<void(int)> m_failed;
    bool m_broken = false;
    std::string m_lines; // whole lines not yet written
};

} // namespace Vantrel
