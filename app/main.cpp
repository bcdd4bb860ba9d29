#include "app/application.h"
#include "app/logging.h"
#include "process/exitstatus.h"
#include "process/standarddescriptors.h"
#include "process/terminationsignals.h"

int main(int argc, char **argv)
{
    Vantrel::openClosedStandardDescriptors();
    qInstallMessageHandler(Vantrel::messageHandler);
    Vantrel::Application application(argc, argv);
    Vantrel::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &Vantrel::TerminationSignals::terminationRequested, &application,
                     [&application] { application.finish(Vantrel::code(Vantrel::ExitStatus::Success)); });
    return application.exec();
}
