#include "runtime/weavegraphrunner.h"

#include "runtime/flowworker.h"

#include <QDebug>
#include <QThread>

namespace Vantrel {

namespace {

// How long destruction waits for a run to honour its stop request before leaving it behind. The
// application has already waited two seconds for it by then, so this stays short.
constexpr unsigned long StopGraceMs = 200;

// Runs left behind stay here to the end of the process (and reachable for leak checkers).
void keepToTheEnd(std::unique_ptr<QThread> thread)
{
    static auto *const abandoned = new std::vector<std::unique_ptr<QThread>>;
    abandoned->push_back(std::move(thread));
}

} // namespace

WeaveGraphRunner::WeaveGraphRunner(QObject *parent)
    : QObject(parent)
    , m_worker(std::make_shared<FlowWorker>(*this))
{
    registerRunnerMetaTypes();
}

WeaveGraphRunner::~WeaveGraphRunner()
{
    stop();
    if (m_thread && !m_thread->wait(StopGraceMs)) {
        // The runtime ignores the stop. Waiting on could hang the program's exit, and deleting the thread
        // object or the runtime instance would pull them from under the run: both stay to the end of the
        // process, and the run no longer reaches this runner or the application.
        m_worker->abandon();
        keepToTheEnd(std::move(m_thread));
    }
}

void WeaveGraphRunner::setSelectionProvider(std::function<FlowSelection()> provider)
{
    m_worker->setSelectionProvider(std::move(provider));
}

void WeaveGraphRunner::setLogLevel(int level)
{
    FlowWorker::setLogLevel(level);
}

int WeaveGraphRunner::exitCode() const
{
    return m_worker->exitCode();
}

void WeaveGraphRunner::setRawFramesWanted(bool wanted)
{
    m_worker->setRawFramesWanted(wanted);
}

void WeaveGraphRunner::sealFrames()
{
    m_worker->sealFrames(*this);
}

bool WeaveGraphRunner::start()
{
    if (!m_worker->tryBeginRun()) {
        qWarning().noquote() << tr("WeaveGraph is already running!");
        return false;
    }
    qInfo().noquote() << tr("Starting WeaveGraph thread");
    // The previous run's body has returned; only Qt's own wind-down of its thread may remain.
    if (m_thread)
        m_thread->wait();
    std::shared_ptr<FlowWorker> worker = m_worker;
    m_thread.reset(QThread::create([worker] { worker->runFlow(); }));
    connect(m_thread.get(), &QThread::finished, this, &WeaveGraphRunner::finished);
    m_thread->start();
    return true;
}

void WeaveGraphRunner::stop()
{
    if (!m_worker->isRunning())
        return;
    qInfo().noquote() << tr("Stopping WeaveGraph thread");
    m_worker->requestStop();
}

} // namespace Vantrel
