#include "frames/mqtt/discoverydocuments.h"

#include <QJsonArray>

#include <utility>

namespace Vantrel {

namespace {

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

// An occupancy binary sensor, ON or OFF as the template reads the state.
void insertOccupancy(QJsonObject &document, const QString &valueTemplate)
{
    document.insert(text("device_class"), text("occupancy"));
    document.insert(text("value_template"), valueTemplate);
    document.insert(text("payload_on"), text("ON"));
    document.insert(text("payload_off"), text("OFF"));
}

// A measured value, which Home Assistant keeps statistics of; without a unit where unit is empty.
void insertMeasurement(QJsonObject &document, const QString &unit, const QString &valueTemplate)
{
    document.insert(text("state_class"), text("measurement"));
    if (!unit.isEmpty())
        document.insert(text("unit_of_measurement"), unit);
    document.insert(text("value_template"), valueTemplate);
}

} // namespace

DiscoveryDocuments::DiscoveryDocuments(Sensor sensor)
    : m_sensor(std::move(sensor))
    , m_id(objectId(m_sensor.name))
{
    m_device = QJsonObject{
        {text("identifiers"), QJsonArray{QStringLiteral("vantrel_") + m_id}},
        {text("name"), m_sensor.name},
        {text("model"), text("vantrel-cli")},
        {text("manufacturer"), text("Vantrel")},
        {text("sw_version"), m_sensor.swVersion},
    };
    if (!m_sensor.configurationUrl.isEmpty())
        m_device.insert(text("configuration_url"), m_sensor.configurationUrl);
}

QString DiscoveryDocuments::objectId(const QString &name)
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

QByteArray DiscoveryDocuments::configFilter() const
{
    return QStringLiteral("%1/+/%2/+/config").arg(m_sensor.discoveryPrefix, m_id).toUtf8();
}

DiscoveryConfig DiscoveryDocuments::entity(const QString &component, const QString &what, const QString &title,
                                           const QString &valueTopic) const
{
    QJsonObject document{
        {text("name"), title},
        {text("unique_id"), QStringLiteral("vantrel_%1_%2").arg(m_id, what)},
        {text("state_topic"), m_sensor.topic + QLatin1Char('/') + valueTopic},
        {text("availability_topic"), m_sensor.topic + QLatin1String("/availability")},
        {text("payload_available"), text("online")},
        {text("payload_not_available"), text("offline")},
        {text("device"), m_device},
    };
    return {QStringLiteral("%1/%2/%3/%4/config").arg(m_sensor.discoveryPrefix, component, m_id, what).toUtf8(),
            document};
}

DiscoveryConfig DiscoveryDocuments::stateEntity(const QString &component, const QString &what,
                                                const QString &title) const
{
    DiscoveryConfig config = entity(component, what, title, text("state"));
    // A state that stops coming for any reason (the program or its host gone without a last will
    // yet) expires after two heartbeats missed.
    if (m_sensor.expireAfterSeconds > 0)
        config.document.insert(text("expire_after"), m_sensor.expireAfterSeconds);
    return config;
}

DiscoveryConfig DiscoveryDocuments::occupancy() const
{
    DiscoveryConfig config = stateEntity(text("binary_sensor"), text("occupancy"), text("Occupancy"));
    insertOccupancy(config.document, text("{{ 'ON' if value_json.occupancy else 'OFF' }}"));
    return config;
}

DiscoveryConfig DiscoveryDocuments::distance() const
{
    DiscoveryConfig config = stateEntity(text("sensor"), text("distance"), text("Distance"));
    config.document.insert(text("device_class"), text("distance"));
    // null while nobody is there: unknown to Home Assistant, not 0.
    insertMeasurement(config.document, text("cm"), text("{{ value_json.distance }}"));
    return config;
}

DiscoveryConfig DiscoveryDocuments::zone(int index) const
{
    DiscoveryConfig config = entity(text("binary_sensor"), QStringLiteral("zone_%1").arg(index),
                                    QStringLiteral("Zone %1").arg(index), text("zones"));
    insertOccupancy(config.document, QStringLiteral("{{ 'ON' if value_json['%1'] else 'OFF' }}").arg(index));
    return config;
}

DiscoveryConfig DiscoveryDocuments::targetCount() const
{
    DiscoveryConfig config = entity(text("sensor"), text("target_count"), text("Targets"), text("targets"));
    insertMeasurement(config.document, QString(), text("{{ value_json.count }}"));
    return config;
}

DiscoveryConfig DiscoveryDocuments::targetRange() const
{
    DiscoveryConfig config =
        entity(text("sensor"), text("target_range"), text("Nearest target range"), text("targets"));
    config.document.insert(text("device_class"), text("distance"));
    insertMeasurement(config.document, text("m"), text("{{ value_json.range }}"));
    return config;
}

DiscoveryConfig DiscoveryDocuments::targetAngle() const
{
    DiscoveryConfig config =
        entity(text("sensor"), text("target_angle"), text("Nearest target angle"), text("targets"));
    insertMeasurement(config.document, QStringLiteral("°"), text("{{ value_json.angle }}"));
    return config;
}

DiscoveryConfig DiscoveryDocuments::effectiveRange() const
{
    DiscoveryConfig config = entity(text("sensor"), text("effective_range"), text("Effective range"), text("power"));
    config.document.insert(text("device_class"), text("distance"));
    config.document.insert(text("unit_of_measurement"), text("m"));
    config.document.insert(text("entity_category"), text("diagnostic"));
    config.document.insert(text("value_template"), text("{{ value_json.effective_range }}"));
    return config;
}

DiscoveryConfig DiscoveryDocuments::hold(double minimum, double maximum) const
{
    DiscoveryConfig config = entity(text("number"), text("hold"), text("Hold time"), text("hold"));
    config.document.insert(text("command_topic"), m_sensor.topic + QLatin1String("/hold/set"));
    config.document.insert(text("min"), minimum);
    config.document.insert(text("max"), maximum);
    config.document.insert(text("step"), 0.1);
    config.document.insert(text("unit_of_measurement"), text("s"));
    config.document.insert(text("device_class"), text("duration"));
    config.document.insert(text("mode"), text("box"));
    config.document.insert(text("entity_category"), text("config"));
    return config;
}

} // namespace Vantrel
