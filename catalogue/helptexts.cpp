#include "catalogue/helptexts.h"

#include <QCoreApplication>

namespace Vantrel {

QString quoteIfSpaced(const QString &text)
{
    if (text.contains(QLatin1Char(' ')))
        return QStringLiteral("\"%1\"").arg(text);
    return text;
}

QString sensorsHelp(const AlgorithmOption &algorithm)
{
    QString text = QCoreApplication::translate("AlgorithmOption", "Supported sensors for %1:")
                       .arg(quoteIfSpaced(algorithm.name()));
    for (const SensorOption &sensor : algorithm.sensors()) {
        const QString quoted = quoteIfSpaced(sensor.name());
        text += QLatin1Char(' ');
        // A lone sensor is the default whether or not it is marked.
        if (sensor.info().isDefault || algorithm.sensors().size() == 1)
            text += QCoreApplication::translate("AlgorithmOption", "%1 (default)").arg(quoted);
        else
            text += quoted;
    }
    return text;
}

QString parametersHelp(const SensorOption &sensor)
{
    QString text =
        QCoreApplication::translate("SensorOption", "Supported parameters for %1:").arg(quoteIfSpaced(sensor.name()));
    for (const ParameterOption &parameter : sensor.options()) {
        const auto value = parameter.defaultValue();
        if (value && !value->visible)
            continue; // fixed: nothing to choose
        const QString quoted = quoteIfSpaced(parameter.name());
        if (value)
            text += QCoreApplication::translate("SensorOption", " [%1 <value>]").arg(quoted);
        else
            text += QCoreApplication::translate("SensorOption", " %1 <value>").arg(quoted);
    }
    return text;
}

QString valuesHelp(const ParameterOption &parameter)
{
    QString text =
        QCoreApplication::translate("ParameterOption", "Supported values for %1:").arg(quoteIfSpaced(parameter.name()));
    for (const ParameterValueOption &value : parameter.values()) {
        const QString quoted = quoteIfSpaced(value.name());
        text += QLatin1Char(' ');
        if (value.info().isDefault)
            text += QCoreApplication::translate("ParameterOption", "%1 (default)").arg(quoted);
        else
            text += quoted;
    }
    return text;
}

QStringList optionCombinations(const SensorOption &sensor)
{
    QVector<QStringList> lists;
    for (const ParameterOption &parameter : sensor.options()) {
        if (parameter.values().size() == 1)
            continue;
        if (parameter.values().isEmpty())
            return {}; // a parameter without values can never be given
        QStringList entries;
        for (const ParameterValueOption &value : parameter.values())
            entries.append(QStringLiteral(" %1 %2").arg(quoteIfSpaced(parameter.name()), quoteIfSpaced(value.name())));
        lists.append(entries);
    }
    if (lists.isEmpty())
        return {};

    // Odometer over the lists, the first list turning fastest; each line names the last list first.
    QStringList combinations;
    QVector<int> positions(lists.size(), 0);
    for (;;) {
        QString line;
        for (int k = lists.size() - 1; k >= 0; --k)
            line += QLatin1Char(' ') + lists[k][positions[k]];
        combinations.append(line);

        int k = 0;
        while (k < lists.size() && ++positions[k] == lists[k].size()) {
            positions[k] = 0;
            ++k;
        }
        if (k == lists.size())
            return combinations;
    }
}

QStringList optionLines(const QMap<QString, AlgorithmOption> &algorithms)
{
    QStringList lines;
    for (const AlgorithmOption &algorithm : algorithms) {
        const QString algorithmName = quoteIfSpaced(algorithm.name());
        for (const SensorOption &sensor : algorithm.sensors()) {
            const QString sensorName = quoteIfSpaced(sensor.name());
            const QStringList combinations = optionCombinations(sensor);
            for (const QString &combination : combinations)
                lines.append(QStringLiteral("%1 %2 %3").arg(algorithmName, sensorName, combination));
        }
    }
    return lines;
}

} // namespace Vantrel
