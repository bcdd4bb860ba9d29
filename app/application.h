#pragma once

#include "app/commandline.h"
#include "catalogue/algorithmloader.h"
#include "process/servicenotifier.h"
#include "presence/presencehold.h"
#include "runinfo/runinfo.h"
#include "runtime/droppedframes.h"
#include "runtime/weavegraphrunner.h"
#include "stream/namedpipe.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QState>
#include <QStateMachine>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <vector>

namespace Vantrel {

// The one application object: owns every long-lived part of the program, tracks the graph
// runner's lifecycle in a state machine and prints the log.
class Application : public QCoreApplication
{
    Q_OBJECT
    Q_PROPERTY(int logLevel READ logLevel CONSTANT)

public:
    // processCommandLine false leaves init() out, for callers that drive the lifecycle themselves.
    Application(int &argc, char **argv, bool processCommandLine = true);
    ~Application() override;

    // The one way the program ends itself.
    void finish(int exitCode);

    int logLevel() const { return m_logLevel; }
    // For observers: the lifecycle states are named after their members ("stoppedState", ...).
    const QStateMachine &stateMachine() const { return m_stateMachine; }

Q_SIGNALS:
    void stateChanged();
    void algorithmsLoadRequiredChanged();
    void streamDataChanged();
    void algorithmChanged();
    void showError(QString message);
    void logMessage(QString message);
    void writeLogMessage(QString message);
    void starting();
    void started();
    void stopping();
    void stopped();
    void newHpdData(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp, uint32_t sequenceNumber);
    void updatePresenceState(bool state, bool timeoutState);
    void newRawData(uint32_t id, std::vector<uint8_t> data);
    void newPowerData(QVector<quint32> powerData, QVector<quint32> thresholdData, QVector<quint32> ranges,
                      uint effectiveRange, uint distance);
    void newProximity2DData(uchar type, float range, float angle);
    void newDetectionStatistics(float, float);
    void newHeatmapBasicData(int32_t state, int32_t confidence, int32_t zone_idx);
    void closeNamedPipe();
    void stopWeaveGraph();

private Q_SLOTS:
    void logState(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp, uint32_t sequenceNumber);
    void openNamedPipe();
    void updatePresenceTimerState(bool state);
    void writeParametersToJson();
    void stop();
    void init();
    void writeLog(QString message);
    void setLoadAlgorithms();
    void disconnectFlowRunner();
    void connectFlowRunner();
    void checkParams();
    void startCLI();

public Q_SLOTS:
    void start();
    void weaveGraphStopped();
    void updateState(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp, uint32_t sequenceNumber);
    bool state();
    void setState(bool newState);
    void timeoutChanged(double timeout);
    void loadAlgorithms();

protected:
    void connectNotify(const QMetaMethod &signal) override;
    void disconnectNotify(const QMetaMethod &signal) override;

private:
    // The runner copies frames' bytes only while newRawData has a receiver (an invalid signal: any).
    void followRawDataReceivers(const QMetaMethod &signal);
    void setupStateMachine();
    void loadCatalogue();
    void setStreamData(bool on);
    void setAlgorithmsLoadRequired(bool required);
    FlowSelection flowSelection() const;

    // Declaration order is construction order: the runner is destroyed last.
    WeaveGraphRunner m_runner;
    AlgorithmLoader m_loader;
    bool m_algorithmsLoadRequired = false;
    RunInfo m_runInfo;
    QStateMachine m_stateMachine;
    bool m_state = false;
    NamedPipe m_namedPipe;
    bool m_streamData = false;
    // The named pipe takes the raw frames only while they are streamed.
    QMetaObject::Connection m_pipeFrames;
    QString m_pipeName = QStringLiteral("/tmp/hpd.fifo");
    QString m_optionsPath = QStringLiteral("/tmp/selected_options.json");
    // Decides the presence timer: the hold follows the run configuration's timeout.
    PresenceHold m_hold{0};
    CommandLine m_commandLine;
    QTimer m_presenceTimer;
    int m_logLevel = 1;
    // The runner's results, connected for a run by connectFlowRunner().
    QVector<QMetaObject::Connection> m_runnerConnections;
    // Made by the first finish(): the event loop ends once the runner has stopped.
    QMetaObject::Connection m_quitWhenStopped;
    // Presence lines that standard output could not take while its reader was behind.
    DroppedFrames m_droppedLines;
    // Set by the first finish(): how long lines still queued for standard output may take.
    QDeadlineTimer m_finishDeadline{QDeadlineTimer::Forever};
    // systemd's view of the service: ready with the first frame, watched while frames keep coming.
    ServiceNotifier m_serviceNotifier;
    QState m_stoppedState;
    QState m_startingState;
    QState m_startedState;
    QState m_stoppingState;
};

} // namespace Vantrel
