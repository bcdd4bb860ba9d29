#pragma once

#include "frames/mqtt/boundedtopic.h"
#include "frames/mqtt/discoverydocuments.h"
#include "frames/mqtt/mqttconnection.h"
#include "frames/mqtt/mqtturl.h"
#include "frames/state/sensorstate.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <set>

namespace Vantrel {

class HoldPolicy;

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
// every entity when it is first seen, on every connect and on its birth message. Every value is the
// sensor's state's; what is kept here is what was sent, to tell what is worth sending.
class MqttPublisher : public QObject, public SensorObserver
{
    Q_OBJECT

public:
    // holdPolicy judges the hold times Home Assistant sends.
    MqttPublisher(MqttSettings settings, const SensorState &state, HoldPolicy &holdPolicy, QObject *parent = nullptr);
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

    // Presence, occupancy (at once, also when a hold runs out with no report after it), distance,
    // zones, targets and power; the hold time in force, on T/hold and with discovery as a number Home
    // Assistant can set. A stale stream reads as "offline" and has no heartbeat; the stream coming
    // back publishes "online" and the current state.
    void sensorChanged(const SensorState &state, SensorState::Changes changes, const DecodedFrame *frame) override;

    QString stateTopic() const { return m_topic + QLatin1String("/state"); }
    QString availabilityTopic() const { return m_topic + QLatin1String("/availability"); }
    QString holdCommandTopic() const { return m_topic + QLatin1String("/hold/set"); }
    bool isConnected() const { return m_connection.isConnected(); }

Q_SIGNALS:
    void stopped();
    void connectedChanged(bool connected);

private:
    // The state as last published, to tell a change worth publishing.
    struct Sent
    {
        bool presence = false;
        uint32_t distance = 0; // cm
        bool occupancy = false;
    };
    // The targets as last asked to be published: the nearest one's place to the centimetre and the
    // tenth of a degree.
    struct RoundedTargets
    {
        int count = 0;
        int rangeCm = 0;
        int angleTenths = 0;
        bool operator==(const RoundedTargets &other) const
        {
            return count == other.count && rangeCm == other.rangeCm && angleTenths == other.angleTenths;
        }
    };

    void messageReceived(const QByteArray &topic, const QByteArray &payload);
    // Publishes the latest state when it differs enough from what was sent.
    void publishChange();
    void publishAvailability();
    // Home Assistant says it is back: every config and value again, at most once a window.
    void birthHeard();
    // Every config of what has been seen, then every value.
    void publishAll();
    void announce(const DiscoveryConfig &config);
    void publishHold();
    void staleChange();
    void holdChange();
    void zonesChange();
    void targetsChange();
    void powerChange();
    void announceTargets();
    bool holdOffered() const { return m_state.holdSource() != SensorState::HoldSource::None; }
    QByteArray statePayload() const;
    QByteArray zonesPayload() const;
    QByteArray targetsPayload() const;
    QByteArray powerPayload() const;
    QByteArray subtopic(const char *name) const { return (m_topic + QLatin1Char('/') + QLatin1String(name)).toUtf8(); }

    MqttSettings m_settings;
    const SensorState &m_state;
    HoldPolicy &m_holdPolicy;
    QString m_topic;
    MqttConnection m_connection;
    DiscoveryDocuments m_documents;
    QTimer m_heartbeat;
    QTimer m_birthWindow;
    bool m_birthPending = false; // a birth came during the window

    std::optional<Sent> m_sent;
    std::set<int> m_announcedZones;
    std::optional<RoundedTargets> m_targets;
    bool m_powerAnnounced = false;
    bool m_holdAnnounced = false;

    BoundedTopic m_stateTopic;
    BoundedTopic m_zonesTopic;
    BoundedTopic m_targetsTopic;
    BoundedTopic m_powerTopic;
};

} // namespace Vantrel
