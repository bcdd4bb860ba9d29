// A real mosquitto broker on 127.0.0.1 and a free port, which can be stopped and started again on
// the same port, and a real subscriber that records every message; for tests.
#pragma once

#include "tests/support/eventstreamtesting.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
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

// Milliseconds on the steady clock, as the arrival of a ReceivedMessage.
qint64 steadyNowMs();

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

// What a subscriber coming now gets on the topic: the payload when it is one retained message.
QByteArray retainedMessage(int port, const QString &topic);
// Publishes one message as another client; true once the broker has taken it.
bool publishMessage(int port, const QString &topic, const QByteArray &payload, bool retained = false);

// A test with its own broker and a recorder subscribed to everything on it.
class BrokerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(m_broker.start(error)) << error.toStdString();
        m_recorder = std::make_unique<MqttRecorder>(m_broker.port());
        ASSERT_TRUE(m_recorder->waitSubscribed());
    }

    // What a subscriber coming now gets on the topic: the payload when it is one retained message.
    QByteArray retained(const QString &topic) const { return retainedMessage(m_broker.port(), topic); }

    MqttTestBroker m_broker;
    std::unique_ptr<MqttRecorder> m_recorder;
};

} // namespace Vantrel::Test
