#include "runtime/framesink.h"

#include "decoding/decodedframe.h"

namespace Vantrel {

void replay(const DecodedFrame &frame, FrameSink &sink)
{
    for (const HeatmapZone &zone : frame.zones)
        sink.heatmapBasicData(zone.state, zone.confidence, zone.zoneIndex);
    if (const auto &profile = frame.profile) {
        sink.range(profile->start, profile->end, profile->count);
        if (profile->powerFirst) {
            sink.powerPoints(profile->power);
            sink.thresholdPoints(profile->threshold);
        } else {
            sink.thresholdPoints(profile->threshold);
            sink.powerPoints(profile->power);
        }
    }
    // A proximity frame reports presence from its first target, right after that target.
    auto target = frame.targets.cbegin();
    if (target != frame.targets.cend()) {
        sink.proximity2DData(target->type, target->range, target->angle);
        ++target;
    } else if (frame.emptyTracker) {
        sink.proximity2DData(*frame.emptyTracker, 0.0f, 0.0f);
    }
    if (const auto &presence = frame.presence)
        sink.hpdData(presence->state, presence->distance, presence->confidence, frame.timestamp, frame.sequenceNumber);
    for (; target != frame.targets.cend(); ++target)
        sink.proximity2DData(target->type, target->range, target->angle);
    if (const auto &power = frame.power)
        sink.powerData(power->power, power->threshold, power->ranges, power->effectiveRange, power->distance);
    if (const auto &statistics = frame.statistics)
        sink.detectionStatistics(statistics->first, statistics->second);
}

} // namespace Vantrel
