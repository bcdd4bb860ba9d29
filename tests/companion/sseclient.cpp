#include "sseclient.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

SseClient::SseClient(uint16_t port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // HTTP/1.0: the stream comes unchunked, events back to back.
    const QByteArray request = "GET /events HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::write(m_fd, request.constData(), static_cast<size_t>(request.size())) != request.size()) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SseClient::~SseClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void SseClient::readUntil(const QByteArray &name, int count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_fd >= 0 && events(name).size() < count && !deadline.hasExpired()) {
        pollfd input = {m_fd, POLLIN, 0};
        if (::poll(&input, 1, static_cast<int>(qMin<qint64>(deadline.remainingTime(), 100))) <= 0)
            continue;
        char bytes[65536];
        const ssize_t got = ::read(m_fd, bytes, sizeof bytes);
        if (got <= 0)
            return;
        m_buffer.append(bytes, static_cast<int>(got));
        parse();
    }
}

QList<SseClient::Event> SseClient::events(const QByteArray &name) const
{
    QList<Event> named;
    for (const Event &event : m_events) {
        if (event.name == name)
            named.append(event);
    }
    return named;
}

void SseClient::parse()
{
    if (!m_headerDone) {
        const int end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_buffer.remove(0, end + 4);
        m_headerDone = true;
    }
    // An event ends at a blank line.
    for (int end; (end = m_buffer.indexOf("\n\n")) >= 0;) {
        Event event;
        for (const QByteArray &line : m_buffer.left(end).split('\n')) {
            if (line.startsWith("event: "))
                event.name = line.mid(7).trimmed();
            else if (line.startsWith("data: "))
                event.data = line.mid(6).trimmed();
        }
        if (!event.name.isEmpty())
            m_events.append(event);
        m_buffer.remove(0, end + 2);
    }
}

uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}
