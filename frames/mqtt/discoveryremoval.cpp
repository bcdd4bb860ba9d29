#include "frames/mqtt/discoveryremoval.h"

#include <QDebug>

namespace Vantrel {

namespace {

constexpr int ConnectWaitMs = 10000;
// Retained messages come right after the subscription; a broker far away may take a while.
constexpr int GatherMs = 1000;
constexpr int AcknowledgeWaitMs = 5000;

} // namespace

DiscoveryRemoval::DiscoveryRemoval(const MqttSettings &settings, QObject *parent)
    : QObject(parent)
    , m_broker(settings.url.toDisplayString())
    , m_sensorName(settings.name)
    , m_topic(settings.url.prefix() + QLatin1Char('/') + settings.name)
    , m_documents(discoverySensor(settings))
    , m_connection(settings.url, MqttConnection::clientId(settings.url, settings.name))
{
    // The entities it may have announced without their configs being retained any more.
    for (const DiscoveryConfig &config :
         {m_documents.occupancy(), m_documents.distance(), m_documents.targetCount(), m_documents.targetRange(),
          m_documents.targetAngle(), m_documents.effectiveRange(), m_documents.hold(0, 0)})
        m_topics.insert(config.topic);
    for (const char *own : {"state", "availability", "zones", "targets", "power", "hold"})
        m_topics.insert((m_topic + QLatin1Char('/') + QLatin1String(own)).toUtf8());

    m_deadline.setSingleShot(true);
    m_deadline.setInterval(ConnectWaitMs);
    m_gathering.setSingleShot(true);
    m_gathering.setInterval(GatherMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        qWarning().noquote()
            << tr("MQTT: could not reach %1 within %2 s; nothing removed").arg(m_broker).arg(ConnectWaitMs / 1000);
        finish(1);
    });
    connect(&m_gathering, &QTimer::timeout, this, &DiscoveryRemoval::removeAll);
    connect(&m_connection, &MqttConnection::connectionMade, this, &DiscoveryRemoval::connected);
    connect(&m_connection, &MqttConnection::messageReceived, this, &DiscoveryRemoval::retainedMessage);
}

bool DiscoveryRemoval::start(QString &error)
{
    if (!MqttPublisher::checkName(m_sensorName, error))
        return false;
    m_connection.addSubscription(m_documents.configFilter());
    m_connection.addSubscription((m_topic + QLatin1String("/#")).toUtf8());
    if (!m_connection.start(error))
        return false;
    m_deadline.start();
    return true;
}

void DiscoveryRemoval::connected()
{
    if (m_deadline.isActive()) {
        m_deadline.stop();
        m_gathering.start();
    }
}

void DiscoveryRemoval::retainedMessage(const QByteArray &topic, const QByteArray &payload)
{
    // An empty payload is a topic emptied already.
    if (m_gathering.isActive() && !payload.isEmpty())
        m_topics.insert(topic);
}

void DiscoveryRemoval::removeAll()
{
    for (const QByteArray &topic : qAsConst(m_topics)) {
        if (!m_connection.publish(topic, QByteArray()))
            return finish(1);
    }
    if (!m_connection.waitAcknowledged(AcknowledgeWaitMs)) {
        qWarning().noquote() << tr("MQTT: %1 did not confirm the removal").arg(m_broker);
        return finish(1);
    }
    qInfo().noquote()
        << tr("MQTT: removed %n retained topic(s) of %1 from %2", nullptr, m_topics.size()).arg(m_topic, m_broker);
    finish(0);
}

void DiscoveryRemoval::finish(int status)
{
    m_connection.stop();
    QMetaObject::invokeMethod(
        this, [this, status] { Q_EMIT finished(status); }, Qt::QueuedConnection);
}

} // namespace Vantrel
