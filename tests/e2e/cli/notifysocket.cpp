#include "tests/e2e/cli/notifysocket.h"

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

NotifySocket::NotifySocket()
    : m_path(m_dir.filePath(QStringLiteral("notify")))
{
    const QByteArray path = m_path.toLocal8Bit();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (!m_dir.isValid() || size_t(path.size()) >= sizeof(address.sun_path))
        return;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_receiver = std::thread([this] { receive(); });
}

NotifySocket::~NotifySocket()
{
    m_stop = true;
    if (m_receiver.joinable())
        m_receiver.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void NotifySocket::receive()
{
    while (!m_stop) {
        pollfd ready = {m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 50) > 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            takeArrived();
        }
    }
}

void NotifySocket::takeArrived() const
{
    char buffer[4096];
    ssize_t size = 0;
    while (m_fd >= 0 && (size = ::recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT)) >= 0)
        m_messages.append(Message{QByteArray(buffer, int(size)), std::chrono::steady_clock::now()});
}

QList<NotifySocket::Message> NotifySocket::messages() const
{
    // Taken here too, so that a message the program sent just before it ended is not missed.
    std::lock_guard<std::mutex> lock(m_mutex);
    takeArrived();
    return m_messages;
}

QList<NotifySocket::Message> NotifySocket::messagesWith(const QByteArray &assignment) const
{
    QList<Message> found;
    for (const Message &message : messages())
        if (message.has(assignment))
            found.append(message);
    return found;
}
