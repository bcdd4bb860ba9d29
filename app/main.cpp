#include "application.h"
#include "logging.h"
#include "terminationsignals.h"

#include <cerrno>
#include <fcntl.h>

namespace {

// A supervisor may start us with a standard descriptor closed; the next descriptor opened would
// take its number and our output would land in it. Fill each closed one with /dev/null, as
// daemon(3) does; open takes the lowest free number, and the lower ones are open by then.
void openClosedStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDWR);
    }
}

} // namespace

int main(int argc, char **argv)
{
    openClosedStandardDescriptors();
    qInstallMessageHandler(Vantrel::messageHandler);
    Vantrel::Application application(argc, argv);
    Vantrel::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &Vantrel::TerminationSignals::terminationRequested, &application,
                     [&application] { application.finish(0); });
    return application.exec();
}
