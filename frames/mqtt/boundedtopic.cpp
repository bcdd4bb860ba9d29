#include "frames/mqtt/boundedtopic.h"

#include "frames/mqtt/mqttconnection.h"

#include <utility>

namespace Vantrel {

BoundedTopic::BoundedTopic(MqttConnection &connection, QByteArray topic, int intervalMs,
                           std::function<QByteArray()> payload, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_topic(std::move(topic))
    , m_payload(std::move(payload))
{
    m_interval.setSingleShot(true);
    m_interval.setInterval(intervalMs);
    connect(&m_interval, &QTimer::timeout, this, &BoundedTopic::intervalEnded);
}

void BoundedTopic::request()
{
    if (m_interval.isActive())
        m_due = true;
    else
        publishNow();
}

void BoundedTopic::publishNow()
{
    m_due = false;
    // While the broker is away nothing is kept: every topic goes out anew on reconnecting.
    if (!m_connection.publish(m_topic, m_payload()))
        return;
    if (m_interval.interval() > 0)
        m_interval.start();
    Q_EMIT published();
}

void BoundedTopic::intervalEnded()
{
    if (m_due)
        publishNow();
}

} // namespace Vantrel
