#pragma once

#include "decoding/framelistener.h"
#include "frames/mqtt/boundedtopic.h"
#include "frames/mqtt/discoverydocuments.h"
#include "frames/mqtt/mqttconnection.h"
#include "frames/mqtt/mqtturl.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <map>
#include <optional>

namespace Vantrel {

struct MqttSettings
{
    MqttUrl url;
    QString name; // this sensor's topic level: <prefix>/<name>/...
    int heartbeatSeconds = 30; // the state again after this long without a change; 0: only changes
    bool discovery = false; // Home Assistant discovery configs on every connect
    uint32_t distanceStepCm = 10; // a distance change this large is published
    double distanceIntervalSeconds = 1; // at most one publication per topic this often; 0: no limit
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString configurationUrl; // the web view, shown by Home Assistant; empty: none
};

// What Home Assistant is told of the sensor these settings publish.
DiscoveryDocuments::Sensor discoverySensor(const MqttSettings &settings);

// Publishes the sensor to an MQTT broker under T = <prefix>/<name>: T/state, a retained JSON object,
// at once when presence or occupancy changes, when the distance has moved by the step (at most once
// per interval) and as a heartbeat; T/zones, T/targets and T/power, retained, on change and at most
// once per interval each; T/hold, the hold time; T/availability, "online" while connected and the
// stream is live, "offline" (also the last will) otherwise. While the broker is away only the latest
// values are kept, and sent when the connection comes back. With discovery, Home Assistant hears of
// every entity when it is first seen, on every connect and on its birth message.
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
    // Whether the name can be the sensor's topic level; the reason when not.
    static bool checkName(const QString &name, QString &error);
    // Publishes "offline" when connected and waits up to about 2 s for the broker to take it, then
    // disconnects. stopped() follows through the event loop.
    void stop();

    // The held occupancy, judged by its owner: a change is published at once, also when a hold runs
    // out with no report after it.
    void setOccupancy(bool occupancy);
    // A stale stream reads as "offline" and has no heartbeat; the stream coming back publishes
    // "online" and the current state.
    void setStale(bool stale);
    // The hold time in force, published on T/hold, and with discovery as a number Home Assistant can
    // set within these bounds.
    void setHold(double seconds, double minimum, double maximum);

    // Presence, distance, zones, targets and power of each frame; setOccupancy() has been told what
    // its report made first.
    void frame(const DecodedFrame &frame) override;

    QString stateTopic() const { return m_topic + QLatin1String("/state"); }
    QString availabilityTopic() const { return m_topic + QLatin1String("/availability"); }
    QString holdCommandTopic() const { return m_topic + QLatin1String("/hold/set"); }
    bool isConnected() const { return m_connection.isConnected(); }

Q_SIGNALS:
    void stopped();
    void connectedChanged(bool connected);
    // A message on the hold's command topic, as it came: its owner judges it.
    void holdRequested(const QByteArray &payload);

private:
    struct State
    {
        bool presence = false;
        uint32_t distance = 0; // cm
        uint32_t confidence = 0;
        int64_t timestamp = 0;
        bool occupancy = false;
    };
    struct Targets
    {
        int count = 0;
        int rangeCm = 0; // of the nearest
        int angleTenths = 0; // degrees
        bool operator==(const Targets &other) const
        {
            return count == other.count && rangeCm == other.rangeCm && angleTenths == other.angleTenths;
        }
    };
    struct Hold
    {
        double seconds = 0;
        double minimum = 0;
        double maximum = 0;
    };

    void messageReceived(const QByteArray &topic, const QByteArray &payload);
    // Publishes the latest state when it differs enough from what was sent.
    void publishChange();
    void publishAvailability();
    // Every config of what has been seen, then every value.
    void publishAll();
    void announce(const DiscoveryConfig &config);
    void publishHold();
    void stateChange(const DecodedFrame &frame);
    void zonesChange(const DecodedFrame &frame);
    void targetsChange(const DecodedFrame &frame);
    void powerChange(const DecodedFrame &frame);
    QByteArray statePayload() const;
    QByteArray zonesPayload() const;
    QByteArray targetsPayload() const;
    QByteArray powerPayload() const;
    QByteArray subtopic(const char *name) const { return (m_topic + QLatin1Char('/') + QLatin1String(name)).toUtf8(); }

    MqttSettings m_settings;
    QString m_topic;
    MqttConnection m_connection;
    DiscoveryDocuments m_documents;
    QTimer m_heartbeat;
    bool m_stale = false;

    State m_latest;
    bool m_haveState = false;
    State m_sent;
    bool m_haveSent = false;
    std::map<int, bool> m_zones; // by index: occupied
    std::optional<Targets> m_targets;
    std::optional<uint> m_effectiveRange; // cm
    std::optional<Hold> m_hold;

    BoundedTopic m_stateTopic;
    BoundedTopic m_zonesTopic;
    BoundedTopic m_targetsTopic;
    BoundedTopic m_powerTopic;
};

} // namespace Vantrel
