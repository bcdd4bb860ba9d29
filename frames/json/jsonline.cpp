#include "frames/json/jsonline.h"

#include "decoding/decodedframe.h"

#include <charconv>
#include <cmath>

namespace Vantrel {

namespace {

void appendInt(std::string &out, int64_t value)
{
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// Shortest text that reads back as the same float; JSON has no NaN or infinity.
void appendFloat(std::string &out, double value)
{
    const auto single = static_cast<float>(value);
    if (!std::isfinite(single)) {
        out += "null";
        return;
    }
    char digits[32];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, single).ptr);
}

// The decoders widen every array to 32 unsigned bits; As gives the values back their sign.
template <typename As>
void appendArray(std::string &out, const char *key, const QVector<quint32> &values)
{
    out += key;
    out += '[';
    for (int i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += ',';
        appendInt(out, static_cast<As>(values[i]));
    }
    out += ']';
}

// Points of a profile: [distance in cm, level in dB].
void appendPoints(std::string &out, const char *key, const QVector<QPointF> &points)
{
    out += key;
    out += '[';
    for (int i = 0; i < points.size(); ++i) {
        out += i > 0 ? ",[" : "[";
        appendFloat(out, points[i].x());
        out += ',';
        appendFloat(out, points[i].y());
        out += ']';
    }
    out += ']';
}

void appendHead(std::string &out, const DecodedFrame &frame)
{
    char id[9];
    static constexpr char hex[] = "0123456789abcdef";
    for (int i = 0; i < 8; ++i)
        id[i] = hex[(frame.outputId >> (28 - 4 * i)) & 0xF];
    id[8] = '\0';
    out += "{\"id\":\"";
    out += id;
    out += "\",\"kind\":\"";
    out += frame.kind;
    out += "\",\"sequence\":";
    appendInt(out, frame.sequenceNumber);
    out += ",\"timestamp\":";
    appendInt(out, frame.timestamp);
}

void appendProfile(std::string &out, const RangeProfile &profile)
{
    out += ",\"range_cm\":{\"start\":";
    appendFloat(out, profile.start);
    out += ",\"end\":";
    appendFloat(out, profile.end);
    out += ",\"bins\":";
    appendInt(out, profile.count);
    out += '}';
    if (profile.powerFirst) {
        appendPoints(out, ",\"power_db\":", profile.power);
        appendPoints(out, ",\"threshold_db\":", profile.threshold);
    } else {
        appendPoints(out, ",\"threshold_db\":", profile.threshold);
        appendPoints(out, ",\"power_db\":", profile.power);
    }
}

// As on vantrel-cli's presence line: the state as 0 or 1, the distance in whole centimetres.
void appendPresence(std::string &out, const PresenceReport &presence, std::optional<bool> occupancy)
{
    out += presence.state ? ",\"presence\":1,\"distance_cm\":" : ",\"presence\":0,\"distance_cm\":";
    appendInt(out, distanceCentimetres(presence.distance));
    out += ",\"confidence\":";
    appendInt(out, presence.confidence);
    if (occupancy)
        out += *occupancy ? ",\"occupancy\":true" : ",\"occupancy\":false";
}

void appendPower(std::string &out, const PowerProfile &power)
{
    appendArray<int32_t>(out, ",\"ranges_cm\":", power.ranges);
    appendArray<uint32_t>(out, ",\"power_cdb\":", power.power);
    appendArray<uint32_t>(out, ",\"threshold_cdb\":", power.threshold);
    out += ",\"effective_range_cm\":";
    appendInt(out, static_cast<int32_t>(power.effectiveRange));
    out += ",\"distance_cm\":";
    appendInt(out, static_cast<int32_t>(power.distance));
}

void appendStatistics(std::string &out, const DetectionStatistics &statistics)
{
    out += ",\"statistics\":[";
    appendFloat(out, statistics.first);
    out += ',';
    appendFloat(out, statistics.second);
    out += ']';
}

void appendTargets(std::string &out, const std::vector<ProximityTarget> &targets)
{
    out += ",\"targets\":[";
    for (size_t i = 0; i < targets.size(); ++i) {
        if (i > 0)
            out += ',';
        out += targets[i].type == 0 ? "{\"tracker\":\"fast\",\"range_m\":" : "{\"tracker\":\"slow\",\"range_m\":";
        appendFloat(out, targets[i].range);
        out += ",\"angle_deg\":";
        appendFloat(out, targets[i].angle);
        out += '}';
    }
    out += ']';
}

void appendZones(std::string &out, const std::vector<HeatmapZone> &zones)
{
    out += ",\"zones\":[";
    for (size_t i = 0; i < zones.size(); ++i) {
        out += i > 0 ? ",{\"occupied\":" : "{\"occupied\":";
        appendInt(out, zones[i].state);
        out += ",\"confidence\":";
        appendInt(out, zones[i].confidence);
        out += ",\"zone\":";
        appendInt(out, zones[i].zoneIndex);
        out += '}';
    }
    out += ']';
}

} // namespace

void appendJsonLine(std::string &out, const DecodedFrame &frame, std::optional<bool> occupancy)
{
    if (frame.outputId == 0) {
        out += "{\"kind\":\"unknown\",\"size\":";
        appendInt(out, static_cast<int64_t>(frame.length));
        out += "}\n";
        return;
    }
    appendHead(out, frame);
    if (frame.profile)
        appendProfile(out, *frame.profile);
    if (frame.presence)
        appendPresence(out, *frame.presence, occupancy);
    if (frame.power)
        appendPower(out, *frame.power);
    if (frame.statistics)
        appendStatistics(out, *frame.statistics);
    if (!frame.targets.empty() || frame.emptyTracker)
        appendTargets(out, frame.targets);
    if (!frame.zones.empty())
        appendZones(out, frame.zones);
    out += "}\n";
}

} // namespace Vantrel
