#pragma once

#include "runtime/framesink.h"

#include <cstdint>

namespace Vantrel {

struct HandedFrame;
class WeaveGraphRunner;

// Publishes the runtime's output frames as the runner's signals: a frame's bytes when they were kept,
// then the values its decoders read from it, in the order replay() gives.
class RunnerSignals final : public FrameSink
{
public:
    explicit RunnerSignals(WeaveGraphRunner &runner);

    // Its bytes are moved into the signal.
    void publish(HandedFrame &frame);

    void hpdData(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp,
                 uint32_t sequenceNumber) override;
    void powerData(const QVector<quint32> &powerData, const QVector<quint32> &thresholdData,
                   const QVector<quint32> &ranges, uint effectiveRange, uint distance) override;
    void range(float start, float end, int count) override;
    void thresholdPoints(const QVector<QPointF> &points) override;
    void powerPoints(const QVector<QPointF> &points) override;
    void proximity2DData(uchar type, float range, float angle) override;
    void detectionStatistics(float first, float second) override;
    void heatmapBasicData(int32_t state, int32_t confidence, int32_t zoneIndex) override;

private:
    WeaveGraphRunner &m_runner;
};

} // namespace Vantrel
