#pragma once

#include "decoding/framelistener.h"
#include "frames/mqtt/mqtturl.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

struct mosquitto;

namespace Vantrel {

struct MqttSettings
{
    MqttUrl url;
    QString name; // this sensor's topic level: <prefix>/<name>/...
    int heartbeatSeconds = 30; // the state again after this long without a change; 0: only changes
    bool discovery = false; // Home Assistant discovery configs on every connect
};

// Publishes presence to an MQTT broker: <prefix>/<name>/state, a retained JSON object, when presence
// or occupancy changes and as a heartbeat, and <prefix>/<name>/availability, "online" while connected
// and the stream is live, "offline" (also the last will) otherwise. Connecting and reconnecting
// happen on a network thread of its own, so a broker that is slow or away never holds up the reading
// of the stream; while it is away only the latest state and availability are kept, and sent when the
// connection comes back.
class MqttPublisher : public QObject, public FrameListener
{
    Q_OBJECT

public:
    explicit MqttPublisher(MqttSettings settings, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Sets the client up and starts connecting. False, with the reason, only for what retrying cannot
    // mend (a name not allowed in topics, TLS that cannot be set up); a broker that cannot be reached
    // yet is tried again and again.
    bool start(QString &error);
    // Publishes "offline" when connected and waits up to about 2 s for the broker to take it, then
    // disconnects. stopped() follows through the event loop.
    void stop();

    // The held occupancy, judged by its owner: a change is published at once, also when a hold runs
    // out with no report after it.
    void setOccupancy(bool occupancy);
    // A stale stream reads as "offline" and has no heartbeat; the stream coming back publishes
    // "online" and the current state.
    void setStale(bool stale);

    // Presence and distance of each frame; setOccupancy() has been told what its report made first.
    void frame(const DecodedFrame &frame) override;

    QString stateTopic() const { return m_topic + QLatin1String("/state"); }
    QString availabilityTopic() const { return m_topic + QLatin1String("/availability"); }
    // Whether the broker has taken the connection, as the Qt thread last heard it.
    bool isConnected() const { return m_connected; }

Q_SIGNALS:
    void stopped();
    void connectedChanged(bool connected);

private:
    struct State
    {
        bool presence = false;
        uint32_t distance = 0; // cm
        uint32_t confidence = 0;
        int64_t timestamp = 0;
        bool occupancy = false;
    };

    // Qt thread.
    void publishState();
    // Publishes the latest state when its presence or occupancy differs from what was sent.
    void publishChange();
    void publishAvailability();
    void publishDiscovery();
    bool publish(const QByteArray &topic, const QByteArray &payload, int *mid = nullptr);
    void connectionUp();
    void connectionDown(int result);
    void shutDown();

    // Network thread.
    void runNetwork();
    void report(const QString &message);
    static void onConnect(mosquitto *client, void *self, int result);
    static void onDisconnect(mosquitto *client, void *self, int result);
    static void onPublish(mosquitto *client, void *self, int mid);

    MqttSettings m_settings;
    QString m_topic;
    QByteArray m_stateTopic;
    QByteArray m_availabilityTopic;
    QTimer m_heartbeat;
    bool m_stale = false;

    State m_latest;
    bool m_haveState = false;
    State m_sent;
    bool m_haveSent = false;
    bool m_connected = false;

    mosquitto *m_client = nullptr;
    std::thread m_network;
    // Shared with the network thread.
    std::atomic<bool> m_link{false};
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    // Message ids the broker has acknowledged, collected while stop() waits for "offline".
    bool m_collectDelivered = false;
    std::vector<int> m_delivered;
    QString m_lastProblem; // network thread only
};

} // namespace Vantrel
