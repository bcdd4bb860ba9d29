#pragma once

#include "frames/mqtt/discoverydocuments.h"
#include "frames/mqtt/mqttconnection.h"
#include "frames/mqtt/mqttpublisher.h"

#include <QObject>
#include <QSet>
#include <QTimer>

namespace Vantrel {

// Takes a sensor off the broker: every retained discovery config of it (those found there and those
// it may have announced) and its own retained topics are emptied, which Home Assistant reads as the
// entities removed.
class DiscoveryRemoval : public QObject
{
    Q_OBJECT

public:
    explicit DiscoveryRemoval(const MqttSettings &settings, QObject *parent = nullptr);

    // False, with the reason, for what retrying cannot mend; finished() follows otherwise.
    bool start(QString &error);

Q_SIGNALS:
    // 0 once the broker has taken every removal; 1 when it could not be reached in time.
    void finished(int status);

private:
    void connected();
    void retainedMessage(const QByteArray &topic, const QByteArray &payload);
    void removeAll();
    void finish(int status);

    QString m_broker; // for messages
    QString m_sensorName;
    QString m_topic;
    DiscoveryDocuments m_documents;
    QSet<QByteArray> m_topics; // to empty
    QTimer m_deadline; // for reaching the broker
    QTimer m_gathering; // for the retained messages to come
    MqttConnection m_connection; // last: gone first, before what its signals reach
};

} // namespace Vantrel
