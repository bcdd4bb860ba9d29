#include "options.h"

#include "jsonread.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegExp>
#include <QSysInfo>

#include <algorithm>

namespace Vantrel {

using JsonRead::read;
using JsonRead::readObjects;

namespace {

template<typename Map>
auto findIn(const Map &map, const QString &name) -> std::optional<typename Map::mapped_type>
{
    const auto it = map.constFind(name);
    if (it == map.constEnd())
        return std::nullopt;
    return *it;
}

} // namespace

template<typename Info>
Option<Info>::Option(const QJsonObject &object)
{
    read(object, QStringLiteral("name"), m_info.name);
    read(object, QStringLiteral("description"), m_info.description);
}

template class Option<ParameterValueInfo>;
template class Option<OptionInfo>;
template class Option<SensorInfo>;
template class Option<AlgorithmInfo>;

bool TimeoutRange::isValid() const
{
    return !(start > end || start > defaultValue || end < defaultValue || increments > (end - start) / 2
             || (start > 0 && end > 0 && increments < 1));
}

// ---- values

ParameterValueOption::ParameterValueOption(const QJsonObject &object)
    : Option(object)
{
    read(object, QStringLiteral("parb"), m_info.parb);
    read(object, QStringLiteral("default"), m_info.isDefault);
}

bool ParameterValueOption::isValid() const
{
    if (m_info.name.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("ParameterValueOption", "Ignoring option with empty name");
        return false;
    }
    if (m_info.parb.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("ParameterValueOption", "Ignoring option with empty parb");
        return false;
    }
    return true;
}

// ---- parameters

ParameterOption::ParameterOption(const QJsonObject &object)
    : Option(object)
{
    read(object, QStringLiteral("platforms"), m_platforms);
    const QVector<QJsonObject> elements = readObjects(object, QStringLiteral("values"));
    for (const QJsonObject &element : elements) {
        const ParameterValueOption value(element);
        if (!value.isValid()) {
            qWarning().noquote() << QCoreApplication::translate("ParameterOption",
                                                                "Invalid option, name and parb must be provided");
            continue;
        }
        if (m_values.contains(value.name())) {
            qWarning().noquote() << QCoreApplication::translate("ParameterOption", "Ignore duplicated option: ")
                                 << value.name();
            continue;
        }
        m_values.insert(value.name(), value);
    }
}

bool ParameterOption::isValid() const
{
    if (m_info.name.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("ParameterOption", "Ignoring parameter with empty name");
        return false;
    }
    if (m_info.description.isEmpty() && m_values.size() > 1) {
        qWarning().noquote() << QCoreApplication::translate(
            "ParameterOption", "Ignoring parameter with description and more than 1 value");
        return false;
    }
    const QString platform = QSysInfo::productType();
    if (!m_platforms.isEmpty() && !m_platforms.contains(platform)) {
        qDebug().noquote() << QCoreApplication::translate("ParameterOption",
                                                          "Ignoring parameter which is not supported on current "
                                                          "platform.\nSupported platforms: %1\nCurrent platform: %2")
                                  .arg(m_platforms.join(QLatin1Char(' ')), platform);
        return false;
    }
    return true;
}

std::optional<ParameterValueOption> ParameterOption::findValue(const QString &name) const
{
    return findIn(m_values, name);
}

std::optional<SelectedValue> ParameterOption::defaultValue() const
{
    if (const auto fixed = fixedValue())
        return fixed;
    for (const ParameterValueOption &value : m_values) {
        if (value.info().isDefault)
            return SelectedValue{value, true};
    }
    return std::nullopt;
}

std::optional<SelectedValue> ParameterOption::fixedValue() const
{
    if (m_values.size() != 1)
        return std::nullopt;
    return SelectedValue{m_values.first(), false};
}

// ---- sensors

SensorOption::SensorOption(const QJsonObject &object)
    : Option(object)
{
    read(object, QStringLiteral("default"), m_info.isDefault);
    const QVector<QJsonObject> parameters = readObjects(object, QStringLiteral("options"));
    for (const QJsonObject &element : parameters) {
        ParameterOption parameter(element);
        if (!parameter.isValid())
            continue;
        if (m_options.contains(parameter.name())) {
            qWarning().noquote() << QCoreApplication::translate("SensorOption", "Ignore duplicated parameter: ")
                                 << parameter.name();
            continue;
        }
        // File order survives only here: the runtime applies the parameter files in this order.
        parameter.m_index = m_options.size();
        m_options.insert(parameter.name(), parameter);
    }
    read(object, QStringLiteral("flow"), m_info.flow);
    const QVector<QJsonObject> dynamicOptions = readObjects(object, QStringLiteral("dynamicOptions"));
    for (const QJsonObject &element : dynamicOptions) {
        DynamicOption option;
        read(element, QStringLiteral("qmlName"), option.qmlName);
        read(element, QStringLiteral("sectionNames"), option.sectionNames);
        m_dynamicOptions.append(option);
    }
}

bool SensorOption::isValid() const
{
    if (m_info.name.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("SensorOption", "Ignoring sensor with empty name");
        return false;
    }
    if (m_info.description.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("SensorOption", "Ignoring sensor with empty description");
        return false;
    }
    return true;
}

std::optional<ParameterOption> SensorOption::findParameter(const QString &name) const
{
    return findIn(m_options, name);
}

int SensorOption::selectableParameterCount() const
{
    return int(std::count_if(m_options.cbegin(), m_options.cend(),
                             [](const ParameterOption &parameter) { return parameter.values().size() != 1; }));
}

// ---- algorithms

AlgorithmOption::AlgorithmOption(const QString &prefix, const QJsonObject &object)
    : Option(object)
    , m_baseName(m_info.name)
    , m_prefix(prefix)
{
    read(object, QStringLiteral("output"), m_info.output);
    read(object, QStringLiteral("flow"), m_info.flow);
    read(object, QStringLiteral("graphCommitHash"), m_info.graphCommitHash);
    read(object, QStringLiteral("graphBuildID"), m_info.graphBuildID);
    read(object, QStringLiteral("minimumSupportedWeaveGraphVersion"), m_info.minimumSupportedWeaveGraphVersion);
    read(object, QStringLiteral("maximumSupportedWeaveGraphVersion"), m_info.maximumSupportedWeaveGraphVersion);
    read(object, QStringLiteral("algorithmVersion"), m_info.algorithmVersion);
    read(object, QStringLiteral("jsonFormatVersion"), m_info.jsonFormatVersion);
    read(object, QStringLiteral("outputFrequency"), m_info.outputFrequency);

    QJsonObject timeoutObject;
    if (read(object, QStringLiteral("timeoutRangeSeconds"), timeoutObject)) {
        TimeoutRange &range = m_info.timeoutRangeSeconds;
        read(timeoutObject, QStringLiteral("start"), range.start);
        read(timeoutObject, QStringLiteral("end"), range.end);
        read(timeoutObject, QStringLiteral("default"), range.defaultValue);
        read(timeoutObject, QStringLiteral("increments"), range.increments);
        // Reported only: the numbers are kept as read and the algorithm stays usable.
        if (!range.isValid()) {
            const auto number = [](double value) { return QString::number(value, 'g', 6); };
            qWarning().noquote() << QCoreApplication::translate(
                                        "AlgorithmOption",
                                        "Timeout range is invalid: start %1, end %2, default %3, incriment: %4")
                                        .arg(number(range.start), number(range.end), number(range.defaultValue),
                                             number(range.increments));
        }
    }

    const QVector<QJsonObject> sensors = readObjects(object, QStringLiteral("sensors"));
    for (const QJsonObject &element : sensors) {
        const SensorOption sensor(element);
        if (sensor.isValid())
            m_sensors.insert(sensor.name(), sensor); // a later sensor of the same name wins
    }

    m_info.name = catalogueName(m_baseName, m_info.algorithmVersion);
}

bool AlgorithmOption::isValid() const
{
    if (m_baseName.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("AlgorithmOption", "Ignoring Product with empty name");
        return false;
    }
    if (m_info.description.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("AlgorithmOption",
                                                            "Ignoring Product with empty description");
        return false;
    }
    if (m_sensors.isEmpty()) {
        qWarning().noquote() << QCoreApplication::translate("AlgorithmOption",
                                                            "Ignoring Product with empty sensor list");
        return false;
    }
    return true;
}

std::optional<SensorOption> AlgorithmOption::findSensor(const QString &name) const
{
    return findIn(m_sensors, name);
}

QString AlgorithmOption::defaultSensorName() const
{
    if (m_sensors.size() == 1)
        return m_sensors.firstKey();
    for (const SensorOption &sensor : m_sensors) {
        if (sensor.info().isDefault)
            return sensor.name();
    }
    return QString();
}

QString catalogueName(const QString &baseName, const QString &algorithmVersion)
{
    // The dots are deliberately unescaped: "1-2-3" is accepted as a version like "1.2.3".
    QRegExp version(QStringLiteral("^(\\d+).(\\d+).(\\d+)$"));
    if (version.indexIn(algorithmVersion) != -1)
        return QStringLiteral("%1 %2.%3").arg(baseName, version.cap(1), version.cap(2));
    return QStringLiteral("%1 %2").arg(baseName, algorithmVersion);
}

} // namespace Vantrel
