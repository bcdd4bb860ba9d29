#include "runtime/runnersignals.h"

#include "decoding/decodedframe.h"
#include "runtime/handedframe.h"
#include "runtime/weavegraphrunner.h"

#include <utility>

namespace Vantrel {

RunnerSignals::RunnerSignals(WeaveGraphRunner &runner)
    : m_runner(runner)
{
}

void RunnerSignals::publish(HandedFrame &frame)
{
    if (frame.raw)
        Q_EMIT m_runner.newRawData(frame.outputId, std::move(*frame.raw));
    replay(frame.decoded, *this);
}

void RunnerSignals::hpdData(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp,
                            uint32_t sequenceNumber)
{
    Q_EMIT m_runner.newHpdData(state, distance, confidence, timestamp, sequenceNumber);
}

void RunnerSignals::powerData(const QVector<quint32> &powerData, const QVector<quint32> &thresholdData,
                              const QVector<quint32> &ranges, uint effectiveRange, uint distance)
{
    Q_EMIT m_runner.newPowerData(powerData, thresholdData, ranges, effectiveRange, distance);
}

void RunnerSignals::range(float start, float end, int count)
{
    Q_EMIT m_runner.newRange(start, end, count);
}

void RunnerSignals::thresholdPoints(const QVector<QPointF> &points)
{
    Q_EMIT m_runner.newThresholdPoints(points);
}

void RunnerSignals::powerPoints(const QVector<QPointF> &points)
{
    Q_EMIT m_runner.newPowerPoints(points);
}

void RunnerSignals::proximity2DData(uchar type, float range, float angle)
{
    Q_EMIT m_runner.newProximity2DData(type, range, angle);
}

void RunnerSignals::detectionStatistics(float first, float second)
{
    Q_EMIT m_runner.newDetectionStatistics(first, second);
}

void RunnerSignals::heatmapBasicData(int32_t state, int32_t confidence, int32_t zoneIndex)
{
    Q_EMIT m_runner.newHeatmapBasicData(state, confidence, zoneIndex);
}

} // namespace Vantrel
