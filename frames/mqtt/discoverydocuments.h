#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace Vantrel {

// One Home Assistant discovery config: where it goes and what it says.
struct DiscoveryConfig
{
    QByteArray topic; // <discovery prefix>/<component>/<object id>/<what>/config
    QJsonObject document;
};

// The sensor as Home Assistant's MQTT discovery describes it: one device, and an entity for each
// value the sensor publishes under its topic T (T/state, T/zones, T/targets, T/power, T/hold).
class DiscoveryDocuments
{
public:
    struct Sensor
    {
        QString discoveryPrefix = QStringLiteral("homeassistant");
        QString topic; // T: <url prefix>/<name>
        QString name;
        int expireAfterSeconds = 0; // of the entities on T/state, which has a heartbeat; 0: none
        QString swVersion;
        QString configurationUrl; // empty: none
    };

    explicit DiscoveryDocuments(Sensor sensor);

    // The name as Home Assistant's object ids allow it.
    static QString objectId(const QString &name);

    DiscoveryConfig occupancy() const;
    DiscoveryConfig distance() const;
    DiscoveryConfig zone(int index) const;
    DiscoveryConfig targetCount() const;
    DiscoveryConfig targetRange() const;
    DiscoveryConfig targetAngle() const;
    DiscoveryConfig effectiveRange() const;
    DiscoveryConfig hold(double minimum, double maximum) const;

    // Home Assistant's birth message comes here.
    QByteArray statusTopic() const { return (m_sensor.discoveryPrefix + QLatin1String("/status")).toUtf8(); }
    // Where the retained configs of this sensor are found, whatever entities it has announced.
    QByteArray configFilter() const;

private:
    DiscoveryConfig entity(const QString &component, const QString &what, const QString &title,
                           const QString &valueTopic) const;
    DiscoveryConfig stateEntity(const QString &component, const QString &what, const QString &title) const;

    Sensor m_sensor;
    QString m_id;
    QJsonObject m_device;
};

} // namespace Vantrel
