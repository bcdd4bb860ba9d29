#pragma once

#include <QObject>

class QSocketNotifier;

namespace Vantrel {

// Carries SIGHUP, SIGINT and SIGTERM out of signal context into the event loop. The first one
// is announced once through terminationRequested(); any later one ends the process at once with
// status 2, for a program that does not react, with no clean-up but ImmediateExit's.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);

    // Whether a termination signal has come, for a wait on the main thread that must not outlast it.
    static bool requested();

Q_SIGNALS:
    void terminationRequested();

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Vantrel
