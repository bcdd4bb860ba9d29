#include "application.h"
#include "logging.h"
#include "standarddescriptors.h"
#include "terminationsignals.h"

int main(int argc, char **argv)
{
    Vantrel::openClosedStandardDescriptors();
    qInstallMessageHandler(Vantrel::messageHandler);
    Vantrel::Application application(argc, argv);
    Vantrel::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &Vantrel::TerminationSignals::terminationRequested, &application,
                     [&application] { application.finish(0); });
    return application.exec();
}
