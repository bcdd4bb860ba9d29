// The in-memory form of an algorithm definition: algorithm -> sensors -> parameters -> values.
// Every node is a plain value built by the definition reader from parts that passed its checks;
// maps are keyed by name, so everything that walks them follows name order.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>
#include <utility>

namespace Vantrel {

struct ParameterValueInfo
{
    QString name;
    QString description;
    QString parb;
    bool isDefault = false;
};

struct ParameterInfo
{
    QString name;
    QString description;
};

struct SensorInfo
{
    QString name;
    QString description;
    QString flow;
    bool isDefault = false;
};

struct TimeoutRange
{
    double start = 0;
    double end = 0;
    double defaultValue = 0;
    double increments = 0;
};

struct AlgorithmInfo
{
    QString name;
    QString description;
    QString output = QStringLiteral("Q3-HPD");
    QString flow;
    QString graphCommitHash;
    QString graphBuildID;
    QString minimumSupportedWeaveGraphVersion;
    QString maximumSupportedWeaveGraphVersion;
    QString algorithmVersion;
    QString jsonFormatVersion;
    TimeoutRange timeoutRangeSeconds;
    double outputFrequency = 0;
};

struct DynamicOption
{
    QString qmlName;
    QStringList sectionNames;
};

// What every node has: its record, whose first two fields are the name and the description.
template <typename Info>
class Option
{
public:
    Option() = default;
    explicit Option(Info info)
        : m_info(std::move(info))
    {
    }

    const Info &info() const { return m_info; }
    QString name() const { return m_info.name; }
    QString description() const { return m_info.description; }

private:
    Info m_info;
};

class ParameterValueOption final : public Option<ParameterValueInfo>
{
public:
    using Option::Option;
};

// A value picked for a parameter; `visible` is false for the only value of a parameter,
// which is fixed and not offered to the user.
struct SelectedValue
{
    ParameterValueOption value;
    bool visible = true;
};

class ParameterOption final : public Option<ParameterInfo>
{
public:
    ParameterOption() = default;
    // `index` is the parameter's place among the accepted parameters of its sensor, in file order.
    ParameterOption(ParameterInfo info, QMap<QString, ParameterValueOption> values, int index);

    const QMap<QString, ParameterValueOption> &values() const { return m_values; }
    int index() const { return m_index; }

    std::optional<ParameterValueOption> findValue(const QString &name) const;
    std::optional<SelectedValue> defaultValue() const;
    std::optional<SelectedValue> fixedValue() const;

private:
    QMap<QString, ParameterValueOption> m_values;
    int m_index = 0;
};

class SensorOption final : public Option<SensorInfo>
{
public:
    SensorOption() = default;
    SensorOption(SensorInfo info, QMap<QString, ParameterOption> options, QVector<DynamicOption> dynamicOptions);

    const QMap<QString, ParameterOption> &options() const { return m_options; }
    const QVector<DynamicOption> &dynamicOptions() const { return m_dynamicOptions; }

    std::optional<ParameterOption> findParameter(const QString &name) const;

private:
    QMap<QString, ParameterOption> m_options;
    QVector<DynamicOption> m_dynamicOptions;
};

class AlgorithmOption final : public Option<AlgorithmInfo>
{
public:
    AlgorithmOption() = default;
    // `prefix` is the resource directory the definition came from.
    AlgorithmOption(AlgorithmInfo info, QString prefix, QMap<QString, SensorOption> sensors);

    const QString &prefix() const { return m_prefix; }
    const QMap<QString, SensorOption> &sensors() const { return m_sensors; }

    std::optional<SensorOption> findSensor(const QString &name) const;
    QString defaultSensorName() const;

private:
    QString m_prefix;
    QMap<QString, SensorOption> m_sensors;
};

} // namespace Vantrel
