// The run's choices, saved as JSON for the reader of the raw frame stream.
#include "runinfo/savedoptions.h"

#include "app/application.h"
#include "process/filereplacement.h"

#include <QDebug>

namespace Vantrel {

void Application::writeParametersToJson()
{
    qInfo().noquote() << tr("Writing parameters to %1").arg(m_optionsPath);
    FileReplacement file(m_optionsPath);
    if (!file.open()) {
        qWarning().noquote() << tr("Couldn't open file %1 to save parameters").arg(m_optionsPath);
        return;
    }
    if (!file.write(SavedRunOptions::of(m_runInfo).toJson()) || !file.commit())
        qWarning().noquote() << tr("Couldn't write parameters to file %1").arg(m_optionsPath);
}

} // namespace Vantrel
