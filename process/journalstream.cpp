#include "process/journalstream.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

bool isJournalStream(int fd)
{
    const char *stream = std::getenv("JOURNAL_STREAM");
    if (!stream)
        return false;
    uintmax_t device = 0;
    uintmax_t inode = 0;
    int length = 0;
    if (std::sscanf(stream, "%" SCNuMAX ":%" SCNuMAX "%n", &device, &inode, &length) != 2 || stream[length] != '\0')
        return false;
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return false;
    return uintmax_t(status.st_dev) == device && uintmax_t(status.st_ino) == inode;
}

bool standardOutputIsJournal()
{
    static const bool journal = isJournalStream(STDOUT_FILENO);
    return journal;
}

} // namespace Vantrel
