#include "process/terminationsignals.h"

#include "process/exitstatus.h"
#include "process/immediateexit.h"
#include "process/systemerror.h"

#include <QDebug>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Vantrel {

namespace {

int signalPipe[2] = {-1, -1};
std::atomic<int> deliveries{0};

void onTerminationSignal(int)
{
    if (deliveries.fetch_add(1) > 0) {
        ImmediateExit::removeFileNow();
        _exit(code(ExitStatus::SecondSignal));
    }
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

// The handlers and the pipe stay for the life of the process: a signal that arrives while the
// program is being torn down must still find them.
TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        qWarning().noquote() << tr("Can't install termination handlers: %1").arg(systemErrorText(errno));
        return;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGHUP, SIGINT, SIGTERM})
        ::sigaction(signalNumber, &action, nullptr);
}

bool TerminationSignals::requested()
{
    return deliveries.load() > 0;
}

void TerminationSignals::readSignal()
{
    char byte = 0;
    if (::read(signalPipe[0], &byte, 1) != 1)
        return;
    // Only the first delivery reaches the pipe; nothing more will come.
    m_notifier->setEnabled(false);
    Q_EMIT terminationRequested();
}

} // namespace Vantrel
