#pragma once

#include "frame_generated.h"
#include "framesink.h"

#include <cstddef>
#include <cstdint>

namespace Vantrel {

// One reader of the decoded frame stream (JSON lines, MQTT, ...). For every frame that passes
// verification it gets beginFrame, then what the decoders read from it as FrameSink calls, then
// endFrame. The FrameSink calls do nothing unless overridden.
class FrameListener : public FrameSink
{
public:
    virtual ~FrameListener() = default;

    // outputId is the id the frame is decoded under, 0 when its kind is unknown (then no FrameSink
    // call follows); length counts the whole frame, its size prefix included.
    virtual void beginFrame(uint32_t outputId, const Frames::Frame &frame, size_t length) = 0;
    virtual void endFrame() {}
    // Everything read so far has been handed over; the next bytes may be a while. Output kept in a
    // buffer goes out now.
    virtual void flush() {}

    void hpdData(bool, uint32_t, uint32_t, int64_t, uint32_t) override {}
    void powerData(const QVector<quint32> &, const QVector<quint32> &, const QVector<quint32> &, uint, uint) override {}
    void range(float, float, int) override {}
    void thresholdPoints(const QVector<QPointF> &) override {}
    void powerPoints(const QVector<QPointF> &) override {}
    void proximity2DData(uchar, float, float) override {}
    void detectionStatistics(float, float) override {}
    void heatmapBasicData(int32_t, int32_t, int32_t) override {}
};

} // namespace Vantrel
