// One function per kind of output frame; the keys and layouts are what the host's decoders read.
#include "platform/weavegraph/standin/frames.h"

#include "platform/weavegraph/framevocabulary.h"
#include "platform/weavegraph/standin/framebuilder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Vantrel::Standin {
namespace {

namespace Key = Frames::Key;

using Builder = flatbuffers::FlatBufferBuilder;
using Signals = std::vector<SignalOffset>;

template <typename T>
T saturate(double value)
{
    const double low = double(std::numeric_limits<T>::lowest());
    const double high = double(std::numeric_limits<T>::max());
    return static_cast<T>(std::clamp(std::round(value), low, high));
}

double degreesToRadians(double degrees)
{
    return degrees * 3.14159265358979323846 / 180.0;
}

// Reproducible noise: the same frame of the same flow always looks the same.
double noise(uint32_t sequence, int bin)
{
    uint32_t h = sequence * 2654435761u ^ (uint32_t(bin) + 1) * 40503u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return double(h) / 4294967296.0;
}

struct Profile
{
    std::vector<double> ranges; // metres
    std::vector<double> powerDb;
};

Profile profile(const FrameInput &in)
{
    Profile p;
    const double step = in.settings.maxRange / profileBins;
    for (int i = 0; i < profileBins; ++i) {
        const double range = (i + 0.5) * step;
        double db = in.seen.noiseDb + 3.0 * noise(in.sequence, i);
        if (in.seen.truth.present) {
            const double offBins = (range - in.seen.truth.distance) / step;
            db = std::max(db, in.seen.echoDb - 6.0 * offBins * offBins);
        }
        p.ranges.push_back(range);
        p.powerDb.push_back(db);
    }
    return p;
}

float linear(double db)
{
    return float(std::pow(10.0, db / 10.0));
}

SignalOffset humanPresenceSignal(Builder &b, const FrameInput &in)
{
    const Observation &s = in.seen;
    const std::vector<int32_t> values = {
        s.detected ? 1 : 0,
        s.detected ? saturate<int32_t>(s.truth.distance * 10.0) : 0, // decimetres
        s.detected ? saturate<int32_t>(s.truth.angle) : 0,
        saturate<int32_t>(s.confidence),
    };
    return makeSignal(b, Key::SignalSemanticHumanPresence,
                      {makeArray(b, Key::ArraySemanticHumanPresence, values, {4})});
}

SignalOffset rangeProfileSignal(Builder &b, const FrameInput &in)
{
    const Profile p = profile(in);
    std::vector<float> ranges, power, threshold;
    for (size_t i = 0; i < p.ranges.size(); ++i) {
        ranges.push_back(float(p.ranges[i]));
        power.push_back(linear(p.powerDb[i]));
        threshold.push_back(linear(in.settings.thresholdDb));
    }
    const uint16_t bins = uint16_t(ranges.size());
    return makeSignal(b, Key::SignalSemanticTarget,
                      {makeArray(b, Key::ArraySemanticProfileRanges, ranges, {bins}),
                       makeArray(b, Key::ArraySemanticThreshold, threshold, {bins}),
                       makeArray(b, Key::ArraySemanticProfilePower, power, {bins})});
}

// Rows of range (metres), radial speed (metres per second) and angle (degrees), one per detected target.
ArrayOffset proximityRows(Builder &b, const FrameInput &in)
{
    std::vector<float> rows;
    if (in.seen.detected)
        rows = {float(in.seen.truth.distance), float(in.seen.truth.speed), float(in.seen.truth.angle)};
    return makeArray(b, Key::ArraySemanticProximityRows, rows, {uint16_t(rows.size() / 3), 3});
}

Signals presence3(Builder &b, const FrameInput &in)
{
    const Observation &s = in.seen;
    const double d = s.detected ? s.truth.distance : 0.0;
    const double a = degreesToRadians(s.truth.angle);
    const std::vector<float> single = {float(d * std::sin(a)), float(d * std::cos(a)), float(d),
                                       s.detected ? 1.0f : 0.0f};
    const std::vector<float> confidence = {float(s.confidence)};
    return {makeSignal(b, Key::SignalSemanticPresence3,
                       {makeArray(b, Key::ArraySemanticPresenceSingle, single, {4}),
                        makeArray(b, Key::ArraySemanticPresenceConfidence, confidence, {1})})};
}

// Bins 17 to 31 cover 7 cm to 107 cm; a person beyond sits in the last bin.
Signals presenceProfile(Builder &b, const FrameInput &in)
{
    const Observation &s = in.seen;
    const int bin = std::clamp(int(std::lround((s.truth.distance + 1.145) / 0.0714)), 17, 31);
    const std::vector<int32_t> values = {
        s.detected ? 1 : 0,
        s.detected ? 1 : 0,
        bin,
        saturate<int32_t>(s.confidence),
        s.detected ? saturate<int32_t>(std::pow(10.0, s.echoDb / 10.0)) : 0,
    };
    return {
        makeSignal(b, Key::SignalSemanticHumanPresence, {makeArray(b, Key::ArraySemanticHumanPresence, values, {5})})};
}

// Adds signal-to-noise ratio and noise floor, both in dB.
Signals proximityStatistics(Builder &b, const FrameInput &in)
{
    const std::vector<float> snr = {float(in.seen.truth.present ? in.seen.echoDb - in.seen.noiseDb : 0.0)};
    const std::vector<float> floorDb = {float(in.seen.noiseDb)};
    return {makeSignal(b, Key::SignalSemanticTarget,
                       {proximityRows(b, in), makeArray(b, Key::ArraySemanticFirstStatistic, snr, {1}),
                        makeArray(b, Key::ArraySemanticSecondStatistic, floorDb, {1})})};
}

// One row: presence, range in centimetres, angle in hundredths of a degree, confidence.
Signals proximityFixed(Builder &b, const FrameInput &in)
{
    const Observation &s = in.seen;
    const std::vector<int16_t> row = {
        int16_t(s.detected ? 1 : 0),
        s.detected ? saturate<int16_t>(s.truth.distance * 100.0) : int16_t(0),
        s.detected ? saturate<int16_t>(s.truth.angle * 100.0) : int16_t(0),
        saturate<int16_t>(s.confidence),
    };
    return {makeSignal(b, Key::SignalSemanticHumanPresence,
                       {makeArray(b, Key::ArraySemanticProximityFixedRows, row, {1, 4})})};
}

// Ranges and effective range in centimetres, power and threshold in hundredths of a dB,
// distance as (presence, millimetres).
Signals power(Builder &b, const FrameInput &in)
{
    const Profile p = profile(in);
    std::vector<int16_t> ranges;
    std::vector<uint32_t> power;
    std::vector<uint16_t> threshold;
    for (size_t i = 0; i < p.ranges.size(); ++i) {
        ranges.push_back(saturate<int16_t>(p.ranges[i] * 100.0));
        power.push_back(saturate<uint32_t>(p.powerDb[i] * 100.0));
        threshold.push_back(saturate<uint16_t>(in.settings.thresholdDb * 100.0));
    }
    const std::vector<int16_t> effective = {saturate<int16_t>(in.settings.maxRange * 100.0)};
    const std::vector<int32_t> distance = {in.seen.detected ? 1 : 0,
                                           in.seen.detected ? saturate<int32_t>(in.seen.truth.distance * 1000.0) : 0};
    const uint16_t bins = uint16_t(ranges.size());
    return {makeSignal(b, Key::SignalSemanticHumanPresence,
                       {makeArray(b, Key::ArraySemanticPowerRanges, ranges, {bins}),
                        makeArray(b, Key::ArraySemanticPowerValues, power, {bins}),
                        makeArray(b, Key::ArraySemanticThreshold, threshold, {bins}),
                        makeArray(b, Key::ArraySemanticEffectiveRange, effective, {1}),
                        makeArray(b, Key::ArraySemanticDistance, distance, {2})})};
}

// Equal distance bands up to the maximum range; the band holding the person is occupied.
Signals heatmap(Builder &b, const FrameInput &in)
{
    const Observation &s = in.seen;
    const int occupied =
        s.detected ? std::min(heatmapZones - 1, int(s.truth.distance / (in.settings.maxRange / heatmapZones))) : -1;
    std::vector<int32_t> rows;
    for (int zone = 0; zone < heatmapZones; ++zone) {
        const bool here = zone == occupied;
        rows.insert(rows.end(), {here ? 1 : 0, here ? saturate<int32_t>(s.confidence) : 0, zone});
    }
    return {makeSignal(b, Key::SignalSemanticHumanPresence,
                       {makeArray(b, Key::ArraySemanticHeatmapRows, rows, {uint16_t(heatmapZones), 3})})};
}

Signals signalsOf(OutputKind kind, Builder &b, const FrameInput &in)
{
    switch (kind) {
    case OutputKind::HumanPresence:
        return {humanPresenceSignal(b, in)};
    case OutputKind::Presence3:
        return presence3(b, in);
    case OutputKind::PresenceProfile:
        return presenceProfile(b, in);
    case OutputKind::RangePresence:
        return {rangeProfileSignal(b, in), humanPresenceSignal(b, in)};
    case OutputKind::RangeProfile:
        return {rangeProfileSignal(b, in)};
    case OutputKind::ProximityFast:
    case OutputKind::ProximitySlow:
        return {makeSignal(b, Key::SignalSemanticTarget, {proximityRows(b, in)})};
    case OutputKind::ProximityStatistics:
        return proximityStatistics(b, in);
    case OutputKind::ProximityFixed:
        return proximityFixed(b, in);
    case OutputKind::Power:
        return power(b, in);
    case OutputKind::Heatmap:
        return heatmap(b, in);
    }
    return {};
}

} // namespace

FrameBytes FrameFactory::build(OutputKind kind, const FrameInput &input)
{
    m_builder.Clear();
    const Signals signals = signalsOf(kind, m_builder, input);
    finishFrame(m_builder, input.sequence, input.timestamp, signals);
    return {m_builder.GetBufferPointer(), m_builder.GetSize()};
}

} // namespace Vantrel::Standin
