#include "process/filereplacement.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

namespace {

// Names already taken by others are skipped; a few tries are plenty with random names.
constexpr int maxCreateAttempts = 16;

QByteArray randomSuffix()
{
    static const char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(6, '\0');
    for (char &c : suffix)
        c = characters[QRandomGenerator::global()->bounded(int(sizeof characters) - 1)];
    return suffix;
}

} // namespace

FileReplacement::FileReplacement(const QString &path)
    : m_path(QFile::encodeName(path))
{
}

FileReplacement::~FileReplacement()
{
    discard();
}

bool FileReplacement::open()
{
    const int slash = m_path.lastIndexOf('/');
    const QByteArray name = m_path.mid(slash + 1);
    // An empty path, or one that ends in a slash, names no file to write.
    if (name.isEmpty())
        return false;
    // lstat, so that a link is seen as a link and a FIFO is never opened.
    struct stat status = {};
    if (::lstat(m_path.constData(), &status) == 0 ? !S_ISREG(status.st_mode) : errno != ENOENT)
        return false;

    const QByteArray stem = m_path.left(slash + 1) + '.' + name + '.';
    for (int attempt = 0; attempt < maxCreateAttempts; ++attempt) {
        const QByteArray candidate = stem + randomSuffix();
        // Exclusive and without following links: whatever someone else put at this name stays theirs.
        m_fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_temporaryPath = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool FileReplacement::write(const QByteArray &data)
{
    const char *next = data.constData();
    size_t left = static_cast<size_t>(data.size());
    while (left > 0) {
        const ssize_t written = ::write(m_fd, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

// No fsync: the file is read by other processes while this one runs, and it is written again at
// the start of every run, so surviving a power loss buys nothing for the wait on a slow SD card.
bool FileReplacement::commit()
{
    const int fd = m_fd;
    m_fd = -1;
    // Linux releases the descriptor even when close reports an error, so it is never closed twice.
    if (::close(fd) != 0 || std::rename(m_temporaryPath.constData(), m_path.constData()) != 0) {
        discard();
        return false;
    }
    m_temporaryPath.clear();
    return true;
}

void FileReplacement::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporaryPath.isEmpty()) {
        ::unlink(m_temporaryPath.constData());
        m_temporaryPath.clear();
    }
}

} // namespace Vantrel
