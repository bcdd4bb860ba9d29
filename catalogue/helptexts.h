// Texts that tell the user what the catalogue offers. Names are quoted when they hold a blank,
// so that they can be pasted onto a command line.
#pragma once

#include "catalogue/options.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace Vantrel {

QString quoteIfSpaced(const QString &text);

// "Supported sensors for <algorithm>:" and the sensors, the default one marked.
QString sensorsHelp(const AlgorithmOption &algorithm);
// "Supported parameters for <sensor>:" and the parameters to choose, bracketed where a default exists.
QString parametersHelp(const SensorOption &sensor);
// "Supported values for <parameter>:" and the values, the marked ones marked.
QString valuesHelp(const ParameterOption &parameter);

// One string per combination of values of the sensor's selectable parameters.
QStringList optionCombinations(const SensorOption &sensor);
// Every complete selection of the catalogue, one line each: algorithm, sensor and one value
// for each selectable parameter.
QStringList optionLines(const QMap<QString, AlgorithmOption> &algorithms);

} // namespace Vantrel
