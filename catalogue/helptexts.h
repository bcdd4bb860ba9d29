// Texts that tell the user what the catalogue offers. Names are quoted when they hold a blank,
// so that they can be pasted onto a command line.
#pragma once

#include "options.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace Vantrel {

QString quoteIfSpaced(const QString &text);

// Every complete selection of the catalogue, one line each: algorithm, sensor and one value
// for each selectable parameter.
QStringList optionLines(const QMap<QString, AlgorithmOption> &algorithms);

} // namespace Vantrel
