#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <functional>

namespace Vantrel {

class MqttConnection;

// A retained topic whose value changes often: published at most once per interval, a change asked
// for within the interval going out when it ends, with the value of that moment, so that the last
// value is never lost.
class BoundedTopic : public QObject
{
    Q_OBJECT

public:
    // payload() is asked for the value each time it goes out. An interval of 0 sends every request.
    BoundedTopic(MqttConnection &connection, QByteArray topic, int intervalMs, std::function<QByteArray()> payload,
                 QObject *parent = nullptr);

    // The value has changed enough to be told: now, or when the interval ends.
    void request();
    // At once, whatever the interval (a change that must not wait, a heartbeat, a new connection).
    void publishNow();

Q_SIGNALS:
    void published();

private:
    void intervalEnded();

    MqttConnection &m_connection;
    QByteArray m_topic;
    std::function<QByteArray()> m_payload;
    QTimer m_interval; // runs from each publication
    bool m_due = false;
};

} // namespace Vantrel
