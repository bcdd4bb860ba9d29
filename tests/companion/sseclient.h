#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// A viewer of the web view's event stream over a plain socket: connects, asks for /events and
// collects the events as they come.
class SseClient
{
public:
    struct Event
    {
        QByteArray name;
        QByteArray data;
    };

    explicit SseClient(uint16_t port);
    ~SseClient();
    SseClient(const SseClient &) = delete;
    SseClient &operator=(const SseClient &) = delete;

    bool isConnected() const { return m_fd >= 0; }
    // Reads for up to timeoutMs, or until count events named name have come in all.
    void readUntil(const QByteArray &name, int count, int timeoutMs);
    QList<Event> events(const QByteArray &name) const;

private:
    void parse();

    int m_fd = -1;
    QByteArray m_buffer;
    bool m_headerDone = false;
    QList<Event> m_events;
};

// A port nobody listens on now, from the kernel.
uint16_t freePort();
