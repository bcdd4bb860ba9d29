// The run's choices, saved as JSON for the reader of the raw frame stream.
#include "application.h"
#include "filereplacement.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

namespace Vantrel {

void Application::writeParametersToJson()
{
    const AlgorithmInfo &algorithm = m_runInfo.algorithmInfo();
    QJsonObject options;
    options.insert(QStringLiteral("algorithm"), algorithm.name);
    options.insert(QStringLiteral("timeout"), m_runInfo.timeout());
    options.insert(QStringLiteral("graphCommitHash"), algorithm.graphCommitHash);
    options.insert(QStringLiteral("graphBuildID"), algorithm.graphBuildID);
    const auto &optionValues = m_runInfo.optionValues();
    for (auto it = optionValues.cbegin(); it != optionValues.cend(); ++it)
        options.insert(it.key(), it->parb);

    qInfo().noquote() << tr("Writing parameters to %1").arg(m_optionsPath);
    FileReplacement file(m_optionsPath);
    if (!file.open()) {
        qWarning().noquote() << tr("Couldn't open file %1 to save parameters").arg(m_optionsPath);
        return;
    }
    if (!file.write(QJsonDocument(options).toJson()) || !file.commit())
        qWarning().noquote() << tr("Couldn't write parameters to file %1").arg(m_optionsPath);
}

} // namespace Vantrel
