#include "runinfo/runinfo.h"

#include "catalogue/algorithmloader.h"

#include <QDebug>

#include <algorithm>

namespace Vantrel {

namespace {

// Stores the value and answers whether it differs from the one before: setters emit only on change.
template <typename T>
bool changed(T &member, const T &value)
{
    if (member == value)
        return false;
    member = value;
    return true;
}

} // namespace

RunInfo::RunInfo(const AlgorithmLoader &loader, QObject *parent)
    : QObject(parent)
    , m_loader(loader)
{
    connect(this, &RunInfo::algorithmChanged, this, &RunInfo::algorithmChangedSlot);
    connect(this, &RunInfo::sensorChanged, this, &RunInfo::sensorChangedSlot);
}

bool RunInfo::isValid() const
{
    if (m_prefix.isEmpty())
        return false;
    const auto sensor = selectedSensorOption();
    if (!sensor)
        return false;
    const auto &parameters = sensor->options();
    return std::all_of(parameters.keyBegin(), parameters.keyEnd(),
                       [this](const QString &name) { return m_optionValues.contains(name); });
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
        const float frequency = fps.toFloat(&ok);
        if (ok)
            return double(frequency);
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

bool RunInfo::setAlgorithm(const QString &algorithmName)
{
    if (algorithmName == m_algorithmInfo.name)
        return true;
    const auto algorithm = m_loader.findAlgorithm(algorithmName);
    if (!algorithm) {
        qWarning().noquote() << tr("Unknown algorithm: %1, %2").arg(algorithmName, m_loader.supportedAlgorithmsHelp());
        return false;
    }
    m_algorithmInfo = algorithm->info();
    m_prefix = algorithm->prefix();
    Q_EMIT algorithmChanged();
    return true;
}

QString RunInfo::algorithm() const
{
    return m_algorithmInfo.name;
}

bool RunInfo::setSensor(const QString &sensorName)
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
    const auto algorithm = m_loader.findAlgorithm(m_algorithmInfo.name);
    const auto sensor = algorithm ? algorithm->findSensor(sensorName) : std::nullopt;
    if (!sensor) {
        qWarning().noquote() << tr("Uknown sensor %1").arg(sensorName);
        return false;
    }
    m_sensorInfo = sensor->info();
    Q_EMIT sensorChanged();
    return true;
}

QString RunInfo::sensor() const
{
    return m_sensorInfo.name;
}

void RunInfo::setTimeout(double timeout)
{
    if (changed(m_timeout, timeout))
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

void RunInfo::setDetectionZonePoints(const QVector<QPointF> &detectionZonePoints)
{
    // QPointF compares fuzzily, so points that differ only by rounding are the same zone.
    if (changed(m_detectionZonePoints, detectionZonePoints))
        Q_EMIT detectionZonePointsChanged();
}

QVector<qreal> RunInfo::detectionZoneIndexes() const
{
    return m_detectionZoneIndexes;
}

void RunInfo::setDetectionZoneIndexes(const QVector<qreal> &detectionZoneIndexes)
{
    if (changed(m_detectionZoneIndexes, detectionZoneIndexes))
        Q_EMIT detectionZoneIndexesChanged();
}

void RunInfo::algorithmChangedSlot()
{
    setSensor(QString());
    m_timeout = m_algorithmInfo.timeoutRangeSeconds.defaultValue;
    Q_EMIT timeoutChanged(m_timeout);
    Q_EMIT timeoutStartChanged();
    Q_EMIT timeoutEndChanged();
    Q_EMIT timeoutDefaultValueChanged();
    Q_EMIT timeoutIncrimentChanged();
    Q_EMIT outputFrequencyChanged();
    Q_EMIT outputChanged();
}

void RunInfo::sensorChangedSlot()
{
    clearOptions();
    fillMissingValues(&ParameterOption::fixedValue);
}

void RunInfo::applyDefaultValues()
{
    fillMissingValues(&ParameterOption::defaultValue);
}

void RunInfo::setOptionValue(const QString &option, const QString &valueName, const QString &parb, int index,
                             bool visible)
{
    OptionValue value;
    value.visible = visible;
    value.index = index;
    value.parb = parb;
    value.valueName = valueName;
    m_optionValues.insert(option, value);
}

QString RunInfo::getOptionValue(const QString &optionName) const
{
    return m_optionValues.value(optionName).valueName;
}

QString RunInfo::getOptionDefaultValue(const QString &optionName) const
{
    const auto sensor = selectedSensorOption();
    if (!sensor)
        return QString();
    const auto parameter = sensor->findParameter(optionName);
    if (!parameter)
        return QString();
    const auto value = parameter->defaultValue();
    return value ? value->value.name() : QString();
}

void RunInfo::clearOptions()
{
    m_optionValues.clear();
}

void RunInfo::clearDynamicOptions()
{
    m_dynamicOptions.clear();
}

void RunInfo::addDynamicOption(const QString &dynamicOption)
{
    m_dynamicOptions.append(dynamicOption);
}

QString RunInfo::flowFilePath() const
{
    const QString &flow = m_sensorInfo.flow.isEmpty() ? m_algorithmInfo.flow : m_sensorInfo.flow;
    return QStringLiteral(":/%1/%2").arg(m_prefix, flow);
}

QStringList RunInfo::parbFilePaths() const
{
    const int count = m_optionValues.size();
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i)
        paths.append(QString());
    for (const OptionValue &value : m_optionValues) {
        if (value.index < 0 || value.index >= count) {
            qWarning().noquote() << tr("Inconsistent algorithm model");
            return {};
        }
        paths[value.index] = QStringLiteral(":/%1/%2").arg(m_prefix, value.parb);
    }
    return paths;
}

std::optional<SensorOption> RunInfo::selectedSensorOption() const
{
    if (m_algorithmInfo.name.isEmpty() || m_sensorInfo.name.isEmpty())
        return std::nullopt;
    const auto algorithm = m_loader.findAlgorithm(m_algorithmInfo.name);
    if (!algorithm) {
        qWarning().noquote() << tr("Couldn't find algorithm options for %1").arg(m_algorithmInfo.name);
        return std::nullopt;
    }
    const auto sensor = algorithm->findSensor(m_sensorInfo.name);
    if (!sensor)
        qWarning().noquote() << tr("Couldn't find sensor options for %1").arg(m_sensorInfo.name);
    return sensor;
}

void RunInfo::fillMissingValues(std::optional<SelectedValue> (ParameterOption::*choose)() const)
{
    const auto sensor = selectedSensorOption();
    if (!sensor)
        return;
    for (const ParameterOption &parameter : sensor->options()) {
        if (m_optionValues.contains(parameter.name()))
            continue;
        if (const auto value = (parameter.*choose)())
            setOptionValue(parameter.name(), value->value.name(), value->value.info().parb, parameter.index(),
                           value->visible);
    }
}

} // namespace Vantrel
