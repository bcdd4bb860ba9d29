// The program's lifecycle without its command line: idle in the stopped state, or, with the
// argument "starting", held in the starting state as if a runner had started and never reported.
#include "app/application.h"
#include "app/logging.h"
#include "process/terminationsignals.h"

#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    const bool holdStarting = argc > 1 && std::strcmp(argv[1], "starting") == 0;
    qInstallMessageHandler(Vantrel::messageHandler);
    Vantrel::Application application(argc, argv, false);
    Vantrel::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &Vantrel::TerminationSignals::terminationRequested, &application,
                     [&application] { application.finish(0); });
    QTimer::singleShot(0, &application, [&application, holdStarting] {
        if (holdStarting)
            Q_EMIT application.starting();
        std::printf("ready\n");
        std::fflush(stdout);
    });
    return application.exec();
}
