#include "decoding/framedecoder.h"

#include "decoding/framereader.h"
#include "platform/weavegraph/framevocabulary.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointF>
#include <QVector>

#include <cmath>
#include <optional>
#include <vector>

namespace Vantrel {

using FrameReader::findArray;
using FrameReader::findSignal;
using FrameReader::findValues;

namespace {

namespace Key = Frames::Key;
namespace Output = Frames::Output;

// Presence profile bins: the sensor reports presence only within these range bins.
constexpr uint32_t FirstProfileBin = 17;
constexpr uint32_t LastProfileBin = 31;

void warn(const QString &message)
{
    qWarning().noquote() << message;
}

// Truncates toward zero and saturates: negative values and NaN give 0.
uint32_t toUint32(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value >= 4294967296.0)
        return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

template <typename T>
bool holdsAtLeast(const flatbuffers::Vector<T> &values, uint32_t count, const char *arrayName)
{
    if (values.size() >= count)
        return true;
    warn(FrameDecoder::tr("Array %1 holds %2 values, expected at least %3")
             .arg(QLatin1String(arrayName))
             .arg(values.size())
             .arg(count));
    return false;
}

// Profile bin positions in centimetres.
float binPosition(uint32_t bin)
{
    return static_cast<float>((bin * 0.0714 - 1.145) * 100.0);
}

struct RowLayout
{
    uint32_t rows;
    uint32_t stride;
};

// The shape of a row-wise array. Rows that would need values the array does not hold, or that are
// narrower than the values taken from each row, are refused as a whole.
std::optional<RowLayout> rowLayout(const Frames::ArrayData &data, uint32_t valueCount, uint32_t valuesPerRow)
{
    const auto *shape = data.shape();
    if (!shape) {
        warn(FrameDecoder::tr("Frame doesn't have shape"));
        return std::nullopt;
    }
    if (shape->size() != 2) {
        warn(FrameDecoder::tr("Unexpected shape size. Expected: %1, actual: %2").arg(2).arg(shape->size()));
        return std::nullopt;
    }
    const RowLayout layout{shape->Get(0), shape->Get(1)};
    if (layout.rows > 0 && (layout.stride < valuesPerRow || layout.rows * layout.stride > valueCount)) {
        warn(FrameDecoder::tr("Frame shape %1 x %2 doesn't fit its %3 values")
                 .arg(layout.rows)
                 .arg(layout.stride)
                 .arg(valueCount));
        return std::nullopt;
    }
    return layout;
}

template <typename T>
struct Rows
{
    const flatbuffers::Vector<T> *values;
    RowLayout layout;

    T at(uint32_t row, uint32_t column) const { return values->Get(row * layout.stride + column); }
};

// The values of a row-wise array of the given signal and their layout; nothing when the signal, the
// array or its values are missing, or the shape does not fit.
template <typename T>
std::optional<Rows<T>> rowsOf(const Frames::Frame &frame, uint32_t signalKey, uint32_t arrayKey, uint32_t valuesPerRow)
{
    const Frames::Signal *signal = findSignal(frame, signalKey);
    const Frames::ArrayData *data = signal ? findArray(*signal, arrayKey) : nullptr;
    const auto *values = data ? FrameReader::values<T>(*data) : nullptr;
    if (!values)
        return std::nullopt;
    const std::optional<RowLayout> layout = rowLayout(*data, values->size(), valuesPerRow);
    if (!layout)
        return std::nullopt;
    return Rows<T>{values, *layout};
}

// int32 values of the human presence array, with the warnings of a frame that lacks them.
const flatbuffers::Vector<int32_t> *humanPresenceValues(const Frames::Frame &frame, uint32_t count)
{
    const Frames::Signal *signal = findSignal(frame, Key::SignalSemanticHumanPresence);
    if (!signal) {
        warn(FrameDecoder::tr("No SIGNAL_SEMANTIC_HUMAN_PRESENCE found"));
        return nullptr;
    }
    const auto *values = findValues<int32_t>(*signal, Key::ArraySemanticHumanPresence);
    if (!values) {
        warn(FrameDecoder::tr("No array ARRAY_SEMANTIC_HUMAN_PRESENCE found"));
        return nullptr;
    }
    return holdsAtLeast(*values, count, "ARRAY_SEMANTIC_HUMAN_PRESENCE") ? values : nullptr;
}

// The first value of a float array; nothing without the array or with an empty one.
std::optional<float> firstValue(const Frames::Signal &signal, uint32_t arrayKey)
{
    const auto *values = findValues<float>(signal, arrayKey);
    if (!values || values->size() == 0)
        return std::nullopt;
    return values->Get(0);
}

template <typename T>
QVector<quint32> widened(const flatbuffers::Vector<T> &values)
{
    QVector<quint32> result;
    result.reserve(static_cast<int>(values.size()));
    for (T value : values)
        result.append(static_cast<quint32>(static_cast<int32_t>(value)));
    return result;
}

} // namespace

int FrameDecoder::decode(uint32_t outputId, const uint8_t *frame, size_t length, DecodedFrame &out)
{
    out.clear();
    out.length = length;
    const OutputDecoders *decoders = decodersFor(outputId);
    if (!decoders)
        return 0;
    // Scalars are read in place, which needs the alignment the FlatBuffers builder gives its buffers;
    // a frame handed over at an odd address is decoded from an aligned copy instead.
    std::vector<uint8_t> aligned;
    if (reinterpret_cast<uintptr_t>(frame) % alignof(int64_t) != 0) {
        aligned.assign(frame, frame + length);
        frame = aligned.data();
    }
    // The frames come from a closed library: nothing is read from a frame the verifier rejects.
    if (!FrameReader::verify(frame, length)) {
        warn(FrameDecoder::tr("Output frame %1 of %2 bytes is not a valid frame; not decoded")
                 .arg(outputId, 8, 16, QLatin1Char('0'))
                 .arg(length));
        return decoders->presence ? -1 : 0;
    }
    const int status = decodeVerified(outputId, *FrameReader::root(frame), out);
    out.length = length;
    return status;
}

int FrameDecoder::decodeVerified(uint32_t outputId, const Frames::Frame &frame, DecodedFrame &out)
{
    out.clear();
    const OutputDecoders *decoders = decodersFor(outputId);
    if (!decoders)
        return 0;
    out.outputId = outputId;
    out.kind = decoders->kind;
    out.sequenceNumber = frame.sequenceNumber();
    out.timestamp = frame.timestamp();
    for (Decoder decoder : {decoders->first, decoders->second}) {
        if (decoder)
            decoder(frame, out);
    }
    return decoders->presence ? decoders->presence(frame, out) : 0;
}

namespace {
using Self = FrameDecoder;
constexpr auto fast = R5::Proximity2D::Enum::Fast;
constexpr auto slow = R5::Proximity2D::Enum::Slow;
} // namespace

const FrameDecoder::OutputDecoders FrameDecoder::s_outputs[] = {
    {Output::HeatmapBasic, "heatmap", &Self::decodeHeatmapBasic, nullptr, nullptr},
    {Output::ProfileAndPresenceA, "range-presence", &Self::decodeRangeProfile, nullptr, &Self::decodeHumanPresence},
    {Output::ProfileAndPresenceB, "range-presence", &Self::decodeRangeProfile, nullptr, &Self::decodeHumanPresence},
    {Output::ProfileAndPresenceC, "range-presence", &Self::decodeRangeProfile, nullptr, &Self::decodeHumanPresence},
    {Output::ProximityFast, "proximity-fast", &Self::decodeProximity<fast>, nullptr, nullptr},
    {Output::PowerDataA, "power", &Self::decodePowerData, nullptr, nullptr},
    {Output::PowerDataB, "power", &Self::decodePowerData, nullptr, nullptr},
    {Output::PresenceProfile, "presence-profile", nullptr, nullptr, &Self::decodePresenceProfile},
    {Output::ProximityFixed, "proximity-fixed", &Self::decodeProximityFixed, nullptr, nullptr},
    {Output::ProximitySlow, "proximity-slow", &Self::decodeProximity<slow>, nullptr, nullptr},
    {Output::RangeProfile, "range-profile", &Self::decodeRangeProfile, nullptr, nullptr},
    {Output::ProximitySlowAndStatistics, "proximity-statistics", &Self::decodeProximity<slow>,
     &Self::decodeDetectionStatistics, nullptr},
    {Output::HumanPresenceA, "human-presence", nullptr, nullptr, &Self::decodeHumanPresence},
    {Output::HumanPresenceB, "human-presence", nullptr, nullptr, &Self::decodeHumanPresence},
    {Output::Presence3, "presence3", nullptr, nullptr, &Self::decodePresence3},
};

const FrameDecoder::OutputDecoders *FrameDecoder::decodersFor(uint32_t outputId)
{
    for (const OutputDecoders &decoders : s_outputs) {
        if (decoders.outputId == outputId)
            return &decoders;
    }
    return nullptr;
}

const char *FrameDecoder::kind(uint32_t outputId)
{
    const OutputDecoders *decoders = decodersFor(outputId);
    return decoders ? decoders->kind : nullptr;
}

QStringList FrameDecoder::kinds()
{
    QStringList names;
    for (const OutputDecoders &decoders : s_outputs) {
        const QString name = QLatin1String(decoders.kind);
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

uint32_t FrameDecoder::outputIdOf(const QString &kind)
{
    for (const OutputDecoders &decoders : s_outputs) {
        if (kind == QLatin1String(decoders.kind))
            return decoders.outputId;
    }
    return 0;
}

uint32_t FrameDecoder::recognize(const Frames::Frame &frame)
{
    if (findSignal(frame, Key::SignalSemanticPresence3))
        return Output::Presence3;
    const Frames::Signal *target = findSignal(frame, Key::SignalSemanticTarget);
    const Frames::Signal *human = findSignal(frame, Key::SignalSemanticHumanPresence);
    const auto *presence = human ? findValues<int32_t>(*human, Key::ArraySemanticHumanPresence) : nullptr;
    if (target) {
        if (findArray(*target, Key::ArraySemanticFirstStatistic))
            return Output::ProximitySlowAndStatistics;
        if (findArray(*target, Key::ArraySemanticProximityRows))
            return Output::ProximityFast;
        if (findArray(*target, Key::ArraySemanticProfileRanges))
            return presence ? Output::ProfileAndPresenceA : Output::RangeProfile;
    }
    if (!human)
        return 0;
    if (findArray(*human, Key::ArraySemanticHeatmapRows))
        return Output::HeatmapBasic;
    if (findArray(*human, Key::ArraySemanticProximityFixedRows))
        return Output::ProximityFixed;
    if (findArray(*human, Key::ArraySemanticPowerValues))
        return Output::PowerDataA;
    if (presence)
        return presence->size() >= 5 ? Output::PresenceProfile : Output::HumanPresenceA;
    return 0;
}

void FrameDecoder::noTarget(uchar type, DecodedFrame &out)
{
    out.emptyTracker = type;
    out.presence = PresenceReport{false, 0, 0};
}

int FrameDecoder::decodeHumanPresence(const Frames::Frame &frame, DecodedFrame &out)
{
    const auto *v = humanPresenceValues(frame, 4);
    if (!v)
        return -1;
    const float distance = static_cast<float>(v->Get(1)) * 100.0f;
    out.presence = PresenceReport{v->Get(0) != 0, toUint32(distance), static_cast<uint32_t>(v->Get(3))};
    return 0;
}

int FrameDecoder::decodePresence3(const Frames::Frame &frame, DecodedFrame &out)
{
    const Frames::Signal *signal = findSignal(frame, Key::SignalSemanticPresence3);
    if (!signal) {
        warn(FrameDecoder::tr("No SIGNAL_SEMANTIC_PRESENCE3 found"));
        return -1;
    }
    const auto *p = findValues<float>(*signal, Key::ArraySemanticPresenceSingle);
    if (!p) {
        warn(FrameDecoder::tr("No array ARRAY_SEMANTIC_PRESENCESINGLE found"));
        return -1;
    }
    const auto *c = findValues<float>(*signal, Key::ArraySemanticPresenceConfidence);
    if (!c) {
        warn(FrameDecoder::tr("No array ARRAY_SEMANTIC_PRESENCE_CONFIDENCE found"));
        return -1;
    }
    if (!holdsAtLeast(*p, 4, "ARRAY_SEMANTIC_PRESENCESINGLE")
        || !holdsAtLeast(*c, 1, "ARRAY_SEMANTIC_PRESENCE_CONFIDENCE"))
        return -1;
    const float distance = p->Get(2) * 1000.0f;
    // NaN compares unequal to 0, so an undecided presence counts as present.
    out.presence = PresenceReport{p->Get(3) != 0.0f, toUint32(distance), toUint32(c->Get(0))};
    return 0;
}

int FrameDecoder::decodePresenceProfile(const Frames::Frame &frame, DecodedFrame &out)
{
    const auto *v = humanPresenceValues(frame, 5);
    if (!v)
        return -1;
    const bool state = v->Get(1) != 0;
    const auto bin = static_cast<uint32_t>(v->Get(2));
    const int32_t power = v->Get(4);
    // The bin picks a point of the power list only when presence is reported; otherwise it just sets
    // the distance, for which any bin will do.
    if (state && (bin < FirstProfileBin || bin > LastProfileBin)) {
        warn(FrameDecoder::tr("Presence profile bin %1 is outside %2 to %3")
                 .arg(bin)
                 .arg(FirstProfileBin)
                 .arg(LastProfileBin));
        return -1;
    }

    constexpr int binCount = LastProfileBin - FirstProfileBin + 1;
    QVector<QPointF> powerPoints;
    powerPoints.reserve(binCount);
    for (uint32_t n = FirstProfileBin; n <= LastProfileBin; ++n)
        powerPoints.append(QPointF(binPosition(n), 0.0));
    QVector<QPointF> thresholdPoints = powerPoints;
    if (state) {
        const float level = static_cast<float>(10.0 * std::log10(static_cast<double>(power)));
        powerPoints[static_cast<int>(bin - FirstProfileBin)].setY(level);
    }

    out.profile = RangeProfile{binPosition(FirstProfileBin), binPosition(LastProfileBin), binCount,
                               std::move(thresholdPoints),   std::move(powerPoints),      true};
    out.presence = PresenceReport{state, toUint32(binPosition(bin)), 100};
    return 0;
}

template <R5::Proximity2D::Enum kind>
void FrameDecoder::decodeProximity(const Frames::Frame &frame, DecodedFrame &out)
{
    const auto type = static_cast<uchar>(kind);
    // Each row: range, (unused), angle.
    const auto rows = rowsOf<float>(frame, Key::SignalSemanticTarget, Key::ArraySemanticProximityRows, 3);
    if (!rows)
        return;
    for (uint32_t row = 0; row < rows->layout.rows; ++row) {
        const float range = rows->at(row, 0);
        const float angle = rows->at(row, 2);
        if (std::isnan(range) || std::isnan(angle))
            continue;
        out.targets.push_back({type, range, angle});
        // Presence is the nearest-reported target: the first one with a position.
        if (!out.presence)
            out.presence = PresenceReport{true, toUint32(static_cast<double>(range) * 1000.0), 0};
    }
    if (rows->layout.rows == 0)
        noTarget(type, out);
}

void FrameDecoder::decodeProximityFixed(const Frames::Frame &frame, DecodedFrame &out)
{
    const auto fast = static_cast<uchar>(R5::Proximity2D::Enum::Fast);
    // Each row: presence, range and angle in hundredths, confidence.
    const auto rows = rowsOf<int16_t>(frame, Key::SignalSemanticHumanPresence, Key::ArraySemanticProximityFixedRows, 4);
    if (!rows)
        return;
    for (uint32_t row = 0; row < rows->layout.rows; ++row) {
        out.targets.push_back(
            {fast, static_cast<float>(rows->at(row, 1)) / 100.0f, static_cast<float>(rows->at(row, 2)) / 100.0f});
        if (row == 0) {
            const auto confidence = static_cast<uint32_t>(static_cast<int32_t>(rows->at(row, 3)));
            out.presence = PresenceReport{rows->at(row, 0) != 0, 0, confidence};
        }
    }
    if (rows->layout.rows == 0)
        noTarget(fast, out);
}

void FrameDecoder::decodeDetectionStatistics(const Frames::Frame &frame, DecodedFrame &out)
{
    const Frames::Signal *signal = findSignal(frame, Key::SignalSemanticTarget);
    if (!signal)
        return;
    const std::optional<float> first = firstValue(*signal, Key::ArraySemanticFirstStatistic);
    const std::optional<float> second = firstValue(*signal, Key::ArraySemanticSecondStatistic);
    if (first && second)
        out.statistics = DetectionStatistics{*first, *second};
}

void FrameDecoder::decodeRangeProfile(const Frames::Frame &frame, DecodedFrame &out)
{
    const Frames::Signal *signal = findSignal(frame, Key::SignalSemanticTarget);
    const auto *ranges = signal ? findValues<float>(*signal, Key::ArraySemanticProfileRanges) : nullptr;
    if (!ranges)
        return;
    // Negative (and NaN) ranges are dropped; their count shifts where the levels start.
    const auto toCentimetres = [](float range) { return static_cast<float>(static_cast<double>(range) * 100.0); };
    uint32_t kept = 0;
    uint32_t skipped = 0;
    float first = 0.0f;
    float last = 0.0f;
    for (float range : *ranges) {
        if (range >= 0.0f) {
            last = toCentimetres(range);
            if (kept++ == 0)
                first = last;
        } else {
            ++skipped;
        }
    }
    if (kept == 0)
        return;

    const auto levelPoints = [&](uint32_t arrayKey) {
        QVector<QPointF> points;
        const auto *levels = findValues<float>(*signal, arrayKey);
        if (!levels || levels->size() < kept + skipped)
            return points;
        points.reserve(static_cast<int>(kept));
        uint32_t index = skipped;
        for (float range : *ranges) {
            if (range >= 0.0f)
                points.append(
                    QPointF(toCentimetres(range), 10.0 * std::log10(static_cast<double>(levels->Get(index++)))));
        }
        return points;
    };
    QVector<QPointF> threshold = levelPoints(Key::ArraySemanticThreshold);
    QVector<QPointF> power = levelPoints(Key::ArraySemanticProfilePower);
    if (threshold.isEmpty() || power.isEmpty())
        return;
    out.profile = RangeProfile{first, last, static_cast<int>(kept), std::move(threshold), std::move(power), false};
}

void FrameDecoder::decodePowerData(const Frames::Frame &frame, DecodedFrame &out)
{
    const Frames::Signal *signal = findSignal(frame, Key::SignalSemanticHumanPresence);
    if (!signal)
        return;
    const auto *ranges = findValues<int16_t>(*signal, Key::ArraySemanticPowerRanges);
    const auto *power = findValues<uint32_t>(*signal, Key::ArraySemanticPowerValues);
    const auto *threshold = findValues<uint16_t>(*signal, Key::ArraySemanticThreshold);
    if (!ranges || !power || !threshold || ranges->size() != power->size() || threshold->size() != power->size())
        return;
    const auto *effectiveRange = findValues<int16_t>(*signal, Key::ArraySemanticEffectiveRange);
    if (!effectiveRange || effectiveRange->size() != 1)
        return;
    const auto *distance = findValues<int32_t>(*signal, Key::ArraySemanticDistance);
    if (!distance || distance->size() < 2)
        return;
    out.power = PowerProfile{QVector<quint32>(power->begin(), power->end()), widened(*threshold), widened(*ranges),
                             static_cast<uint>(static_cast<int32_t>(effectiveRange->Get(0))),
                             static_cast<uint>(distance->Get(1) / 10)};
}

void FrameDecoder::decodeHeatmapBasic(const Frames::Frame &frame, DecodedFrame &out)
{
    // Each row: state, confidence, zone index. A heatmap without rows has no records.
    const auto rows = rowsOf<int32_t>(frame, Key::SignalSemanticHumanPresence, Key::ArraySemanticHeatmapRows, 3);
    if (!rows)
        return;
    for (uint32_t row = 0; row < rows->layout.rows; ++row)
        out.zones.push_back({rows->at(row, 0), rows->at(row, 1), rows->at(row, 2)});
}

} // namespace Vantrel
