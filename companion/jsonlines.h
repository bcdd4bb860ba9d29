#pragma once

#include "framelistener.h"

#include <functional>
#include <string>

namespace Vantrel {

// Writes one JSON object per frame and line: the output id and kind, the frame's sequence number
// and timestamp, and the decoded values with their units in their names. Frames of an unknown kind
// give their size only. Lines are written in batches, at every flush and when 64 KiB are waiting.
class JsonLines final : public FrameListener
{
public:
    // failed is called once, with errno, when writing to fd fails; nothing is written after that.
    explicit JsonLines(int fd, std::function<void(int error)> failed = {});
    ~JsonLines() override;

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
    void write(const char *bytes, size_t length);

    int m_fd;
    std::function<void(int)> m_failed;
    bool m_broken = false;
    std::string m_object; // members of the frame being decoded
    std::string m_targets; // array members gathered over the frame
    std::string m_zones;
    std::string m_lines; // whole lines not yet written
};

} // namespace Vantrel
