#pragma once

#include "runtime/framequeue.h"
#include "runtime/graphinstance.h"
#include "runtime/weavegraphrunner.h"

#include <QCoreApplication>
#include <QMutex>

#include <atomic>
#include <functional>

class QTimer;

namespace Vantrel {

// The part of the runner that the worker thread and the runtime's callbacks use. The runner shares it
// with its worker thread, so a run that does not stop in time can be abandoned without anything it
// uses going away under it.
class FlowWorker
{
    Q_DECLARE_TR_FUNCTIONS(FlowWorker)

public:
    explicit FlowWorker(WeaveGraphRunner &runner);
    FlowWorker(const FlowWorker &) = delete;
    FlowWorker &operator=(const FlowWorker &) = delete;

    void setSelectionProvider(std::function<FlowSelection()> provider);
    // The runtime's logger is process-wide, and so is the level it is filtered by.
    static void setLogLevel(int level);
    // Whether frames are published with a copy of their bytes; any thread.
    void setRawFramesWanted(bool wanted) { m_rawWanted = wanted; }
    // Any thread, before it posts an event to the runner's thread that belongs after the frames so far.
    void sealFrames(WeaveGraphRunner &runner);

    // Marks a run as in progress before its thread starts; the run clears it when its body returns.
    bool tryBeginRun();
    bool isRunning() const;
    void requestStop();
    int exitCode() const;

    // The body of the worker thread.
    void runFlow();

    // Cuts every path back to the runner and the application; used when the runner is destroyed while
    // the runtime still runs.
    void abandon();

private:
    static void forwardRuntimeLog(void *context, uint32_t level, const char *message);
    static int onFrame(void *context, uint32_t outputId, const uint8_t *frame, int32_t length);
    // Has the runner's thread publish the frames of the wake-up with `mark`; any thread.
    void postPublish(WeaveGraphRunner &runner, uint64_t mark);
    // On the runner's thread: publishes the frames of one wake-up as the runner's signals.
    void publish(WeaveGraphRunner &runner, uint64_t mark);

    void runSteps();
    void checkRuntimeVersion(const FlowSelection &selection);
    void info(const QString &message);
    void warning(const QString &message);
    void showError(const QString &message);

    GraphInstance m_graph;
    FrameQueue m_frames;
    std::atomic<bool> m_rawWanted{true};
    std::atomic<int> m_exitCode{0};
    std::atomic<bool> m_running{false};
    // Guards the way back to the runner: held while a callback or a run step uses it.
    QMutex m_runnerMutex;
    WeaveGraphRunner *m_runner;
    std::function<FlowSelection()> m_selectionProvider;
    // The runner's, on its thread: takes frames left waiting after a flood, if no wake-up came for them.
    QTimer *m_waitingFrames;
};

} // namespace Vantrel
