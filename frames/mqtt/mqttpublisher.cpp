#include "frames/mqtt/mqttpublisher.h"

#include "decoding/decodedframe.h"

#include "process/timermilliseconds.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <utility>

namespace Vantrel {

namespace {

constexpr int Qos = 1;
// Also how long a broker waits, one and a half times over, before it gives out the last will of
// a sensor that went away without a word (power cut, network gone).
constexpr int KeepAliveSeconds = 30;
// The network thread wakes at least this often to keep the connection alive and to notice stop().
constexpr int LoopTimeoutMs = 1000;
constexpr int FirstRetrySeconds = 1;
constexpr int LastRetrySeconds = 30;
// stop(): how long "offline" may take to be acknowledged, and then the disconnect to go out.
constexpr int OfflineWaitMs = 2000;
constexpr int DisconnectWaitMs = 1000;
const char *const CaPath = "/etc/ssl/certs";
// Home Assistant's expire_after: two heartbeats and this much for a slow network.
constexpr int ExpiryMarginSeconds = 5;
const QByteArray Online = QByteArrayLiteral("online");
const QByteArray Offline = QByteArrayLiteral("offline");

QString mosquittoError(int result)
{
    QString text = result == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                            : QString::fromUtf8(mosquitto_strerror(result));
    // libmosquitto's texts are sentences; ours go on after them.
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// Home Assistant's object ids allow these only.
QString discoveryId(const QString &name)
{
    QString id = name;
    for (QChar &c : id) {
        const bool allowed =
            (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') || c == QLatin1Char('-');
        if (!allowed)
            c = QLatin1Char('_');
    }
    return id;
}

} // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_topic(m_settings.url.prefix() + QLatin1Char('/') + m_settings.name)
    , m_stateTopic(stateTopic().toUtf8())
    , m_availabilityTopic(availabilityTopic().toUtf8())
{
    m_heartbeat.setSingleShot(true);
    m_heartbeat.setInterval(toTimerMilliseconds(m_settings.heartbeatSeconds * 1000.0));
    connect(&m_heartbeat, &QTimer::timeout, this, &MqttPublisher::publishState);
}

MqttPublisher::~MqttPublisher()
{
    shutDown();
}

bool MqttPublisher::start(QString &error)
{
    if (m_client) {
        error = tr("MQTT publishing has already started");
        return false;
    }
    if (!m_settings.url.isValid()) {
        error = tr("no MQTT broker URL");
        return false;
    }
    if (m_settings.name.isEmpty()) {
        error = tr("the sensor's MQTT name is empty");
        return false;
    }
    for (const QChar c : {QLatin1Char('+'), QLatin1Char('#'), QLatin1Char('/')}) {
        if (m_settings.name.contains(c)) {
            error =
                tr("the sensor's MQTT name \"%1\" holds '%2', which topic levels cannot hold").arg(m_settings.name, c);
            return false;
        }
    }

    static std::once_flag libraryInitialized;
    std::call_once(libraryInitialized, [] { mosquitto_lib_init(); });

    QString prefix = m_settings.url.prefix();
    prefix.replace(QLatin1Char('/'), QLatin1Char('-'));
    const QByteArray clientId =
        QStringLiteral("%1-%2-%3").arg(prefix, m_settings.name).arg(QCoreApplication::applicationPid()).toUtf8();
    m_client = mosquitto_new(clientId.constData(), true, this);
    if (!m_client) {
        error = tr("cannot create an MQTT client: %1")
                    .arg(mosquittoError(errno == ENOMEM ? MOSQ_ERR_NOMEM : MOSQ_ERR_INVAL));
        return false;
    }
    mosquitto_threaded_set(m_client, true);
    mosquitto_connect_callback_set(m_client, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttPublisher::onDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttPublisher::onPublish);

    int result =
        mosquitto_will_set(m_client, m_availabilityTopic.constData(), Offline.size(), Offline.constData(), Qos, true);
    if (result == MOSQ_ERR_SUCCESS && !m_settings.url.user().isEmpty()) {
        const QByteArray user = m_settings.url.user().toUtf8();
        const QByteArray password = m_settings.url.password().toUtf8();
        result = mosquitto_username_pw_set(m_client, user.constData(),
                                           m_settings.url.hasPassword() ? password.constData() : nullptr);
    }
    if (result != MOSQ_ERR_SUCCESS) {
        error = tr("cannot set the MQTT client up: %1").arg(mosquittoError(result));
        mosquitto_destroy(std::exchange(m_client, nullptr));
        return false;
    }
    if (m_settings.url.tls()) {
        result = mosquitto_tls_set(m_client, nullptr, CaPath, nullptr, nullptr, nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            error = tr("cannot set TLS up with the certificate authorities in %1: %2")
                        .arg(QLatin1String(CaPath), mosquittoError(result));
            mosquitto_destroy(std::exchange(m_client, nullptr));
            return false;
        }
    }

    m_stopping = false;
    m_network = std::thread(&MqttPublisher::runNetwork, this);
    return true;
}

void MqttPublisher::stop()
{
    const bool wasConnected = m_connected;
    shutDown();
    if (wasConnected)
        Q_EMIT connectedChanged(false);
    // Queued, so that whoever called stop() can still connect to stopped().
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT stopped(); }, Qt::QueuedConnection);
}

void MqttPublisher::shutDown()
{
    m_heartbeat.stop();
    if (!m_client)
        return;
    if (m_connected && m_link) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_delivered.clear();
        m_collectDelivered = true;
        lock.unlock();
        int mid = 0;
        if (publish(m_availabilityTopic, Offline, &mid)) {
            lock.lock();
            m_wake.wait_for(lock, std::chrono::milliseconds(OfflineWaitMs), [this, mid] {
                return !m_link || std::find(m_delivered.begin(), m_delivered.end(), mid) != m_delivered.end();
            });
            lock.unlock();
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_collectDelivered = false;
    }
    m_wake.notify_all();
    if (m_link)
        mosquitto_disconnect(m_client);
    m_network.join();
    mosquitto_destroy(std::exchange(m_client, nullptr));
    m_link = false;
    m_connected = false;
}

void MqttPublisher::frame(const DecodedFrame &frame)
{
    if (!frame.presence)
        return;
    // Called for every frame: nothing but this comparison while nothing changes.
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
    if (m_haveSent && m_latest.presence == m_sent.presence && m_latest.occupancy == m_sent.occupancy)
        return;
    publishState();
}

void MqttPublisher::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    if (stale)
        m_heartbeat.stop();
    // While the broker is away, the availability of the moment goes out on reconnecting.
    if (!m_connected || !m_link)
        return;
    publishAvailability();
    if (!stale)
        publishState();
}

void MqttPublisher::publishAvailability()
{
    publish(m_availabilityTopic, m_stale ? Offline : Online);
}

void MqttPublisher::publishState()
{
    // While the broker is away nothing is handed to libmosquitto, which would queue it without
    // limit: the latest state goes out when the connection is back.
    if (!m_haveState || !m_connected || !m_link)
        return;
    QByteArray payload;
    payload.reserve(96);
    payload += "{\"presence\":";
    payload += m_latest.presence ? '1' : '0';
    payload += ",\"distance\":";
    payload += QByteArray::number(m_latest.distance);
    payload += ",\"confidence\":";
    payload += QByteArray::number(m_latest.confidence);
    payload += ",\"timestamp\":";
    payload += QByteArray::number(static_cast<qlonglong>(m_latest.timestamp));
    payload += ",\"occupancy\":";
    payload += m_latest.occupancy ? "true}" : "false}";
    if (!publish(m_stateTopic, payload))
        return;
    m_sent = m_latest;
    m_haveSent = true;
    // A stale stream has nothing new to tell: its state would only look current.
    if (m_heartbeat.interval() > 0 && !m_stale)
        m_heartbeat.start();
}

void MqttPublisher::publishDiscovery()
{
    const QString id = discoveryId(m_settings.name);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("vantrel_") + id}},
        {QStringLiteral("name"), m_settings.name},
        {QStringLiteral("model"), QStringLiteral("vantrel-cli")},
        {QStringLiteral("manufacturer"), QStringLiteral("Vantrel")},
    };
    const auto common = [&](const QString &what, const QString &title) {
        return QJsonObject{
            {QStringLiteral("name"), title},
            {QStringLiteral("unique_id"), QStringLiteral("vantrel_%1_%2").arg(id, what)},
            {QStringLiteral("state_topic"), stateTopic()},
            {QStringLiteral("availability_topic"), availabilityTopic()},
            {QStringLiteral("payload_available"), QString::fromLatin1(Online)},
            {QStringLiteral("payload_not_available"), QString::fromLatin1(Offline)},
            {QStringLiteral("device"), device},
        };
    };
    // A state that stops coming for any reason (the program or its host gone without a last will
    // yet) expires after two heartbeats missed.
    const auto expiring = [&](QJsonObject config) {
        if (m_settings.heartbeatSeconds > 0)
            config.insert(QStringLiteral("expire_after"), 2 * m_settings.heartbeatSeconds + ExpiryMarginSeconds);
        return config;
    };

    QJsonObject occupancy = common(QStringLiteral("occupancy"), QStringLiteral("Occupancy"));
    occupancy.insert(QStringLiteral("device_class"), QStringLiteral("occupancy"));
    occupancy.insert(QStringLiteral("value_template"), QStringLiteral("{{ 'ON' if value_json.occupancy else 'OFF' }}"));
    occupancy.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
    occupancy.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));

    QJsonObject distance = common(QStringLiteral("distance"), QStringLiteral("Distance"));
    distance.insert(QStringLiteral("device_class"), QStringLiteral("distance"));
    distance.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("cm"));
    distance.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    distance.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.distance }}"));

    publish(QStringLiteral("homeassistant/binary_sensor/%1/occupancy/config").arg(id).toUtf8(),
            QJsonDocument(expiring(occupancy)).toJson(QJsonDocument::Compact));
    publish(QStringLiteral("homeassistant/sensor/%1/distance/config").arg(id).toUtf8(),
            QJsonDocument(expiring(distance)).toJson(QJsonDocument::Compact));
}

bool MqttPublisher::publish(const QByteArray &topic, const QByteArray &payload, int *mid)
{
    const int result =
        mosquitto_publish(m_client, mid, topic.constData(), payload.size(), payload.constData(), Qos, true);
    return result == MOSQ_ERR_SUCCESS;
}

void MqttPublisher::connectionUp()
{
    // A connection already lost again is announced by the event behind this one.
    if (!m_client || m_stopping || !m_link)
        return;
    const bool wasConnected = m_connected;
    if (!m_connected)
        qInfo().noquote() << tr("MQTT: connected to %1").arg(m_settings.url.toDisplayString());
    m_connected = true;
    if (!wasConnected)
        Q_EMIT connectedChanged(true);
    publishAvailability();
    if (m_settings.discovery)
        publishDiscovery();
    publishState();
}

void MqttPublisher::connectionDown(int result)
{
    if (!m_connected || m_link)
        return;
    m_connected = false;
    m_heartbeat.stop();
    if (!m_stopping)
        qWarning().noquote() << tr("MQTT: lost the connection to %1 (%2); trying again")
                                    .arg(m_settings.url.toDisplayString(), mosquittoError(result));
    Q_EMIT connectedChanged(false);
}

// --- network thread -------------------------------------------------------------------------------

void MqttPublisher::runNetwork()
{
    const QByteArray host = m_settings.url.host().toUtf8();
    const int port = m_settings.url.port();
    int failures = 0;
    bool open = false; // a connection is being made or is up
    std::chrono::steady_clock::time_point giveUp = std::chrono::steady_clock::time_point::max();
    for (;;) {
        if (m_stopping) {
            // Keep going only to send the disconnect, and not for long.
            if (!open || !m_link)
                break;
            const auto now = std::chrono::steady_clock::now();
            if (giveUp == std::chrono::steady_clock::time_point::max())
                giveUp = now + std::chrono::milliseconds(DisconnectWaitMs);
            else if (now >= giveUp)
                break;
        }
        if (!open) {
            const int result = mosquitto_connect_async(m_client, host.constData(), port, KeepAliveSeconds);
            open = result == MOSQ_ERR_SUCCESS;
            if (!open)
                report(tr("MQTT: cannot connect to %1: %2; trying again")
                           .arg(m_settings.url.toDisplayString(), mosquittoError(result)));
        }
        if (open) {
            const bool wasUp = m_link;
            const int result = mosquitto_loop(m_client, LoopTimeoutMs, 1);
            if (result == MOSQ_ERR_SUCCESS) {
                if (m_link)
                    failures = 0;
                continue;
            }
            open = false;
            if (m_stopping)
                break;
            if (!wasUp)
                report(tr("MQTT: cannot connect to %1: %2; trying again")
                           .arg(m_settings.url.toDisplayString(), mosquittoError(result)));
        }
        // 1, 2, 4, ... 30 s between attempts, from 1 s again once a connection was made.
        const int delay = std::min(LastRetrySeconds, FirstRetrySeconds << std::min(failures, 5));
        ++failures;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::seconds(delay), [this] { return m_stopping.load(); });
    }
}

void MqttPublisher::report(const QString &message)
{
    // The same trouble again and again is told once, until a connection succeeds.
    if (message == m_lastProblem)
        return;
    m_lastProblem = message;
    QMetaObject::invokeMethod(
        this, [message] { qWarning().noquote() << message; }, Qt::QueuedConnection);
}

void MqttPublisher::onConnect(mosquitto *, void *self, int result)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    if (result != 0) {
        publisher->report(
            tr("MQTT: %1 refused the connection: %2")
                .arg(publisher->m_settings.url.toDisplayString(), QString::fromUtf8(mosquitto_connack_string(result))));
        return;
    }
    publisher->m_lastProblem.clear();
    publisher->m_link = true;
    QMetaObject::invokeMethod(publisher, &MqttPublisher::connectionUp, Qt::QueuedConnection);
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int result)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    {
        std::lock_guard<std::mutex> lock(publisher->m_mutex);
        if (!publisher->m_link.exchange(false))
            return;
    }
    publisher->m_wake.notify_all();
    QMetaObject::invokeMethod(
        publisher, [publisher, result] { publisher->connectionDown(result); }, Qt::QueuedConnection);
}

void MqttPublisher::onPublish(mosquitto *, void *self, int mid)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    {
        std::lock_guard<std::mutex> lock(publisher->m_mutex);
        if (!publisher->m_collectDelivered)
            return;
        publisher->m_delivered.push_back(mid);
    }
    publisher->m_wake.notify_all();
}

} // namespace Vantrel
