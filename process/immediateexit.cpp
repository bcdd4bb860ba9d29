#include "process/immediateexit.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel::ImmediateExit {

namespace {

// Written only while no handle is published, so a signal handler never reads it half written.
char filePath[PATH_MAX];
std::atomic<int> fileHandle{-1};

} // namespace

void removeFile(const QByteArray &path, int handle)
{
    fileHandle.store(-1);
    if (handle < 0 || static_cast<size_t>(path.size()) >= sizeof filePath)
        return;
    std::memcpy(filePath, path.constData(), static_cast<size_t>(path.size()) + 1);
    fileHandle.store(handle);
}

void forgetFile()
{
    fileHandle.store(-1);
}

void removeFileNow()
{
    const int handle = fileHandle.exchange(-1);
    if (handle < 0)
        return;
    struct stat made = {};
    struct stat found = {};
    if (::fstat(handle, &made) == 0 && ::fstatat(AT_FDCWD, filePath, &found, AT_SYMLINK_NOFOLLOW) == 0
        && found.st_dev == made.st_dev && found.st_ino == made.st_ino)
        ::unlink(filePath);
}

} // namespace Vantrel::ImmediateExit
