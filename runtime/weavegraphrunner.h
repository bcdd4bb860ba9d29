#pragma once

#include "runtime/runnertypes.h"

#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QThread;

namespace Vantrel {

class FlowWorker;

// What one run of the graph needs from the run configuration. The runner asks for it on its
// worker thread at the start of every run, so the provider must read state that does not change
// while a run is in progress.
struct FlowSelection
{
    QString algorithmName;
    QString minimumSupportedWeaveGraphVersion;
    QString maximumSupportedWeaveGraphVersion;
    QString flowFilePath;
    QStringList parbFilePaths;
    QStringList dynamicOptions;
};

// Runs the selected flow on the graph runtime in a worker thread and publishes its output
// frames as typed signals, emitted on the runner's own thread.
class WeaveGraphRunner : public QObject
{
    Q_OBJECT
public:
    explicit WeaveGraphRunner(QObject *parent = nullptr);
    ~WeaveGraphRunner() override;

    void setSelectionProvider(std::function<FlowSelection()> provider);
    // The runtime's log messages up to this level reach the program's log; 1 until set.
    void setLogLevel(int level);
    // Result of the last runtime step of the last run; read it once the worker thread has finished.
    int exitCode() const;
    // Whether newRawData is emitted, with a copy of each frame's bytes; true until set. Any thread.
    void setRawFramesWanted(bool wanted);
    // Frames are published on the runner's thread, each wake-up taking what the worker has handed over.
    // Code that posts an event to that thread from the worker's side calls this first, so that the event
    // is handled after the frames handed over before it and before those after it. Any thread.
    void sealFrames();

public Q_SLOTS:
    bool start();
    void stop();

Q_SIGNALS:
    void newHpdData(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp, uint32_t sequenceNumber);
    void newRawData(uint32_t id, std::vector<uint8_t> data);
    void newPowerData(QVector<quint32> powerData, QVector<quint32> thresholdData, QVector<quint32> ranges,
                      uint effectiveRange, uint distance);
    void newRange(float start, float end, int count);
    void newThresholdPoints(QVector<QPointF> points);
    void newPowerPoints(QVector<QPointF> points);
    void newRangeDopplerData(QVector<float> data);
    void newProximity2DData(uchar type, float range, float angle);
    void newDetectionStatistics(float first, float second);
    void newHeatmapBasicData(int32_t state, int32_t confidence, int32_t zone_idx);
    // A run failed, or ended with a nonzero code: a message for the user. Emitted on the worker thread.
    void error(QString message);
    // The worker thread of a run has ended; emitted on the runner's own thread.
    void finished();

private:
    std::unique_ptr<QThread> m_thread;
    // Shared with the worker thread: a run that outlives the runner keeps what it uses.
    std::shared_ptr<FlowWorker> m_worker;
};

} // namespace Vantrel
