#pragma once

#include <cstddef>

#include <sys/types.h>

namespace Vantrel {

// Writes to standard output only when that cannot make the caller wait: through a non-blocking
// descriptor of its own for a pipe, a non-blocking send for a socket (the journal), or at once to a
// regular file. A line that goes out this way costs the writer thread no wake-up. Anything else (a
// terminal, say) is left to the writer thread. Follows descriptor 1 if it is pointed elsewhere.
class ImmediateOutput
{
public:
    ImmediateOutput() = default;
    ~ImmediateOutput();
    ImmediateOutput(const ImmediateOutput &) = delete;
    ImmediateOutput &operator=(const ImmediateOutput &) = delete;

    // How many of the bytes were dealt with: written, or lost to an error as the writer thread loses
    // them. Fewer than size (0 too) when standard output would have made the caller wait for the rest.
    size_t write(const char *data, size_t size);

private:
    enum class Kind { Waits, Pipe, Socket, File };

    // Whether descriptor 1 is what m_kind was found for; looks afresh when it is not.
    bool follow();

    Kind m_kind = Kind::Waits;
    int m_pipe = -1; // the pipe's own non-blocking write end
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_known = false;
};

} // namespace Vantrel
