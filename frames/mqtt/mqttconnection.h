#pragma once

#include "frames/mqtt/mqtturl.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

struct mosquitto;
struct mosquitto_message;

namespace Vantrel {

// One client's connection to an MQTT broker. Connecting and reconnecting happen on a network thread
// of its own, so a broker that is slow or away never holds up the Qt thread; what the broker says
// (the connection coming and going, messages on the subscribed topics) is told on the Qt thread.
// Every message goes out retained with QoS 1.
class MqttConnection : public QObject
{
    Q_OBJECT

public:
    MqttConnection(MqttUrl url, QByteArray clientId, QObject *parent = nullptr);
    ~MqttConnection() override;

    // Unique to the sensor and the process: <prefix with '-' for '/'>-<name>-<pid>.
    static QByteArray clientId(const MqttUrl &url, const QString &name);

    // Before start(): what the broker publishes when the connection is lost without a goodbye.
    void setWill(const QByteArray &topic, const QByteArray &payload) { m_will = {topic, payload}; }
    // Topics (or filters) subscribed on every connect. A message on the topic whose payload is
    // longer than maxPayloadBytes (when not 0) is dropped as it comes, before it is copied.
    void addSubscription(const QByteArray &topic, int maxPayloadBytes = 0)
    {
        m_subscriptions.append({topic, maxPayloadBytes});
    }

    // False, with the reason, only for what retrying cannot mend (TLS that cannot be set up); a
    // broker that cannot be reached yet is tried again and again.
    bool start(QString &error);
    // Says goodbye when connected and ends the network thread; nothing is published afterwards.
    void stop();

    // False while the broker is away: nothing is handed to libmosquitto then, which would queue it
    // without limit.
    bool publish(const QByteArray &topic, const QByteArray &payload);
    // Waits up to timeoutMs for the broker to acknowledge every message published; false when the
    // connection is lost or the time runs out first.
    bool waitAcknowledged(int timeoutMs);

    // Whether the broker has taken the connection, as the Qt thread last heard it; from any thread.
    bool isConnected() const { return m_connected.load(std::memory_order_relaxed); }

Q_SIGNALS:
    void connectedChanged(bool connected);
    // The broker has taken a connection: whatever it keeps for the client is to be told anew. Also
    // after a connection lost and made again before the Qt thread heard of the loss.
    void connectionMade();
    void messageReceived(const QByteArray &topic, const QByteArray &payload);

private:
    struct Will
    {
        QByteArray topic;
        QByteArray payload;
    };

    // Qt thread.
    void connectionUp();
    void connectionDown(int result);

    // Network thread.
    void runNetwork();
    void report(const QString &message);
    static void onConnect(mosquitto *client, void *self, int result);
    static void onDisconnect(mosquitto *client, void *self, int result);
    static void onPublish(mosquitto *client, void *self, int mid);
    static void onMessage(mosquitto *client, void *self, const mosquitto_message *message);

    MqttUrl m_url;
    QByteArray m_clientId;
    Will m_will;
    struct Subscription
    {
        QByteArray topic;
        int maxPayloadBytes; // 0: any
    };
    QList<Subscription> m_subscriptions; // set before start(), read by the network thread
    std::atomic<bool> m_connected{false}; // written by the Qt thread only

    mosquitto *m_client = nullptr;
    std::thread m_network;
    // Shared with the network thread.
    std::atomic<bool> m_link{false};
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::set<int> m_unacknowledged; // message ids
    std::set<int> m_earlyAcknowledged; // acknowledged before publish() had noted them
    QString m_lastProblem; // network thread only
};

} // namespace Vantrel
