#pragma once

#include "framesink.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vantrel {

class FrameListener;

// Verifies each frame of the stream, tells which output it comes from, and hands the frames of
// the wanted kinds to every listener, decoded once for all of them.
class FrameDispatcher final : private FrameSink
{
public:
    // kinds: the wanted kinds, empty for all; outputId: decode every frame under this id, 0 to tell
    // it from each frame.
    FrameDispatcher(const QStringList &kinds, uint32_t outputId);

    void addListener(FrameListener *listener);

    // One whole frame, size prefix included, 8-byte aligned; offset is where it starts in the stream.
    void frame(const uint8_t *bytes, size_t length, uint64_t offset);
    // The frames read so far have all been handed over.
    void flush();

private:
    bool wanted(const char *kind) const;

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

    std::vector<QByteArray> m_kinds;
    uint32_t m_outputId;
    std::vector<FrameListener *> m_listeners;
};

} // namespace Vantrel
