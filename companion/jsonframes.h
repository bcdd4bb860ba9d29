#pragma once

#include "framelistener.h"

#include <string>
#include <vector>

namespace Vantrel {

class JsonLineSink;

// Makes one JSON object per frame, as a line: the output id and kind, the frame's sequence number
// and timestamp, and the decoded values with their units in their names. Frames of an unknown kind
// give their size only. Every line goes to every sink.
class JsonFrames final : public FrameListener
{
public:
    void addSink(JsonLineSink *sink);

    void beginFrame(uint32_t outputId, const Frames::Frame &frame, size_t length) override;
    void endFrame() override;
    void flush() override;

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
    std::vector<JsonLineSink *> m_sinks;
    std::string m_object; // members of the frame being decoded
    std::string m_targets; // array members gathered over the frame
    std::string m_zones;
};

} // namespace Vantrel
