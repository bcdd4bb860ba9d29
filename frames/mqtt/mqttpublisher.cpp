#include "frames/mqtt/mqttpublisher.h"

#include "decoding/decodedframe.h"

#include "process/timermilliseconds.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace Vantrel {

namespace {

// stop(): how long "offline" may take to be acknowledged.
constexpr int OfflineWaitMs = 2000;
// Home Assistant's expire_after: two heartbeats and this much for a slow network.
constexpr int ExpiryMarginSeconds = 5;
// Heatmaps have a handful of zones; beyond these, new ones are not published.
constexpr size_t MaxZones = 64;
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

MqttPublisher::MqttPublisher(MqttSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_topic(m_settings.url.prefix() + QLatin1Char('/') + m_settings.name)
    , m_connection(m_settings.url, MqttConnection::clientId(m_settings.url, m_settings.name))
    , m_documents(discoverySensor(m_settings))
    , m_stateTopic(m_connection, subtopic("state"), intervalMs(m_settings), [this] { return statePayload(); })
    , m_zonesTopic(m_connection, subtopic("zones"), intervalMs(m_settings), [this] { return zonesPayload(); })
    , m_targetsTopic(m_connection, subtopic("targets"), intervalMs(m_settings), [this] { return targetsPayload(); })
    , m_powerTopic(m_connection, subtopic("power"), intervalMs(m_settings), [this] { return powerPayload(); })
{
    m_heartbeat.setSingleShot(true);
    m_heartbeat.setInterval(toTimerMilliseconds(m_settings.heartbeatSeconds * 1000.0));
    connect(&m_heartbeat, &QTimer::timeout, &m_stateTopic, &BoundedTopic::publishNow);
    connect(&m_stateTopic, &BoundedTopic::published, this, [this] {
        m_sent = m_latest;
        m_haveSent = true;
        // A stale stream has nothing new to tell: its state would only look current.
        if (m_heartbeat.interval() > 0 && !m_stale)
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
    m_connection.addSubscription(holdCommandTopic().toUtf8());
    if (m_settings.discovery)
        m_connection.addSubscription(m_documents.statusTopic());
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

void MqttPublisher::frame(const DecodedFrame &frame)
{
    // Called for every frame: nothing but comparisons while nothing changes.
    stateChange(frame);
    zonesChange(frame);
    targetsChange(frame);
    powerChange(frame);
}

void MqttPublisher::stateChange(const DecodedFrame &frame)
{
    if (!frame.presence)
        return;
    const PresenceReport &presence = *frame.presence;
    m_latest.presence = presence.state;
    m_latest.distance = distanceCentimetres(presence.distance);
    m_latest.confidence = presence.confidence;
    m_latest.timestamp = frame.timestamp;
    m_haveState = true;
    // The frame that ends a stale stream is published with "online", by setStale().
    if (!m_stale)
        publishChange();
}

void MqttPublisher::zonesChange(const DecodedFrame &frame)
{
    for (const HeatmapZone &zone : frame.zones) {
        const bool occupied = zone.state != 0;
        const auto known = m_zones.find(zone.zoneIndex);
        if (known != m_zones.end()) {
            if (known->second == occupied)
                continue;
            known->second = occupied;
        } else {
            // A stream naming ever more zones would announce entities and grow the message without end.
            if (m_zones.size() >= MaxZones)
                continue;
            m_zones.emplace(zone.zoneIndex, occupied);
            announce(m_documents.zone(zone.zoneIndex));
        }
        m_zonesTopic.request();
    }
}

void MqttPublisher::targetsChange(const DecodedFrame &frame)
{
    // Frames of the proximity kinds tell the targets, none included.
    if (!frame.kind || std::strncmp(frame.kind, "proximity", 9) != 0)
        return;
    Targets targets;
    targets.count = int(frame.targets.size());
    const auto nearest =
        std::min_element(frame.targets.begin(), frame.targets.end(),
                         [](const ProximityTarget &a, const ProximityTarget &b) { return a.range < b.range; });
    if (nearest != frame.targets.end()) {
        targets.rangeCm = int(std::lround(nearest->range * 100));
        targets.angleTenths = int(std::lround(nearest->angle * 10));
    }
    if (m_targets == targets)
        return;
    if (!m_targets) {
        announce(m_documents.targetCount());
        announce(m_documents.targetRange());
        announce(m_documents.targetAngle());
    }
    m_targets = targets;
    m_targetsTopic.request();
}

void MqttPublisher::powerChange(const DecodedFrame &frame)
{
    if (!frame.power || m_effectiveRange == frame.power->effectiveRange)
        return;
    if (!m_effectiveRange)
        announce(m_documents.effectiveRange());
    m_effectiveRange = frame.power->effectiveRange;
    m_powerTopic.request();
}

void MqttPublisher::setOccupancy(bool occupancy)
{
    if (occupancy == m_latest.occupancy)
        return;
    m_latest.occupancy = occupancy;
    // A change told while a frame is being handed out (its report changed it) goes out with that
    // frame's presence, in one message, once every listener has had the frame.
    QMetaObject::invokeMethod(this, &MqttPublisher::publishChange, Qt::QueuedConnection);
}

void MqttPublisher::publishChange()
{
    if (!m_haveState)
        return;
    if (!m_haveSent || m_latest.presence != m_sent.presence || m_latest.occupancy != m_sent.occupancy) {
        m_stateTopic.publishNow();
        return;
    }
    const uint32_t moved =
        m_latest.distance > m_sent.distance ? m_latest.distance - m_sent.distance : m_sent.distance - m_latest.distance;
    if (m_latest.presence && moved >= m_settings.distanceStepCm)
        m_stateTopic.request();
}

void MqttPublisher::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    if (stale)
        m_heartbeat.stop();
    // While the broker is away, the availability of the moment goes out on reconnecting.
    if (!m_connection.isConnected())
        return;
    publishAvailability();
    if (!stale && m_haveState)
        m_stateTopic.publishNow();
}

void MqttPublisher::setHold(double seconds, double minimum, double maximum)
{
    const bool sameBounds = m_hold && m_hold->minimum == minimum && m_hold->maximum == maximum;
    m_hold = Hold{seconds, minimum, maximum};
    if (!sameBounds)
        announce(m_documents.hold(minimum, maximum));
    publishHold();
}

void MqttPublisher::publishHold()
{
    m_connection.publish(subtopic("hold"), QByteArray::number(m_hold->seconds, 'g', 10));
}

void MqttPublisher::publishAvailability()
{
    m_connection.publish(availabilityTopic().toUtf8(), m_stale ? Offline : Online);
}

void MqttPublisher::announce(const DiscoveryConfig &config)
{
    if (m_settings.discovery)
        m_connection.publish(config.topic, QJsonDocument(config.document).toJson(QJsonDocument::Compact));
}

void MqttPublisher::publishAll()
{
    announce(m_documents.occupancy());
    announce(m_documents.distance());
    for (const auto &zone : m_zones)
        announce(m_documents.zone(zone.first));
    if (m_targets) {
        announce(m_documents.targetCount());
        announce(m_documents.targetRange());
        announce(m_documents.targetAngle());
    }
    if (m_effectiveRange)
        announce(m_documents.effectiveRange());
    if (m_hold) {
        announce(m_documents.hold(m_hold->minimum, m_hold->maximum));
        publishHold();
    }
    if (m_haveState)
        m_stateTopic.publishNow();
    if (!m_zones.empty())
        m_zonesTopic.publishNow();
    if (m_targets)
        m_targetsTopic.publishNow();
    if (m_effectiveRange)
        m_powerTopic.publishNow();
}

void MqttPublisher::messageReceived(const QByteArray &topic, const QByteArray &payload)
{
    if (topic == holdCommandTopic().toUtf8())
        Q_EMIT holdRequested(payload);
    else if (topic == m_documents.statusTopic() && payload == Online)
        publishAll();
}

QByteArray MqttPublisher::statePayload() const
{
    QByteArray payload;
    payload.reserve(96);
    payload += "{\"presence\":";
    payload += m_latest.presence ? '1' : '0';
    // Nobody there: the distance is unknown, not 0.
    payload += ",\"distance\":";
    payload += m_latest.presence ? QByteArray::number(m_latest.distance) : QByteArrayLiteral("null");
    payload += ",\"confidence\":";
    payload += QByteArray::number(m_latest.confidence);
    payload += ",\"timestamp\":";
    payload += QByteArray::number(static_cast<qlonglong>(m_latest.timestamp));
    payload += ",\"occupancy\":";
    payload += m_latest.occupancy ? "true}" : "false}";
    return payload;
}

QByteArray MqttPublisher::zonesPayload() const
{
    QByteArray payload = "{";
    for (const auto &[index, occupied] : m_zones) {
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
    return "{\"effective_range\":" + decimal(int(*m_effectiveRange), 100) + '}';
}

} // namespace Vantrel
