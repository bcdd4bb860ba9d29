#include "process/standarddescriptors.h"

#include <cerrno>
#include <fcntl.h>

namespace Vantrel {

void openClosedStandardDescriptors()
{
    // open takes the lowest free number, and the lower ones are open by then.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDWR);
    }
}

} // namespace Vantrel
