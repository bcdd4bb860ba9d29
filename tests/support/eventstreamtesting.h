// Viewers of an HTTP server for tests: curl as the client (one request, or an event stream
// taken as it comes), a free port, and waiting with the event loop running.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdint>
#include <functional>

namespace Vantrel::Test {

// Processes Qt events until the condition holds or timeoutMs has passed; answers the condition.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 30000);

// A port of 127.0.0.1 that nobody listens on now, from the kernel.
uint16_t freePort();

struct HttpReply
{
    int status = 0; // 0: no response
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// Takes a response's head off the front of bytes, once it is all there.
bool takeHead(QByteArray &bytes, HttpReply &reply);

// One request made by curl; arguments go before the URL.
HttpReply curl(const QString &url, const QStringList &arguments = {});

struct SseEvent
{
    QByteArray name; // "retry" for a retry field
    QByteArray data;
};

// A viewer of the event stream: `curl -sN`, its output taken as it comes while the event loop runs.
class CurlStream
{
public:
    explicit CurlStream(const QString &url)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { take(); });
        m_process.start(QStringLiteral("curl"), {"-sSN", "-i", url});
    }
    ~CurlStream()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    // A stopped curl reads nothing: its sockets fill up, as those of a viewer that stalls.
    void stall(bool stalled) { ::kill(pid_t(m_process.processId()), stalled ? SIGSTOP : SIGCONT); }
    bool ended() const { return m_process.state() == QProcess::NotRunning; }
    int count(const QByteArray &name) const { return m_counts.value(name); }
    QList<QByteArray> data(const QByteArray &name) const
    {
        QList<QByteArray> found;
        for (const SseEvent &event : events) {
            if (event.name == name)
                found.append(event.data);
        }
        return found;
    }
    QByteArray last(const QByteArray &name) const { return count(name) ? data(name).last() : QByteArray(); }

    HttpReply head;
    QList<SseEvent> events;

private:
    void take()
    {
        m_buffer += m_process.readAllStandardOutput();
        if (head.status == 0 && !takeHead(m_buffer, head))
            return;
        for (int end; (end = m_buffer.indexOf("\n\n")) >= 0; m_buffer.remove(0, end + 2)) {
            SseEvent event;
            for (const QByteArray &line : m_buffer.left(end).split('\n')) {
                if (line.startsWith("event: "))
                    event.name = line.mid(7);
                else if (line.startsWith("data: "))
                    event.data += (event.data.isEmpty() ? "" : "\n") + line.mid(6);
                else if (line.startsWith("retry: "))
                    event = {"retry", line.mid(7)};
            }
            ++m_counts[event.name];
            events.append(event);
        }
    }

    QProcess m_process;
    QByteArray m_buffer;
    QMap<QByteArray, int> m_counts;
};

} // namespace Vantrel::Test
