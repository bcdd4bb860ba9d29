#include "catalogue/options.h"

namespace Vantrel {

namespace {

template <typename Map>
auto findIn(const Map &map, const QString &name) -> std::optional<typename Map::mapped_type>
{
    const auto it = map.constFind(name);
    if (it == map.constEnd())
        return std::nullopt;
    return *it;
}

} // namespace

ParameterOption::ParameterOption(ParameterInfo info, QMap<QString, ParameterValueOption> values, int index)
    : Option(std::move(info))
    , m_values(std::move(values))
    , m_index(index)
{
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

SensorOption::SensorOption(SensorInfo info, QMap<QString, ParameterOption> options,
                           QVector<DynamicOption> dynamicOptions)
    : Option(std::move(info))
    , m_options(std::move(options))
    , m_dynamicOptions(std::move(dynamicOptions))
{
}

std::optional<ParameterOption> SensorOption::findParameter(const QString &name) const
{
    return findIn(m_options, name);
}

AlgorithmOption::AlgorithmOption(AlgorithmInfo info, QString prefix, QMap<QString, SensorOption> sensors)
    : Option(std::move(info))
    , m_prefix(std::move(prefix))
    , m_sensors(std::move(sensors))
{
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

} // namespace Vantrel
