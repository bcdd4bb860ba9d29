#include "frames/mqtt/mqttpublisher.h"

#include "decoding/decodedframe.h"
#include "frames/state/holdpolicy.h"
#include "process/timermilliseconds.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cmath>
#include <utility>

namespace Vantrel {

namespace {

// stop(): how long "offline" may take to be acknowledged.
constexpr int OfflineWaitMs = 2000;
// Home Assistant's expire_after: two heartbeats and this much for a slow network.
constexpr int ExpiryMarginSeconds = 5;
// Home Assistant's birth message is answered with every config at most this often.
constexpr int BirthWindowMs = 5000;
// A hold time or Home Assistant's status takes a few bytes; a longer payload is no command.
constexpr int CommandPayloadBytes = 64;
const QByteArray Online = QByteArrayLiteral("online");
const QByteArray Offline = QByteArrayLiteral("offline");

// value / scale without trailing zeros: (123, 100) is 1.23, (-125, 10) is -12.5.
QByteArray decimal(int value, int scale)
{
    return QByteArray::number(double(value) / scale, 'g', 10);
}

int intervalMs(const MqttSettings &settings)
{
    return toTimerMilliseconds(settings.distanceIntervalSeconds * 1000);
}

} // namespace

DiscoveryDocuments::Sensor discoverySensor(const MqttSettings &settings)
{
    DiscoveryDocuments::Sensor sensor;
    sensor.discoveryPrefix = settings.discoveryPrefix;
    sensor.topic = settings.url.prefix() + QLatin1Char('/') + settings.name;
    sensor.name = settings.name;
    sensor.expireAfterSeconds = settings.heartbeatSeconds > 0 ? 2 * settings.heartbeatSeconds + ExpiryMarginSeconds : 0;
    sensor.swVersion = QCoreApplication::applicationVersion();
    sensor.configurationUrl = settings.configurationUrl;
    return sensor;
}

MqttPublisher::MqttPublisher(MqttSettings settings, const SensorState &state, HoldPolicy &holdPolicy, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_state(state)
    , m_holdPolicy(holdPolicy)
    , m_topic(m_settings.url.prefix() + QLatin1Char('/') + m_settings.name)
    , m_connection(m_settings.url, MqttConnection::clientId(m_settings.url, m_settings.name))
    , m_documents(discoverySensor(m_settings))
    , m_stateTopic(m_connection, subtopic("state"), intervalMs(m_settings), [this] { return statePayload(); })
    , m_zonesTopic(m_connection, subtopic("zones"), intervalMs(m_settings), [this] { return zonesPayload(); })
    , m_targetsTopic(m_connection, subtopic("targets"), intervalMs(m_settings), [this] { return targetsPayload(); })
    , m_powerTopic(m_connection, subtopic("power"), intervalMs(m_settings), [this] { return powerPayload(); })
{
    // Home Assistant's births in a flood are answered at once, then at most once a window.
    m_birthWindow.setSingleShot(true);
    m_birthWindow.setInterval(BirthWindowMs);
    connect(&m_birthWindow, &QTimer::timeout, this, [this] {
        if (std::exchange(m_birthPending, false))
            birthHeard();
    });
    m_heartbeat.setSingleShot(true);
    m_heartbeat.setInterval(toTimerMilliseconds(m_settings.heartbeatSeconds * 1000.0));
    connect(&m_heartbeat, &QTimer::timeout, &m_stateTopic, &BoundedTopic::publishNow);
    connect(&m_stateTopic, &BoundedTopic::published, this, [this] {
        const SensorState::Presence presence = *m_state.presence();
        m_sent = Sent{presence.state, distanceCentimetres(presence.distance), m_state.occupancy()};
        // A stale stream has nothing new to tell: its state would only look current.
        if (m_heartbeat.interval() > 0 && !m_state.stale())
            m_heartbeat.start();
    });
    connect(&m_connection, &MqttConnection::connectionMade, this, [this] {
        publishAvailability();
        publishAll();
    });
    connect(&m_connection, &MqttConnection::connectedChanged, this, [this](bool connected) {
        if (!connected)
            m_heartbeat.stop();
        Q_EMIT connectedChanged(connected);
    });
    connect(&m_connection, &MqttConnection::messageReceived, this, &MqttPublisher::messageReceived);
    m_connection.setWill(availabilityTopic().toUtf8(), Offline);
    m_connection.addSubscription(holdCommandTopic().toUtf8(), CommandPayloadBytes);
    if (m_settings.discovery)
        m_connection.addSubscription(m_documents.statusTopic(), CommandPayloadBytes);
}

MqttPublisher::~MqttPublisher()
{
    // The connection outlives the members its signals reach.
    disconnect(&m_connection, nullptr, this, nullptr);
}

bool MqttPublisher::checkName(const QString &name, QString &error)
{
    if (name.isEmpty()) {
        error = tr("the sensor's MQTT name is empty");
        return false;
    }
    for (const QChar c : {QLatin1Char('+'), QLatin1Char('#'), QLatin1Char('/')}) {
        if (name.contains(c)) {
            error = tr("the sensor's MQTT name \"%1\" holds '%2', which topic levels cannot hold").arg(name, c);
            return false;
        }
    }
    return true;
}

bool MqttPublisher::start(QString &error)
{
    if (!m_settings.url.isValid()) {
        error = tr("no MQTT broker URL");
        return false;
    }
    return checkName(m_settings.name, error) && m_connection.start(error);
}

void MqttPublisher::stop()
{
    m_heartbeat.stop();
    if (m_connection.publish(availabilityTopic().toUtf8(), Offline))
        m_connection.waitAcknowledged(OfflineWaitMs);
    m_connection.stop();
    // Queued, so that whoever called stop() can still connect to stopped().
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT stopped(); }, Qt::QueuedConnection);
}

void MqttPublisher::sensorChanged(const SensorState &state, SensorState::Changes changes, const DecodedFrame *)
{
    // Told of every frame: nothing but comparisons while nothing changes.
    if (changes & SensorState::Hold)
        holdChange();
    if (changes & SensorState::Stale)
        staleChange();
    // A report while stale is published with "online" when the stream comes back.
    if ((changes & SensorState::Occupancy) || ((changes & SensorState::Report) && !state.stale()))
        publishChange();
    if (changes & SensorState::Zones)
        zonesChange();
    if (changes & SensorState::Targets)
        targetsChange();
    if (changes & SensorState::Power)
        powerChange();
}

void MqttPublisher::zonesChange()
{
    for (const auto &zone : m_state.zones()) {
        if (m_announcedZones.insert(zone.first).second)
            announce(m_documents.zone(zone.first));
    }
    m_zonesTopic.request();
}

void MqttPublisher::targetsChange()
{
    const SensorState::TargetReport &targets = *m_state.targets();
    RoundedTargets rounded;
    rounded.count = targets.count;
    if (targets.count > 0) {
        rounded.rangeCm = int(std::lround(targets.nearestRange * 100));
        rounded.angleTenths = int(std::lround(targets.nearestAngle * 10));
    }
    if (m_targets == rounded)
        return;
    if (!m_targets)
        announceTargets();
    m_targets = rounded;
    m_targetsTopic.request();
}

void MqttPublisher::announceTargets()
{
    announce(m_documents.targetCount());
    announce(m_documents.targetRange());
    announce(m_documents.targetAngle());
}

void MqttPublisher::powerChange()
{
    if (!std::exchange(m_powerAnnounced, true))
        announce(m_documents.effectiveRange());
    m_powerTopic.request();
}

void MqttPublisher::publishChange()
{
    const std::optional<SensorState::Presence> presence = m_state.presence();
    if (!presence)
        return;
    if (!m_sent || presence->state != m_sent->presence || m_state.occupancy() != m_sent->occupancy) {
        m_stateTopic.publishNow();
        return;
    }
    const uint32_t distance = distanceCentimetres(presence->distance);
    const uint32_t moved = distance > m_sent->distance ? distance - m_sent->distance : m_sent->distance - distance;
    if (presence->state && moved >= m_settings.distanceStepCm)
        m_stateTopic.request();
}

void MqttPublisher::staleChange()
{
    if (m_state.stale())
        m_heartbeat.stop();
    // While the broker is away, the availability of the moment goes out on reconnecting.
    if (!m_connection.isConnected())
        return;
    publishAvailability();
    if (!m_state.stale() && m_state.presence())
        m_stateTopic.publishNow();
}

void MqttPublisher::holdChange()
{
    if (!holdOffered())
        return;
    if (!std::exchange(m_holdAnnounced, true))
        announce(m_documents.hold(HoldSetting::Minimum, HoldSetting::Maximum));
    publishHold();
}

void MqttPublisher::publishHold()
{
    m_connection.publish(subtopic("hold"), QByteArray::number(m_state.holdSeconds(), 'g', 10));
}

void MqttPublisher::publishAvailability()
{
    m_connection.publish(availabilityTopic().toUtf8(), m_state.stale() ? Offline : Online);
}

void MqttPublisher::announce(const DiscoveryConfig &config)
{
    if (m_settings.discovery)
        m_connection.publish(config.topic, QJsonDocument(config.document).toJson(QJsonDocument::Compact));
}

void MqttPublisher::birthHeard()
{
    if (m_birthWindow.isActive()) {
        m_birthPending = true;
        return;
    }
    publishAll();
    m_birthWindow.start();
}

void MqttPublisher::publishAll()
{
    announce(m_documents.occupancy());
    announce(m_documents.distance());
    for (const int zone : m_announcedZones)
        announce(m_documents.zone(zone));
    if (m_targets)
        announceTargets();
    if (m_state.effectiveRange())
        announce(m_documents.effectiveRange());
    if (holdOffered()) {
        announce(m_documents.hold(HoldSetting::Minimum, HoldSetting::Maximum));
        publishHold();
    }
    if (m_state.presence())
        m_stateTopic.publishNow();
    if (!m_announcedZones.empty())
        m_zonesTopic.publishNow();
    if (m_targets)
        m_targetsTopic.publishNow();
    if (m_state.effectiveRange())
        m_powerTopic.publishNow();
}

void MqttPublisher::messageReceived(const QByteArray &topic, const QByteArray &payload)
{
    // Home Assistant shows the value it sent until it hears the one in force.
    if (topic == holdCommandTopic().toUtf8() && !m_holdPolicy.request(payload))
        publishHold();
    else if (topic == m_documents.statusTopic() && payload == Online)
        birthHeard();
}

QByteArray MqttPublisher::statePayload() const
{
    QByteArray payload;
    payload.reserve(96);
    const SensorState::Presence presence = *m_state.presence();
    payload += "{\"presence\":";
    payload += presence.state ? '1' : '0';
    // Nobody there: the distance is unknown, not 0.
    payload += ",\"distance\":";
    payload += presence.state ? QByteArray::number(distanceCentimetres(presence.distance)) : QByteArrayLiteral("null");
    payload += ",\"confidence\":";
    payload += QByteArray::number(presence.confidence);
    payload += ",\"timestamp\":";
    payload += QByteArray::number(static_cast<qlonglong>(presence.timestamp));
    payload += ",\"occupancy\":";
    payload += m_state.occupancy() ? "true}" : "false}";
    return payload;
}

QByteArray MqttPublisher::zonesPayload() const
{
    QByteArray payload = "{";
    for (const auto &[index, occupied] : m_state.zones()) {
        if (payload.size() > 1)
            payload += ',';
        payload += '"' + QByteArray::number(index) + "\":" + (occupied ? "true" : "false");
    }
    return payload + '}';
}

QByteArray MqttPublisher::targetsPayload() const
{
    const bool any = m_targets->count > 0;
    return "{\"count\":" + QByteArray::number(m_targets->count)
           + ",\"range\":" + (any ? decimal(m_targets->rangeCm, 100) : QByteArrayLiteral("null"))
           + ",\"angle\":" + (any ? decimal(m_targets->angleTenths, 10) : QByteArrayLiteral("null")) + '}';
}

QByteArray MqttPublisher::powerPayload() const
{
    return "{\"effective_range\":" + decimal(int(*m_state.effectiveRange()), 100) + '}';
}

} // namespace Vantrel
