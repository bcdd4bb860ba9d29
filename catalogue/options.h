// The in-memory form of an algorithm definition: algorithm -> sensors -> parameters -> values.
// Every node is a value type built straight from its JSON object; maps are keyed by name, so
// everything that walks them follows name order.
#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace Vantrel {

struct ParameterValueInfo
{
    QString name;
    QString description;
    QString parb;
    bool isDefault = false;
};

struct OptionInfo
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

    bool isValid() const;
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

// Common base of the model nodes. Nodes live by value in maps and are never deleted through
// a base pointer, hence the protected, non-virtual destructor.
template<typename Info>
class Option
{
public:
    Option() = default;
    explicit Option(const QJsonObject &object);

    virtual bool isValid() const = 0;

    const Info &info() const { return m_info; }
    QString name() const { return m_info.name; }
    QString description() const { return m_info.description; }

protected:
    Option(const Option &) = default;
    Option &operator=(const Option &) = default;
    ~Option() = default;

    Info m_info;
};

class ParameterValueOption final : public Option<ParameterValueInfo>
{
public:
    ParameterValueOption() = default;
    explicit ParameterValueOption(const QJsonObject &object);
    ParameterValueOption(const ParameterValueOption &) = default;
    ParameterValueOption &operator=(const ParameterValueOption &) = default;

    bool isValid() const override;
};

// A value picked for a parameter; `visible` is false for the only value of a parameter,
// which is fixed and not offered to the user.
struct SelectedValue
{
    ParameterValueOption value;
    bool visible = true;
};

class ParameterOption final : public Option<OptionInfo>
{
public:
    ParameterOption() = default;
    explicit ParameterOption(const QJsonObject &object);
    ParameterOption(const ParameterOption &) = default;
    ParameterOption &operator=(const ParameterOption &) = default;

    bool isValid() const override;

    const QMap<QString, ParameterValueOption> &values() const { return m_values; }
    int index() const { return m_index; }
    const QStringList &platforms() const { return m_platforms; }

    std::optional<ParameterValueOption> findValue(const QString &name) const;
    std::optional<SelectedValue> defaultValue() const;
    std::optional<SelectedValue> fixedValue() const;

    QString valuesHelp() const;

private:
    friend class SensorOption; // assigns m_index while reading its parameters

    QMap<QString, ParameterValueOption> m_values;
    int m_index = 0;
    QStringList m_platforms;
};

class SensorOption final : public Option<SensorInfo>
{
public:
    SensorOption() = default;
    explicit SensorOption(const QJsonObject &object);
    SensorOption(const SensorOption &) = default;
    SensorOption &operator=(const SensorOption &) = default;

    bool isValid() const override;

    const QMap<QString, ParameterOption> &options() const { return m_options; }
    const QVector<DynamicOption> &dynamicOptions() const { return m_dynamicOptions; }

    std::optional<ParameterOption> findParameter(const QString &name) const;
    int selectableParameterCount() const;

    QString parametersHelp() const;
    QStringList optionCombinations() const;

private:
    QMap<QString, ParameterOption> m_options;
    QVector<DynamicOption> m_dynamicOptions;
};

class AlgorithmOption final : public Option<AlgorithmInfo>
{
public:
    AlgorithmOption() = default;
    AlgorithmOption(const QString &prefix, const QJsonObject &object);
    AlgorithmOption(const AlgorithmOption &) = default;
    AlgorithmOption &operator=(const AlgorithmOption &) = default;

    bool isValid() const override;

    const QString &prefix() const { return m_prefix; }
    const QMap<QString, SensorOption> &sensors() const { return m_sensors; }

    std::optional<SensorOption> findSensor(const QString &name) const;
    QString defaultSensorName() const;

    QString sensorsHelp() const;

private:
    QString m_baseName; // the name as read; the catalogue name replaces it in the record
    QString m_prefix;
    QMap<QString, SensorOption> m_sensors;
};

// The catalogue name: the base name plus the version's major.minor, or the whole version
// when it is not of the form a.b.c.
QString catalogueName(const QString &baseName, const QString &algorithmVersion);

} // namespace Vantrel
