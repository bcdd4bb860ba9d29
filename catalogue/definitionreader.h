// Reads an algorithm definition ("algorithm.json") into the option model, checking it on the way
// so that each warning is logged once and in reading order: an item is read whole, children first,
// then checked, and an item that fails is dropped with the warning of its first failed check.
#pragma once

#include "catalogue/options.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <optional>

namespace Vantrel {

class DefinitionReader
{
    Q_DECLARE_TR_FUNCTIONS(DefinitionReader)

public:
    // The algorithm under its catalogue name, or nothing when the definition is refused.
    static std::optional<AlgorithmOption> readAlgorithm(const QString &prefix, const QJsonObject &object);

private:
    static void readTimeoutRange(const QJsonObject &object, TimeoutRange &range);
    static std::optional<SensorOption> readSensor(const QJsonObject &object);
    // `index` is what the parameter becomes if accepted: the count of parameters accepted before it.
    static std::optional<ParameterOption> readParameter(const QJsonObject &object, int index);
    static std::optional<ParameterValueOption> readValue(const QJsonObject &object);
};

} // namespace Vantrel
