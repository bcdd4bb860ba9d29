// A real mosquitto broker on 127.0.0.1 and a free port, which can be stopped and started again on
// the same port, and a real subscriber that records every message; for tests.
#pragma once

#include "tests/support/eventstreamtesting.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <mutex>

struct mosquitto;
struct mosquitto_message;

namespace Vantrel::Test {

class MqttTestBroker
{
public:
    MqttTestBroker();
    ~MqttTestBroker() { stop(); }

    // On a free port the first time, on the same one afterwards; waits until it takes connections.
    bool start(QString &error);
    void stop();

    int port() const { return m_port; }
    QString url(const QString &prefix) const
    {
        return QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(m_port).arg(prefix);
    }
    // Lines the broker logged since it was last started (every packet it got) that hold all the texts.
    int countLogLines(const QStringList &texts) const;

private:
    bool startOn(int port, QString &error);

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    int m_starts = 0;
};

struct ReceivedMessage
{
    QString topic;
    QByteArray payload;
    bool retained = false;
    qint64 arrivalMs = 0; // steady clock
};

// Subscribes to "#", again after the broker comes back.
class MqttRecorder
{
public:
    explicit MqttRecorder(int port);
    ~MqttRecorder();

    bool waitSubscribed();
    QList<ReceivedMessage> messages(const QString &topic) const;
    int count(const QString &topic) const { return messages(topic).size(); }
    QByteArray lastPayload(const QString &topic) const; // empty when none came

private:
    static void onConnect(mosquitto *client, void *self, int result);
    static void onSubscribe(mosquitto *client, void *self, int mid, int count, const int *granted);
    static void onMessage(mosquitto *client, void *self, const mosquitto_message *message);

    mosquitto *m_client = nullptr;
    mutable std::mutex m_mutex;
    bool m_subscribed = false;
    QList<ReceivedMessage> m_messages;
};

} // namespace Vantrel::Test
