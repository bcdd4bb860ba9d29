#pragma once

#include <QPointF>
#include <QVector>
#include <QtGlobal>

#include <cstdint>

namespace Vantrel {

struct DecodedFrame;

// A frame's values one by one, in the order the runner publishes them (replay() below); the
// runner turns each call into its signal of the same name.
class FrameSink
{
public:
    virtual void hpdData(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp,
                         uint32_t sequenceNumber) = 0;
    virtual void powerData(const QVector<quint32> &powerData, const QVector<quint32> &thresholdData,
                           const QVector<quint32> &ranges, uint effectiveRange, uint distance) = 0;
    virtual void range(float start, float end, int count) = 0;
    virtual void thresholdPoints(const QVector<QPointF> &points) = 0;
    virtual void powerPoints(const QVector<QPointF> &points) = 0;
    virtual void proximity2DData(uchar type, float range, float angle) = 0;
    virtual void detectionStatistics(float first, float second) = 0;
    virtual void heatmapBasicData(int32_t state, int32_t confidence, int32_t zoneIndex) = 0;

protected:
    ~FrameSink() = default;
};

// Hands the frame's values to a sink in the order the runner publishes them as signals: zones, the
// profile, the first target (a placeholder at range and angle 0 for an empty tracker), the presence
// report, the other targets, power, statistics.
void replay(const DecodedFrame &frame, FrameSink &sink);

} // namespace Vantrel
