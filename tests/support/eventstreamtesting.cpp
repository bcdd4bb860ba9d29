#include "tests/support/eventstreamtesting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Vantrel::Test {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                    && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    ::close(fd);
    return ok ? ntohs(address.sin_port) : 0;
}

bool takeHead(QByteArray &bytes, HttpReply &reply)
{
    const int end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const QList<QByteArray> lines = bytes.left(end).split('\n');
    reply.status = lines[0].split(' ').value(1).toInt();
    for (const QByteArray &line : lines.mid(1))
        reply.headers.insert(line.left(line.indexOf(':')).toLower(), line.mid(line.indexOf(':') + 1).trimmed());
    bytes.remove(0, end + 4);
    return true;
}

HttpReply curl(const QString &url, const QStringList &arguments)
{
    QProcess process;
    const QStringList head = arguments.contains(QStringLiteral("-I")) ? QStringList() : QStringList{"-i"};
    process.start(QStringLiteral("curl"), QStringList{"-sS", "--max-time", "60"} + head + arguments + QStringList{url});
    process.waitForFinished(90000);
    QByteArray output = process.readAllStandardOutput();
    HttpReply reply;
    if (takeHead(output, reply))
        reply.body = output;
    return reply;
}

} // namespace Vantrel::Test
