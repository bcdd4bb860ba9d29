#include "app/application.h"

#include "process/exitstatus.h"

#include "app/logging.h"
#include "app/standardoutput.h"

#include <QAbstractEventDispatcher>
#include <QMetaMethod>
#include <QThread>

#include <cstdio>

namespace Vantrel {

Application::Application(int &argc, char **argv, bool processCommandLine)
    : QCoreApplication(argc, argv)
    , m_runInfo(m_loader, this)
    , m_commandLine(arguments())
{
    setApplicationName(QStringLiteral("vantrel-cli"));
    setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    setOrganizationName(QStringLiteral("Vantrel"));

    setupStateMachine();

    std::setbuf(stdout, nullptr);
    std::setbuf(stderr, nullptr);
    StandardOutput::instance().gatherOnThisThread(true);
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [] { StandardOutput::instance().release(); });

    connect(this, &Application::showError, this, &Application::writeLogMessage);
    // A record's journal priority belongs to the thread that logged it; it goes along to the main thread,
    // where the record is printed, in the order in which the records reach that thread.
    connect(
        this, &Application::writeLogMessage, this,
        [this](const QString &message) {
            if (QThread::currentThread() == thread()) {
                writeLog(message);
                return;
            }
            const int priority = currentJournalPriority();
            // A record from the runner's worker keeps its place among the frames handed over around it.
            m_runner.sealFrames();
            QMetaObject::invokeMethod(
                this,
                [this, message, priority] {
                    const JournalPriorityScope scope(priority);
                    writeLog(message);
                },
                Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    connect(&m_stoppedState, &QState::entered, this, &Application::closeNamedPipe);

    m_presenceTimer.setSingleShot(true);
    connect(&m_runInfo, &RunInfo::timeoutChanged, this, [this](double timeout) { m_hold.setHoldSeconds(timeout); });
    connect(this, &Application::stopWeaveGraph, this, &Application::stop);
    connect(&m_startingState, &QState::entered, this, &Application::openNamedPipe);
    connect(&m_loader, &AlgorithmLoader::resourceRegistered, this, &Application::setLoadAlgorithms);
    connect(this, &Application::closeNamedPipe, &m_namedPipe, &NamedPipe::close);
    connect(&m_runner, &WeaveGraphRunner::finished, this, &Application::weaveGraphStopped);
    connect(&m_runner, &WeaveGraphRunner::error, this, &Application::showError);
    m_runner.setSelectionProvider([this] { return flowSelection(); });
    if (m_serviceNotifier.enabled())
        connect(this, &Application::newRawData, this, [this] { m_serviceNotifier.frameArrived(); });
    followRawDataReceivers(QMetaMethod());

    if (processCommandLine)
        QTimer::singleShot(0, this, &Application::init);
}

namespace {

// How long the program waits for the runner, and for standard output, once it has been asked to end.
constexpr int FinishTimeoutMs = 2000;

} // namespace

Application::~Application()
{
    StandardOutput::instance().gatherOnThisThread(false);
    // A reader that has stopped reading costs the lines it has not taken, not the program's end.
    StandardOutput::instance().flush(m_finishDeadline.isForever() ? -1 : int(m_finishDeadline.remainingTime()));
}

void Application::connectNotify(const QMetaMethod &signal)
{
    followRawDataReceivers(signal);
}

void Application::disconnectNotify(const QMetaMethod &signal)
{
    followRawDataReceivers(signal);
}

void Application::followRawDataReceivers(const QMetaMethod &signal)
{
    // Copying every frame's bytes costs the worker and the main thread; only a receiver makes it worth it.
    const QMetaMethod rawData = QMetaMethod::fromSignal(&Application::newRawData);
    if (!signal.isValid() || signal == rawData)
        m_runner.setRawFramesWanted(isSignalConnected(rawData));
}

void Application::setupStateMachine()
{
    m_stoppedState.setObjectName(QStringLiteral("stoppedState"));
    m_startingState.setObjectName(QStringLiteral("startingState"));
    m_startedState.setObjectName(QStringLiteral("startedState"));
    m_stoppingState.setObjectName(QStringLiteral("stoppingState"));

    m_stoppedState.addTransition(this, &Application::starting, &m_startingState);
    m_startingState.addTransition(this, &Application::started, &m_startedState);
    m_startingState.addTransition(this, &Application::stopped, &m_stoppedState);
    m_startedState.addTransition(this, &Application::stopping, &m_stoppingState);
    m_startedState.addTransition(this, &Application::stopped, &m_stoppedState);
    m_stoppingState.addTransition(this, &Application::stopped, &m_stoppedState);

    m_stateMachine.addState(&m_stoppedState);
    m_stateMachine.addState(&m_startingState);
    m_stateMachine.addState(&m_startedState);
    m_stateMachine.addState(&m_stoppingState);
    m_stateMachine.setInitialState(&m_stoppedState);
    m_stateMachine.start();
}

void Application::finish(int exitCode)
{
    m_serviceNotifier.stopping();
    if (m_finishDeadline.isForever())
        m_finishDeadline.setRemainingTime(FinishTimeoutMs);
    if (!m_startedState.active() && !m_startingState.active())
        QCoreApplication::exit(exitCode);

    if (!m_quitWhenStopped)
        m_quitWhenStopped =
            connect(&m_stoppedState, &QState::entered, this, &QCoreApplication::quit, Qt::DirectConnection);

    Q_EMIT stopWeaveGraph();

    if (QThread::currentThread() != thread()) {
        QCoreApplication::processEvents();
        QThread::msleep(FinishTimeoutMs);
        QCoreApplication::processEvents();
        QCoreApplication::exit(code(ExitStatus::ForeignThreadFinish));
    }

    // Bounds the wait for a runner that does not stop.
    QTimer::singleShot(FinishTimeoutMs, [exitCode] { QCoreApplication::exit(exitCode); });
}

void Application::checkParams()
{
    m_commandLine.leaveIf(m_commandLine.checkParams(m_runInfo));
}

bool Application::state()
{
    return m_state;
}

void Application::setState(bool newState)
{
    if (m_state == newState)
        return;
    m_state = newState;
    Q_EMIT stateChanged();
}

void Application::writeLog(QString message)
{
    message = message.trimmed();
    Q_EMIT logMessage(message);
    StandardOutput::instance().writeLog(outputLogLine(message, currentJournalPriority()));
}

} // namespace Vantrel
