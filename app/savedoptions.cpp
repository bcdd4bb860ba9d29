// The run's choices, saved as JSON for the reader of the raw frame stream.
#include "stream/savedoptions.h"

#include "app/application.h"
#include "process/filereplacement.h"
#include "runinfo/runinfo.h"

#include <QDebug>

namespace Vantrel {

namespace {

SavedRunOptions savedOptionsOf(const RunInfo &runInfo)
{
    const AlgorithmInfo &algorithm = runInfo.algorithmInfo();
    SavedRunOptions options;
    options.algorithm = algorithm.name;
    options.timeout = runInfo.timeout();
    options.graphCommitHash = algorithm.graphCommitHash;
    options.graphBuildID = algorithm.graphBuildID;
    const auto &optionValues = runInfo.optionValues();
    for (auto it = optionValues.cbegin(); it != optionValues.cend(); ++it)
        options.parameters.insert(it.key(), it->parb);
    return options;
}

} // namespace

void Application::writeParametersToJson()
{
    qInfo().noquote() << tr("Writing parameters to %1").arg(m_optionsPath);
    FileReplacement file(m_optionsPath);
    if (!file.open()) {
        qWarning().noquote() << tr("Couldn't open file %1 to save parameters").arg(m_optionsPath);
        return;
    }
    if (!file.write(savedOptionsOf(m_runInfo).toJson()) || !file.commit())
        qWarning().noquote() << tr("Couldn't write parameters to file %1").arg(m_optionsPath);
}

} // namespace Vantrel
