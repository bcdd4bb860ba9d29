#include "runinfo.h"

#include "algorithmloader.h"

#include <QDebug>

namespace Vantrel {

RunInfo::RunInfo(const AlgorithmLoader &catalogue, QObject *parent)
    : QObject(parent)
    , m_catalogue(catalogue)
{
    connect(this, &RunInfo::algorithmChanged, this, &RunInfo::algorithmChangedSlot);
    connect(this, &RunInfo::sensorChanged, this, &RunInfo::sensorChangedSlot);
}

bool RunInfo::setAlgorithm(QString algorithmName)
{
    if (algorithmName == m_algorithmInfo.name)
        return true;
    const std::optional<AlgorithmOption> algorithm = m_catalogue.findAlgorithm(algorithmName);
    if (!algorithm) {
        qWarning().noquote() << tr("Unknown algorithm: %1, %2").arg(algorithmName, m_catalogue.supportedAlgorithmsHelp());
        return false;
    }
    m_algorithmInfo = algorithm->info();
    m_prefix = algorithm->prefix();
    Q_EMIT algorithmChanged();
    return true;
}

void RunInfo::algorithmChangedSlot()
{
    setSensor(QString());
    m_timeout = timeoutDefaultValue();
    Q_EMIT timeoutChanged(m_timeout);
    Q_EMIT timeoutStartChanged();
    Q_EMIT timeoutEndChanged();
    Q_EMIT timeoutDefaultValueChanged();
    Q_EMIT timeoutIncrimentChanged();
    Q_EMIT outputFrequencyChanged();
    Q_EMIT outputChanged();
}

bool RunInfo::setSensor(QString sensorName)
{
    if (sensorName == m_sensorInfo.name)
        return true;
    if (sensorName.isEmpty()) {
        m_sensorInfo = SensorInfo();
        Q_EMIT sensorChanged();
        return true;
    }
    if (m_algorithmInfo.name.isEmpty()) {
        qWarning().noquote() << tr("Algorithm must be specified before sensor");
        return false;
    }
    const std::optional<AlgorithmOption> algorithm = m_catalogue.findAlgorithm(m_algorithmInfo.name);
    const std::optional<SensorOption> sensor = algorithm ? algorithm->findSensor(sensorName) : std::nullopt;
    if (!sensor) {
        qWarning().noquote() << tr("Uknown sensor %1").arg(sensorName);
        return false;
    }
    m_sensorInfo = sensor->info();
    Q_EMIT sensorChanged();
    return true;
}

void RunInfo::sensorChangedSlot()
{
    clearOptions();
    const std::optional<SensorOption> sensor = selectedSensorOption();
    if (!sensor)
        return;
    for (const ParameterOption &parameter : sensor->options()) {
        if (m_optionValues.contains(parameter.name()))
            continue;
        if (const std::optional<SelectedValue> fixed = parameter.fixedValue())
            setOptionValue(parameter.name(), fixed->value.name(), fixed->value.info().parb, parameter.index(), false);
    }
}

std::optional<SensorOption> RunInfo::selectedSensorOption() const
{
    if (m_algorithmInfo.name.isEmpty() || m_sensorInfo.name.isEmpty())
        return std::nullopt;
    const std::optional<AlgorithmOption> algorithm = m_catalogue.findAlgorithm(m_algorithmInfo.name);
    if (!algorithm) {
        qWarning().noquote() << tr("Couldn't find algorithm options for %1").arg(m_algorithmInfo.name);
        return std::nullopt;
    }
    std::optional<SensorOption> sensor = algorithm->findSensor(m_sensorInfo.name);
    if (!sensor)
        qWarning().noquote() << tr("Couldn't find sensor options for %1").arg(m_sensorInfo.name);
    return sensor;
}

void RunInfo::setOptionValue(QString option, QString valueName, QString parb, int index, bool visible)
{
    ParameterValueInfo valueInfo;
    valueInfo.parb = parb;
    m_optionValues.insert(option, OptionValue{visible, index, valueInfo, valueName});
}

QString RunInfo::getOptionValue(QString optionName) const
{
    return m_optionValues.value(optionName).valueName;
}

QString RunInfo::getOptionDefaultValue(QString optionName) const
{
    const std::optional<SensorOption> sensor = selectedSensorOption();
    if (!sensor)
        return QString();
    const std::optional<ParameterOption> parameter = sensor->findParameter(optionName);
    if (!parameter)
        return QString();
    const std::optional<SelectedValue> defaultValue = parameter->defaultValue();
    return defaultValue ? defaultValue->value.name() : QString();
}

void RunInfo::clearOptions()
{
    m_optionValues.clear();
}

void RunInfo::applyDefaultValues()
{
    const std::optional<SensorOption> sensor = selectedSensorOption();
    if (!sensor)
        return;
    for (const ParameterOption &parameter : sensor->options()) {
        if (m_optionValues.contains(parameter.name()))
            continue;
        if (const std::optional<SelectedValue> defaultValue = parameter.defaultValue()) {
            setOptionValue(parameter.name(), defaultValue->value.name(), defaultValue->value.info().parb,
                           parameter.index(), defaultValue->visible);
        }
    }
}

bool RunInfo::isValid() const
{
    if (m_prefix.isEmpty())
        return false;
    const std::optional<SensorOption> sensor = selectedSensorOption();
    if (!sensor)
        return false;
    for (const ParameterOption &parameter : sensor->options()) {
        if (!m_optionValues.contains(parameter.name()))
            return false;
    }
    return true;
}

QString RunInfo::output() const
{
    return m_algorithmInfo.output;
}

double RunInfo::outputFrequency() const
{
    const QString fps = getOptionValue(QStringLiteral("FPS"));
    if (!fps.isEmpty()) {
        bool ok = false;
        const float value = fps.toFloat(&ok);
        if (ok)
            return static_cast<double>(value);
    }
    return m_algorithmInfo.outputFrequency;
}

double RunInfo::timeoutStart() const
{
    return m_algorithmInfo.timeoutRangeSeconds.start;
}

double RunInfo::timeoutEnd() const
{
    return m_algorithmInfo.timeoutRangeSeconds.end;
}

double RunInfo::timeoutDefaultValue() const
{
    return m_algorithmInfo.timeoutRangeSeconds.defaultValue;
}

double RunInfo::timeoutIncriment() const
{
    return m_algorithmInfo.timeoutRangeSeconds.increments;
}

QString RunInfo::algorithm() const
{
    return m_algorithmInfo.name;
}

QString RunInfo::sensor() const
{
    return m_sensorInfo.name;
}

void RunInfo::setTimeout(double timeout)
{
    if (timeout == m_timeout)
        return;
    m_timeout = timeout;
    Q_EMIT timeoutChanged(m_timeout);
}

double RunInfo::timeout() const
{
    return m_timeout;
}

QString RunInfo::prefix() const
{
    return m_prefix;
}

QVector<QPointF> RunInfo::detectionZonePoints() const
{
    return m_detectionZonePoints;
}

void RunInfo::setDetectionZonePoints(QVector<QPointF> detectionZonePoints)
{
    // QPointF's equality is Qt's fuzzy comparison per coordinate.
    if (detectionZonePoints == m_detectionZonePoints)
        return;
    m_detectionZonePoints = detectionZonePoints;
    Q_EMIT detectionZonePointsChanged();
}

QVector<qreal> RunInfo::detectionZoneIndexes() const
{
    return m_detectionZoneIndexes;
}

void RunInfo::setDetectionZoneIndexes(QVector<qreal> detectionZoneIndexes)
{
    if (detectionZoneIndexes == m_detectionZoneIndexes)
        return;
    m_detectionZoneIndexes = detectionZoneIndexes;
    Q_EMIT detectionZoneIndexesChanged();
}

void RunInfo::clearDynamicOptions()
{
    m_dynamicOptions.clear();
}

void RunInfo::addDynamicOption(QString dynamicOption)
{
    m_dynamicOptions.append(dynamicOption);
}

QString RunInfo::resourcePath(const QString &fileName) const
{
    return QStringLiteral(":/%1/%2").arg(m_prefix, fileName);
}

QString RunInfo::flowFilePath() const
{
    return resourcePath(m_sensorInfo.flow.isEmpty() ? m_algorithmInfo.flow : m_sensorInfo.flow);
}

QStringList RunInfo::parbFilePaths() const
{
    const int count = m_optionValues.size();
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(QString());
    for (const OptionValue &value : m_optionValues) {
        if (value.index < 0 || value.index >= count) {
            qWarning().noquote() << tr("Inconsistent algorithm model");
            return QStringList();
        }
        paths[value.index] = resourcePath(value.valueInfo.parb);
    }
    return paths;
}

} // namespace Vantrel
