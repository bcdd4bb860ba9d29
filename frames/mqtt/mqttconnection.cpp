#include "frames/mqtt/mqttconnection.h"

#include "process/systemerror.h"

#include <QCoreApplication>
#include <QDebug>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

namespace Vantrel {

namespace {

constexpr int Qos = 1;
// Also how long a broker waits, one and a half times over, before it gives out the last will of
// a client that went away without a word (power cut, network gone).
constexpr int KeepAliveSeconds = 30;
// The network thread wakes at least this often to keep the connection alive and to notice stop().
constexpr int LoopTimeoutMs = 1000;
constexpr int FirstRetrySeconds = 1;
constexpr int LastRetrySeconds = 30;
// stop(): how long the disconnect may take to go out.
constexpr int DisconnectWaitMs = 1000;
const char *const CaPath = "/etc/ssl/certs";

QString mosquittoError(int result)
{
    QString text = result == MOSQ_ERR_ERRNO ? systemErrorText(errno) : QString::fromUtf8(mosquitto_strerror(result));
    // libmosquitto's texts are sentences; ours go on after them.
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

MqttConnection::MqttConnection(MqttUrl url, QByteArray clientId, QObject *parent)
    : QObject(parent)
    , m_url(std::move(url))
    , m_clientId(std::move(clientId))
{
}

MqttConnection::~MqttConnection()
{
    stop();
}

QByteArray MqttConnection::clientId(const MqttUrl &url, const QString &name)
{
    QString prefix = url.prefix();
    prefix.replace(QLatin1Char('/'), QLatin1Char('-'));
    return QStringLiteral("%1-%2-%3").arg(prefix, name).arg(QCoreApplication::applicationPid()).toUtf8();
}

bool MqttConnection::start(QString &error)
{
    if (m_client) {
        error = tr("MQTT publishing has already started");
        return false;
    }
    static std::once_flag libraryInitialized;
    std::call_once(libraryInitialized, [] { mosquitto_lib_init(); });

    m_client = mosquitto_new(m_clientId.constData(), true, this);
    if (!m_client) {
        error = tr("cannot create an MQTT client: %1")
                    .arg(mosquittoError(errno == ENOMEM ? MOSQ_ERR_NOMEM : MOSQ_ERR_INVAL));
        return false;
    }
    mosquitto_threaded_set(m_client, true);
    mosquitto_connect_callback_set(m_client, &MqttConnection::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttConnection::onDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttConnection::onPublish);
    mosquitto_message_callback_set(m_client, &MqttConnection::onMessage);

    int result = MOSQ_ERR_SUCCESS;
    if (!m_will.topic.isEmpty())
        result = mosquitto_will_set(m_client, m_will.topic.constData(), m_will.payload.size(),
                                    m_will.payload.constData(), Qos, true);
    if (result == MOSQ_ERR_SUCCESS && !m_url.user().isEmpty()) {
        const QByteArray user = m_url.user().toUtf8();
        const QByteArray password = m_url.password().toUtf8();
        result =
            mosquitto_username_pw_set(m_client, user.constData(), m_url.hasPassword() ? password.constData() : nullptr);
    }
    if (result != MOSQ_ERR_SUCCESS) {
        error = tr("cannot set the MQTT client up: %1").arg(mosquittoError(result));
        mosquitto_destroy(std::exchange(m_client, nullptr));
        return false;
    }
    if (m_url.tls()) {
        result = mosquitto_tls_set(m_client, nullptr, CaPath, nullptr, nullptr, nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            error = tr("cannot set TLS up with the certificate authorities in %1: %2")
                        .arg(QLatin1String(CaPath), mosquittoError(result));
            mosquitto_destroy(std::exchange(m_client, nullptr));
            return false;
        }
    }

    m_stopping = false;
    m_network = std::thread(&MqttConnection::runNetwork, this);
    return true;
}

void MqttConnection::stop()
{
    if (!m_client)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_link)
        mosquitto_disconnect(m_client);
    m_network.join();
    mosquitto_destroy(std::exchange(m_client, nullptr));
    m_link = false;
    if (m_connected.exchange(false))
        Q_EMIT connectedChanged(false);
}

bool MqttConnection::publish(const QByteArray &topic, const QByteArray &payload)
{
    if (!m_client || !m_connected || !m_link)
        return false;
    int mid = 0;
    const int result =
        mosquitto_publish(m_client, &mid, topic.constData(), payload.size(), payload.constData(), Qos, true);
    if (result != MOSQ_ERR_SUCCESS)
        return false;
    // The acknowledgement may have come on the network thread already; with the connection lost
    // meanwhile, it is not waited for.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_link && m_earlyAcknowledged.erase(mid) == 0)
        m_unacknowledged.insert(mid);
    return true;
}

bool MqttConnection::waitAcknowledged(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !m_link || m_unacknowledged.empty();
    }) && m_link;
}

void MqttConnection::connectionUp()
{
    // A connection already lost again is announced by the event behind this one.
    if (!m_client || m_stopping || !m_link)
        return;
    if (!m_connected) {
        qInfo().noquote() << tr("MQTT: connected to %1").arg(m_url.toDisplayString());
        m_connected = true;
        Q_EMIT connectedChanged(true);
    }
    Q_EMIT connectionMade();
}

void MqttConnection::connectionDown(int result)
{
    if (!m_connected || m_link)
        return;
    m_connected = false;
    if (!m_stopping)
        qWarning().noquote() << tr("MQTT: lost the connection to %1 (%2); trying again")
                                    .arg(m_url.toDisplayString(), mosquittoError(result));
    Q_EMIT connectedChanged(false);
}

// --- network thread -------------------------------------------------------------------------------

void MqttConnection::runNetwork()
{
    const QByteArray host = m_url.host().toUtf8();
    const int port = m_url.port();
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
            // What the broker sends is not capped: this libmosquitto has no limit on what it receives, and
            // MQTT v5's maximum packet size only asks a broker that obeys, through a connect that blocks.
            // Payloads longer than their topic can need are dropped as they come (onMessage), and the
            // services' MemoryMax bounds a broker that abuses the rest.
            const int result = mosquitto_connect_async(m_client, host.constData(), port, KeepAliveSeconds);
            open = result == MOSQ_ERR_SUCCESS;
            if (!open)
                report(tr("MQTT: cannot connect to %1: %2; trying again")
                           .arg(m_url.toDisplayString(), mosquittoError(result)));
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
                           .arg(m_url.toDisplayString(), mosquittoError(result)));
        }
        // 1, 2, 4, ... 30 s between attempts, from 1 s again once a connection was made.
        const int delay = std::min(LastRetrySeconds, FirstRetrySeconds << std::min(failures, 5));
        ++failures;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::seconds(delay), [this] { return m_stopping.load(); });
    }
}

void MqttConnection::report(const QString &message)
{
    // The same trouble again and again is told once, until a connection succeeds.
    if (message == m_lastProblem)
        return;
    m_lastProblem = message;
    QMetaObject::invokeMethod(
        this, [message] { qWarning().noquote() << message; }, Qt::QueuedConnection);
}

void MqttConnection::onConnect(mosquitto *client, void *self, int result)
{
    auto *connection = static_cast<MqttConnection *>(self);
    if (result != 0) {
        connection->report(
            tr("MQTT: %1 refused the connection: %2")
                .arg(connection->m_url.toDisplayString(), QString::fromUtf8(mosquitto_connack_string(result))));
        return;
    }
    connection->m_lastProblem.clear();
    // Before anything is published on this connection, so that no answer to it is missed.
    for (const Subscription &subscription : qAsConst(connection->m_subscriptions))
        mosquitto_subscribe(client, nullptr, subscription.topic.constData(), Qos);
    connection->m_link = true;
    QMetaObject::invokeMethod(connection, &MqttConnection::connectionUp, Qt::QueuedConnection);
}

void MqttConnection::onDisconnect(mosquitto *, void *self, int result)
{
    auto *connection = static_cast<MqttConnection *>(self);
    {
        std::lock_guard<std::mutex> lock(connection->m_mutex);
        if (!connection->m_link.exchange(false))
            return;
        // Whatever was not acknowledged is not waited for: the state is published anew on reconnecting.
        connection->m_unacknowledged.clear();
        connection->m_earlyAcknowledged.clear();
    }
    connection->m_wake.notify_all();
    QMetaObject::invokeMethod(
        connection, [connection, result] { connection->connectionDown(result); }, Qt::QueuedConnection);
}

void MqttConnection::onPublish(mosquitto *, void *self, int mid)
{
    auto *connection = static_cast<MqttConnection *>(self);
    {
        std::lock_guard<std::mutex> lock(connection->m_mutex);
        if (connection->m_unacknowledged.erase(mid) == 0)
            connection->m_earlyAcknowledged.insert(mid);
    }
    connection->m_wake.notify_all();
}

void MqttConnection::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *connection = static_cast<MqttConnection *>(self);
    for (const Subscription &subscription : qAsConst(connection->m_subscriptions)) {
        if (subscription.maxPayloadBytes > 0 && message->payloadlen > subscription.maxPayloadBytes
            && subscription.topic == message->topic)
            return;
    }
    const QByteArray topic(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    QMetaObject::invokeMethod(
        connection, [connection, topic, payload] { Q_EMIT connection->messageReceived(topic, payload); },
        Qt::QueuedConnection);
}

} // namespace Vantrel
