#include "runtime/runnersignals.h"

#include "decoding/decodedframe.h"
#include "decoding/framedecoder.h"
#include "runtime/weavegraphrunner.h"

#include <vector>

namespace Vantrel {

RunnerSignals::RunnerSignals(WeaveGraphRunner &runner)
    : m_runner(runner)
{
}

int RunnerSignals::onFrame(uint32_t outputId, const uint8_t *frame, int32_t length)
{
    const size_t size = frame && length > 0 ? static_cast<size_t>(length) : 0;
    // The runtime owns the bytes only for this call; receivers get their own copy.
    Q_EMIT m_runner.newRawData(outputId, std::vector<uint8_t>(frame, frame + size));
    DecodedFrame decoded;
    const int status = FrameDecoder::decode(outputId, frame, size, decoded);
    replay(decoded, *this);
    return status;
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
