#include "catalogue/definitionreader.h"

#include "catalogue/jsonread.h"

#include <QDebug>
#include <QRegExp>
#include <QSysInfo>

#include <initializer_list>
#include <utility>

namespace Vantrel {

using JsonRead::read;
using JsonRead::readObjects;

namespace {

// Every level's record starts with these two keys.
template <typename Info>
Info readNamed(const QJsonObject &object)
{
    Info info;
    read(object, QStringLiteral("name"), info.name);
    read(object, QStringLiteral("description"), info.description);
    return info;
}

bool isValidRange(const TimeoutRange &range)
{
    return !(range.start > range.end || range.start > range.defaultValue || range.end < range.defaultValue
             || range.increments > (range.end - range.start) / 2
             || (range.start > 0 && range.end > 0 && range.increments < 1));
}

// The base name plus the version's major.minor, or the whole version when it is not of the form a.b.c.
QString catalogueName(const QString &baseName, const QString &algorithmVersion)
{
    // The dots are deliberately unescaped: "1-2-3" is accepted as a version like "1.2.3".
    QRegExp version(QStringLiteral("^(\\d+).(\\d+).(\\d+)$"));
    if (version.indexIn(algorithmVersion) != -1)
        return QStringLiteral("%1 %2.%3").arg(baseName, version.cap(1), version.cap(2));
    return QStringLiteral("%1 %2").arg(baseName, algorithmVersion);
}

// True when no check fails; otherwise logs the warning of the first that does. Each check is
// a failure condition with its warning, in the order the checks are made.
bool passes(std::initializer_list<std::pair<bool, QString>> checks)
{
    for (const auto &[failed, warning] : checks) {
        if (failed) {
            qWarning().noquote() << warning;
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<AlgorithmOption> DefinitionReader::readAlgorithm(const QString &prefix, const QJsonObject &object)
{
    auto info = readNamed<AlgorithmInfo>(object);
    read(object, QStringLiteral("output"), info.output);
    read(object, QStringLiteral("flow"), info.flow);
    read(object, QStringLiteral("graphCommitHash"), info.graphCommitHash);
    read(object, QStringLiteral("graphBuildID"), info.graphBuildID);
    read(object, QStringLiteral("minimumSupportedWeaveGraphVersion"), info.minimumSupportedWeaveGraphVersion);
    read(object, QStringLiteral("maximumSupportedWeaveGraphVersion"), info.maximumSupportedWeaveGraphVersion);
    read(object, QStringLiteral("algorithmVersion"), info.algorithmVersion);
    read(object, QStringLiteral("jsonFormatVersion"), info.jsonFormatVersion);
    read(object, QStringLiteral("outputFrequency"), info.outputFrequency);
    QJsonObject timeoutObject;
    if (read(object, QStringLiteral("timeoutRangeSeconds"), timeoutObject))
        readTimeoutRange(timeoutObject, info.timeoutRangeSeconds);

    QMap<QString, SensorOption> sensors;
    const QVector<QJsonObject> elements = readObjects(object, QStringLiteral("sensors"));
    for (const QJsonObject &element : elements) {
        if (const auto sensor = readSensor(element))
            sensors.insert(sensor->name(), *sensor); // a later sensor of the same name wins
    }

    // The name is checked as read; the version is appended only to an accepted one.
    if (!passes({{info.name.isEmpty(), tr("Ignoring Product with empty name")},
                 {info.description.isEmpty(), tr("Ignoring Product with empty description")},
                 {sensors.isEmpty(), tr("Ignoring Product with empty sensor list")}}))
        return std::nullopt;
    info.name = catalogueName(info.name, info.algorithmVersion);
    return AlgorithmOption(info, prefix, sensors);
}

void DefinitionReader::readTimeoutRange(const QJsonObject &object, TimeoutRange &range)
{
    read(object, QStringLiteral("start"), range.start);
    read(object, QStringLiteral("end"), range.end);
    read(object, QStringLiteral("default"), range.defaultValue);
    read(object, QStringLiteral("increments"), range.increments);
    // Reported only: the numbers are kept as read and the algorithm stays usable.
    if (!isValidRange(range)) {
        const auto number = [](double value) { return QString::number(value, 'g', 6); };
        qWarning().noquote() << tr("Timeout range is invalid: start %1, end %2, default %3, incriment: %4")
                                    .arg(number(range.start), number(range.end), number(range.defaultValue),
                                         number(range.increments));
    }
}

std::optional<SensorOption> DefinitionReader::readSensor(const QJsonObject &object)
{
    auto info = readNamed<SensorInfo>(object);
    read(object, QStringLiteral("default"), info.isDefault);
    QMap<QString, ParameterOption> parameters;
    const QVector<QJsonObject> elements = readObjects(object, QStringLiteral("options"));
    for (const QJsonObject &element : elements) {
        // File order survives only in the index: the runtime applies the parameter files in this order.
        const auto parameter = readParameter(element, parameters.size());
        if (!parameter)
            continue;
        if (parameters.contains(parameter->name()))
            qWarning().noquote() << tr("Ignore duplicated parameter: ") << parameter->name();
        else
            parameters.insert(parameter->name(), *parameter);
    }
    read(object, QStringLiteral("flow"), info.flow);
    // Kept as read, without checks: nothing here depends on them.
    QVector<DynamicOption> dynamicOptions;
    const QVector<QJsonObject> dynamicElements = readObjects(object, QStringLiteral("dynamicOptions"));
    for (const QJsonObject &element : dynamicElements) {
        DynamicOption option;
        read(element, QStringLiteral("qmlName"), option.qmlName);
        read(element, QStringLiteral("sectionNames"), option.sectionNames);
        dynamicOptions.append(option);
    }

    if (!passes({{info.name.isEmpty(), tr("Ignoring sensor with empty name")},
                 {info.description.isEmpty(), tr("Ignoring sensor with empty description")}}))
        return std::nullopt;
    return SensorOption(info, parameters, dynamicOptions);
}

std::optional<ParameterOption> DefinitionReader::readParameter(const QJsonObject &object, int index)
{
    const auto info = readNamed<ParameterInfo>(object);
    QStringList platforms;
    read(object, QStringLiteral("platforms"), platforms);
    QMap<QString, ParameterValueOption> values;
    const QVector<QJsonObject> elements = readObjects(object, QStringLiteral("values"));
    for (const QJsonObject &element : elements) {
        const auto value = readValue(element);
        if (!value)
            qWarning().noquote() << tr("Invalid option, name and parb must be provided");
        else if (values.contains(value->name()))
            qWarning().noquote() << tr("Ignore duplicated option: ") << value->name();
        else
            values.insert(value->name(), *value);
    }

    // The count is of accepted values, duplicates dropped.
    if (!passes({{info.name.isEmpty(), tr("Ignoring parameter with empty name")},
                 {info.description.isEmpty() && values.size() > 1,
                  tr("Ignoring parameter with description and more than 1 value")}}))
        return std::nullopt;
    const QString platform = QSysInfo::productType();
    if (!platforms.isEmpty() && !platforms.contains(platform)) {
        qDebug().noquote() << tr("Ignoring parameter which is not supported on current platform.\n"
                                 "Supported platforms: %1\nCurrent platform: %2")
                                  .arg(platforms.join(QLatin1Char(' ')), platform);
        return std::nullopt;
    }
    return ParameterOption(info, values, index);
}

std::optional<ParameterValueOption> DefinitionReader::readValue(const QJsonObject &object)
{
    auto info = readNamed<ParameterValueInfo>(object);
    read(object, QStringLiteral("parb"), info.parb);
    read(object, QStringLiteral("default"), info.isDefault);
    if (!passes({{info.name.isEmpty(), tr("Ignoring option with empty name")},
                 {info.parb.isEmpty(), tr("Ignoring option with empty parb")}}))
        return std::nullopt;
    return ParameterValueOption(info);
}

} // namespace Vantrel
