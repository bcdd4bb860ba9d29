#include "runtime/flowworker.h"

#include "process/journalstream.h"
#include "runtime/handedframe.h"
#include "runtime/runnersignals.h"
#include "runtime/runtimeversion.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QList>
#include <QMutexLocker>
#include <QTimer>

#include <climits>
#include <cstdio>
#include <utility>

namespace Vantrel {

namespace {

// The runtime version this program was built and tested against.
const char *const BuildTimeVersion = "6.4.53";

// Frames published in one wake-up of the runner's thread before its event loop runs again.
constexpr size_t PublishedPerWakeUp = 4 * FrameQueue::Capacity;
// How long frames may wait out a flood that has ended, for want of the wake-up a full batch would bring.
constexpr int WaitingFramesMs = 1;

// exitCode of a run whose flow or parameter file cannot be read, or that has no runtime instance.
constexpr int FileUnreadable = -7;
constexpr int NoInstance = -1;

// The runtime's logger is process-wide and may still fire from a run abandoned while the program ends,
// so its context lives as long as the process, and the switch away from the application is atomic.
struct LogGate
{
    QMutex mutex;
    bool applicationUsable = true;
    std::atomic<int> level{1};
};

LogGate &logGate()
{
    static LogGate *const gate = new LogGate;
    return *gate;
}

} // namespace

FlowWorker::FlowWorker(WeaveGraphRunner &runner)
    : m_runner(&runner)
    , m_waitingFrames(new QTimer(&runner))
{
    m_waitingFrames->setSingleShot(true);
    m_waitingFrames->setTimerType(Qt::PreciseTimer);
    m_waitingFrames->setInterval(WaitingFramesMs);
    // The runner's child, firing on its thread, where the runner keeps this worker alive.
    QObject::connect(m_waitingFrames, &QTimer::timeout, &runner, [this, &runner] {
        if (const std::optional<uint64_t> mark = m_frames.wakeWaiting())
            publish(runner, *mark);
    });
    weavegraph_set_logger(&FlowWorker::forwardRuntimeLog, &logGate());
    if (m_graph.isValid())
        m_graph.setFrameCallback(&FlowWorker::onFrame, this);
}

void FlowWorker::setSelectionProvider(std::function<FlowSelection()> provider)
{
    QMutexLocker locker(&m_runnerMutex);
    m_selectionProvider = std::move(provider);
}

void FlowWorker::setLogLevel(int level)
{
    logGate().level = level;
}

bool FlowWorker::tryBeginRun()
{
    bool idle = false;
    if (!m_running.compare_exchange_strong(idle, true))
        return false;
    // A stop asked from here on, even while the flow and parameters are still loading, ends this run.
    m_graph.clearStopRequest();
    m_frames.reopen();
    return true;
}

bool FlowWorker::isRunning() const
{
    return m_running;
}

void FlowWorker::requestStop()
{
    // Frames handed over before the stop are still published; none after it.
    m_frames.cut();
    m_graph.requestStop();
}

int FlowWorker::exitCode() const
{
    return m_exitCode;
}

void FlowWorker::runFlow()
{
    runSteps();
    m_running = false;
}

void FlowWorker::abandon()
{
    {
        QMutexLocker locker(&m_runnerMutex);
        m_runner = nullptr;
    }
    QMutexLocker locker(&logGate().mutex);
    logGate().applicationUsable = false;
}

void FlowWorker::forwardRuntimeLog(void *context, uint32_t level, const char *message)
{
    auto *gate = static_cast<LogGate *>(context);
    const char *text = message ? message : "";
    QMutexLocker locker(&gate->mutex);
    const QCoreApplication *application = gate->applicationUsable ? QCoreApplication::instance() : nullptr;
    if (!application) {
        // Past the application, a warning as any other runtime message, in the journal too.
        std::fputs(standardOutputIsJournal() ? "<4># " : "# ", stdout);
        std::fputs(text, stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
        return;
    }
    if (static_cast<qint64>(gate->level) < static_cast<qint64>(level))
        return;
    // The runtime's own levels have no counterpart here: whatever passes the filter is a warning.
    qWarning().noquote() << QString::fromUtf8(text);
}

int FlowWorker::onFrame(void *context, uint32_t outputId, const uint8_t *frame, int32_t length)
{
    auto *worker = static_cast<FlowWorker *>(context);
    QMutexLocker locker(&worker->m_runnerMutex);
    if (!worker->m_runner || !worker->m_frames.admit())
        return 0;
    HandedFrame handed;
    const int status = handed.read(outputId, frame, length, worker->m_rawWanted);
    if (const std::optional<uint64_t> mark = worker->m_frames.push(std::move(handed)))
        worker->postPublish(*worker->m_runner, *mark);
    return status;
}

void FlowWorker::sealFrames(WeaveGraphRunner &runner)
{
    if (const std::optional<uint64_t> mark = m_frames.seal())
        postPublish(runner, *mark);
}

void FlowWorker::postPublish(WeaveGraphRunner &runner, uint64_t mark)
{
    // Posted to the runner, which owns this worker: the event goes with the runner, never after it.
    QMetaObject::invokeMethod(
        &runner, [this, runner = &runner, mark] { publish(*runner, mark); }, Qt::QueuedConnection);
}

void FlowWorker::publish(WeaveGraphRunner &runner, uint64_t mark)
{
    RunnerSignals publisher(runner);
    // Frames that come while these are handled are taken in the same wake-up, so that a fast runtime costs
    // few of them; up to a bound, after which the event loop gets its turn before the rest.
    size_t published = 0;
    while (published < PublishedPerWakeUp) {
        FrameQueue::Batch batch = m_frames.take(mark);
        for (FrameQueue::Entry &entry : batch) {
            publisher.publish(entry.frame);
            ++published;
        }
        m_frames.recycle(std::move(batch));
        const FrameQueue::Next next = m_frames.more(mark);
        if (next == FrameQueue::Next::DoneInFlood)
            m_waitingFrames->start();
        if (next != FrameQueue::Next::Take)
            return;
    }
    postPublish(runner, mark);
}

void FlowWorker::runSteps()
{
    FlowSelection selection;
    {
        QMutexLocker locker(&m_runnerMutex);
        if (!m_runner)
            return;
        if (m_selectionProvider)
            selection = m_selectionProvider();
    }

    checkRuntimeVersion(selection);

    if (!m_graph.isValid()) {
        m_exitCode = NoInstance;
        showError(tr("WeaveGraph instance couldn't be created"));
        return;
    }

    QFile flowFile(selection.flowFilePath);
    if (!flowFile.open(QIODevice::ReadOnly)) {
        // A run that never reached the runtime has failed; its exit code must say so.
        m_exitCode = FileUnreadable;
        showError(tr("Couldn't load %1 file").arg(selection.flowFilePath));
        return;
    }
    // The runtime may keep pointing into the flow and parameter bytes until the run returns.
    const QByteArray flow = flowFile.readAll();
    info(tr("Loading flow from %1").arg(selection.flowFilePath));
    m_exitCode = m_graph.parseFlow(flow);
    if (m_exitCode != 0) {
        showError(tr("WeaveGraph can't load flow file linear: %1").arg(m_exitCode));
        return;
    }

    // The runtime has no way to take dynamic parameters; they are only reported.
    const QByteArray dynamicParameters = selection.dynamicOptions.join(QString()).toLatin1();
    if (!dynamicParameters.isEmpty())
        info(tr("Dynamic parameters to apply:\n%1").arg(QString::fromLatin1(dynamicParameters)));

    QList<QByteArray> parameters;
    for (const QString &path : qAsConst(selection.parbFilePaths)) {
        QFile parbFile(path);
        if (!parbFile.open(QIODevice::ReadOnly)) {
            showError(tr("Couldn't load %1 parb file").arg(path));
            m_exitCode = FileUnreadable;
            return;
        }
        parameters.append(parbFile.readAll());
        info(tr("Setting binary parameters from %1").arg(path));
        m_exitCode = m_graph.setParameters(parameters.constLast());
        if (m_exitCode != 0) {
            showError(tr("WeaveGraph couldn't set parameters: %1").arg(m_exitCode));
            return;
        }
    }

    m_exitCode = m_graph.run();
    {
        QMutexLocker locker(&m_runnerMutex);
        if (m_runner) {
            m_frames.runEnded();
            // The last frames go before the run's end is told, however few.
            if (const std::optional<uint64_t> mark = m_frames.wakeWaiting())
                postPublish(*m_runner, *mark);
        }
    }
    const QString finished = tr("WeaveGraph thread finished with exit code: %1").arg(m_exitCode);
    if (m_exitCode == 0)
        info(finished);
    else
        showError(finished);
}

void FlowWorker::checkRuntimeVersion(const FlowSelection &selection)
{
    const weavegraph_version_t reported = weavegraph_get_version();
    // The runtime's numbers are unsigned 32-bit, a version number's are int: beyond, they compare as its largest.
    const auto segment = [](uint32_t number) { return int(qMin<uint32_t>(number, INT_MAX)); };
    const QVersionNumber current(segment(reported.major), segment(reported.minor), segment(reported.patch));
    const QString currentText = QStringLiteral("%1.%2.%3").arg(reported.major).arg(reported.minor).arg(reported.patch);
    info(tr("WeaveGraph version: %1").arg(currentText));

    const QString buildTime = QString::fromLatin1(BuildTimeVersion);
    if (parseVersion(buildTime) != current) {
        warning(tr("Build time version of WeaveGraph (%1) is different from run time version (%2)")
                    .arg(buildTime, currentText));
    }
    const QString &minimum = selection.minimumSupportedWeaveGraphVersion;
    if (!minimum.isEmpty() && current < parseVersion(minimum)) {
        warning(tr("%1 min supported WeaveGraph version is %2, current WeaveGraph version is %3")
                    .arg(selection.algorithmName, minimum, currentText));
    }
    const QString &maximum = selection.maximumSupportedWeaveGraphVersion;
    if (!maximum.isEmpty() && parseVersion(maximum) < current) {
        warning(tr("%1 max supported WeaveGraph version is %2, current WeaveGraph version is %3")
                    .arg(selection.algorithmName, maximum, currentText));
    }
}

// The reports below hold the runner's lock, so none of them reaches an application that is going away.

void FlowWorker::info(const QString &message)
{
    QMutexLocker locker(&m_runnerMutex);
    if (m_runner)
        qInfo().noquote() << message;
}

void FlowWorker::warning(const QString &message)
{
    QMutexLocker locker(&m_runnerMutex);
    if (m_runner)
        qWarning().noquote() << message;
}

void FlowWorker::showError(const QString &message)
{
    QMutexLocker locker(&m_runnerMutex);
    if (!m_runner)
        return;
    // The error is queued to the runner's thread behind the frames handed over before it.
    sealFrames(*m_runner);
    Q_EMIT m_runner->error(message);
}

} // namespace Vantrel
