#include "stream/namedpipe.h"

#include "process/immediateexit.h"
#include "process/systemerror.h"
#include "stream/fifowriter.h"

#include <QDebug>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

NamedPipe::NamedPipe(QObject *parent)
    : QObject(parent)
{
}

NamedPipe::~NamedPipe()
{
    close();
}

bool NamedPipe::create(QString name)
{
    if (name.isEmpty())
        return false;

    // A FIFO made earlier is given up first, so that a later close never removes a file this call did not make.
    close();

    m_path = name.toLocal8Bit();
    if (::mkfifo(m_path.constData(), 0666) == 0)
        m_fifo = ::open(m_path.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (m_fifo == -1) {
        const int error = errno;
        qWarning().noquote()
            << tr("Can't create named pipe %1: %2").arg(QString::fromLocal8Bit(m_path), systemErrorText(error));
        return false;
    }

    // A reader that goes away must cost a frame (EPIPE), not the process. Set once: it holds for the process.
    static const bool sigpipeIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    Q_UNUSED(sigpipeIgnored)
    m_writer = std::make_unique<FifoWriter>(m_path);
    ImmediateExit::removeFile(m_path, m_fifo);
    qInfo().noquote() << tr("Creating named pipe %1").arg(name);
    return true;
}

void NamedPipe::newRawData(uint32_t id, std::vector<uint8_t> data)
{
    Q_UNUSED(id) // the stream carries the frame bytes only

    if (m_writer)
        m_writer->write(std::move(data));
}

void NamedPipe::close()
{
    if (!m_writer)
        return;

    qInfo().noquote() << tr("Closing named pipe/fifo");
    m_writer.reset(); // the write end closes before the FIFO goes
    removeFifo();
    ImmediateExit::forgetFile();
    ::close(m_fifo);
    m_fifo = -1;
}

bool NamedPipe::sameFifo(const struct stat &found) const
{
    struct stat made = {};
    return ::fstat(m_fifo, &made) == 0 && S_ISFIFO(found.st_mode) && found.st_dev == made.st_dev
           && found.st_ino == made.st_ino;
}

// Whatever has taken the FIFO's place since (a file, another program's FIFO, a link, checked without
// following it) is not this program's to remove.
void NamedPipe::removeFifo()
{
    QString failure;
    struct stat found = {};
    if (::lstat(m_path.constData(), &found) != 0)
        failure = systemErrorText(errno);
    else if (!sameFifo(found))
        failure = tr("the path no longer holds the FIFO this program made");
    else if (::unlink(m_path.constData()) != 0)
        failure = systemErrorText(errno);

    const QString path = QString::fromLocal8Bit(m_path);
    if (failure.isEmpty())
        qInfo().noquote() << tr("Removing named pipe %1").arg(path);
    else
        qWarning().noquote() << tr("Can't remove named pipe %1: %2").arg(path, failure);
}

} // namespace Vantrel
