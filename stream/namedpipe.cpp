#include "namedpipe.h"

#include <QCoreApplication>
#include <QDebug>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantrel {

namespace {

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

NamedPipe::NamedPipe(QObject *parent)
    : QObject(parent)
{
    // Connected by name: this library knows the application only as the QCoreApplication instance.
    QObject *application = QCoreApplication::instance();
    connect(application, SIGNAL(closeNamedPipe()), this, SLOT(close()));
    connect(application, SIGNAL(newRawData(uint32_t,std::vector<uint8_t>)),
            this, SLOT(newRawData(uint32_t,std::vector<uint8_t>)));
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
    if (::mkfifo(m_path.constData(), 0666) != 0) {
        const int error = errno;
        qWarning().noquote() << tr("Can't create named pipe %1: %2")
                                    .arg(QString::fromLocal8Bit(m_path), errorText(error));
        return false;
    }

    // A reader that goes away must cost a frame (EPIPE), not the process.
    std::signal(SIGPIPE, SIG_IGN);
    m_created = true;
    qInfo().noquote() << tr("Creating named pipe %1").arg(name);
    return true;
}

void NamedPipe::newRawData(uint32_t id, std::vector<uint8_t> data)
{
    Q_UNUSED(id) // the stream carries the frame bytes only

    if (!m_created)
        return;
    if (m_fd == -1 && !openForWriting())
        return;

    const ssize_t written = ::write(m_fd, data.data(), data.size());
    if (written == static_cast<ssize_t>(data.size()))
        return;

    // A short write leaves errno as it was; its cause is a full FIFO, and a stale EPIPE must not hide it.
    const int error = written < 0 ? errno : EAGAIN;
    if (error != EPIPE) {
        qWarning().noquote() << tr("Error while writing to named pipe %1: %2")
                                    .arg(QString::fromLocal8Bit(m_path), errorText(error));
    }
    // Closing lets the reader see end of file, so the next opening starts on a frame boundary.
    closeDescriptor();
}

void NamedPipe::close()
{
    if (!m_created)
        return;

    qInfo().noquote() << tr("Closing named pipe/fifo");
    if (m_fd != -1)
        closeDescriptor();

    if (::remove(m_path.constData()) != 0) {
        const int error = errno;
        qWarning().noquote() << tr("Can't remove named pipe %1: %2")
                                    .arg(QString::fromLocal8Bit(m_path), errorText(error));
    } else {
        qInfo().noquote() << tr("Removing named pipe %1").arg(QString::fromLocal8Bit(m_path));
    }
    m_created = false;
}

bool NamedPipe::openForWriting()
{
    // Non-blocking, so that opening without a reader fails at once instead of waiting for one;
    // close-on-exec, so that no child process keeps the write end open and hides end of file.
    m_fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd == -1) {
        const int error = errno;
        if (error != ENXIO) { // ENXIO: no reader yet, the normal state between readers
            qWarning().noquote() << tr("Error while opening named pipe %1: %2")
                                        .arg(QString::fromLocal8Bit(m_path), errorText(error));
        }
        return false;
    }
    qInfo().noquote() << tr("Opening named pipe %1").arg(QString::fromLocal8Bit(m_path));
    return true;
}

void NamedPipe::closeDescriptor()
{
    if (::close(m_fd) != 0) {
        const int error = errno;
        qWarning().noquote() << tr("Can't close named pipe %1: %2")
                                    .arg(QString::fromLocal8Bit(m_path), errorText(error));
    }
    m_fd = -1;
}

} // namespace Vantrel
