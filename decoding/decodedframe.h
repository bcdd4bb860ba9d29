#pragma once

#include <QPointF>
#include <QVector>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace Vantrel {

// Whole centimetres of a decoded distance: the unit every output shows it in (presence lines, JSON
// lines, MQTT).
constexpr uint32_t distanceCentimetres(uint32_t distance)
{
    return distance / 10;
}

// A presence report as the decoders read it.
struct PresenceReport
{
    bool state = false;
    uint32_t distance = 0; // millimetres, the scale the runtime's front ends exchange
    uint32_t confidence = 0;
};

// A target of one of the runtime's trackers (R5::Proximity2D).
struct ProximityTarget
{
    uchar type = 0;
    float range = 0.0f; // metres
    float angle = 0.0f; // degrees
};

// A range profile: its bins and the power and threshold levels (cm, dB) over them.
struct RangeProfile
{
    float start = 0.0f;
    float end = 0.0f;
    int count = 0;
    QVector<QPointF> threshold;
    QVector<QPointF> power;
    // The presence profile reports its power before its threshold; receivers see that order.
    bool powerFirst = false;
};

// A power frame: every array widened to 32 bits as the runtime's front ends take it.
struct PowerProfile
{
    QVector<quint32> power;
    QVector<quint32> threshold;
    QVector<quint32> ranges;
    uint effectiveRange = 0;
    uint distance = 0;
};

struct DetectionStatistics
{
    float first = 0.0f;
    float second = 0.0f;
};

struct HeatmapZone
{
    int32_t state = 0;
    int32_t confidence = 0;
    int32_t zoneIndex = 0;
};

// Everything the decoders read from one frame. Reused from frame to frame, so that its containers
// keep their capacity.
struct DecodedFrame
{
    uint32_t outputId = 0; // the id it was decoded under; 0 when its kind is unknown
    const char *kind = nullptr; // FrameDecoder::kind(outputId)
    uint32_t sequenceNumber = 0;
    int64_t timestamp = 0; // milliseconds since the Epoch
    size_t length = 0; // the whole frame, size prefix included

    std::optional<RangeProfile> profile;
    std::vector<ProximityTarget> targets;
    // The tracker of a proximity frame that reported no targets at all: no target, though the runner
    // publishes a placeholder for it.
    std::optional<uchar> emptyTracker;
    std::optional<PresenceReport> presence;
    std::optional<PowerProfile> power;
    std::optional<DetectionStatistics> statistics;
    std::vector<HeatmapZone> zones;

    void clear();
};

} // namespace Vantrel
