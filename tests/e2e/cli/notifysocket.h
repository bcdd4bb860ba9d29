#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

// A datagram socket in the place of systemd's notification socket: it keeps every message a program
// sends to it, with the time it came.
class NotifySocket
{
public:
    struct Message
    {
        QByteArray text;
        std::chrono::steady_clock::time_point received;
        // The lines of the message ("READY=1", "STATUS=...").
        QList<QByteArray> assignments() const { return text.split('\n'); }
        bool has(const QByteArray &assignment) const { return assignments().contains(assignment); }
    };

    NotifySocket();
    ~NotifySocket();
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // For NOTIFY_SOCKET.
    QString path() const { return m_path; }
    QList<Message> messages() const;
    // The messages holding the assignment, in the order they came.
    QList<Message> messagesWith(const QByteArray &assignment) const;

private:
    void receive();
    // With m_mutex held: appends what has come and was not yet taken, in the order it came.
    void takeArrived() const;

    QTemporaryDir m_dir;
    QString m_path;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    mutable QList<Message> m_messages; // taken from the socket by whoever looks first
    std::thread m_receiver;
};
