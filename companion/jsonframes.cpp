#include "jsonframes.h"

#include "framedecoder.h"
#include "jsonlinesink.h"

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

} // namespace

void JsonFrames::addSink(JsonLineSink *sink)
{
    m_sinks.push_back(sink);
}

void JsonFrames::beginFrame(uint32_t outputId, const Frames::Frame &frame, size_t length)
{
    m_object.clear();
    m_targets.clear();
    m_zones.clear();
    if (outputId == 0) {
        m_object += "{\"kind\":\"unknown\",\"size\":";
        appendInt(m_object, static_cast<int64_t>(length));
        return;
    }
    char id[9];
    static constexpr char hex[] = "0123456789abcdef";
    for (int i = 0; i < 8; ++i)
        id[i] = hex[(outputId >> (28 - 4 * i)) & 0xF];
    id[8] = '\0';
    m_object += "{\"id\":\"";
    m_object += id;
    m_object += "\",\"kind\":\"";
    m_object += FrameDecoder::kind(outputId);
    m_object += "\",\"sequence\":";
    appendInt(m_object, frame.sequenceNumber());
    m_object += ",\"timestamp\":";
    appendInt(m_object, frame.timestamp());
}

void JsonFrames::endFrame()
{
    if (!m_targets.empty()) {
        m_object += ",\"targets\":[";
        m_object += m_targets;
        m_object += ']';
    }
    if (!m_zones.empty()) {
        m_object += ",\"zones\":[";
        m_object += m_zones;
        m_object += ']';
    }
    m_object += "}\n";
    for (JsonLineSink *sink : m_sinks)
        sink->line(m_object);
}

void JsonFrames::flush()
{
    for (JsonLineSink *sink : m_sinks)
        sink->flush();
}

void JsonFrames::hpdData(bool state, uint32_t distance, uint32_t confidence, int64_t, uint32_t)
{
    // As on vantrel-cli's presence line: the state as 0 or 1, the distance in whole centimetres.
    m_object += state ? ",\"presence\":1,\"distance_cm\":" : ",\"presence\":0,\"distance_cm\":";
    appendInt(m_object, distance / 10);
    m_object += ",\"confidence\":";
    appendInt(m_object, confidence);
}

void JsonFrames::powerData(const QVector<quint32> &powerData, const QVector<quint32> &thresholdData,
                           const QVector<quint32> &ranges, uint effectiveRange, uint distance)
{
    appendArray<int32_t>(m_object, ",\"ranges_cm\":", ranges);
    appendArray<uint32_t>(m_object, ",\"power_cdb\":", powerData);
    appendArray<uint32_t>(m_object, ",\"threshold_cdb\":", thresholdData);
    m_object += ",\"effective_range_cm\":";
    appendInt(m_object, static_cast<int32_t>(effectiveRange));
    m_object += ",\"distance_cm\":";
    appendInt(m_object, static_cast<int32_t>(distance));
}

void JsonFrames::range(float start, float end, int count)
{
    m_object += ",\"range_cm\":{\"start\":";
    appendFloat(m_object, start);
    m_object += ",\"end\":";
    appendFloat(m_object, end);
    m_object += ",\"bins\":";
    appendInt(m_object, count);
    m_object += '}';
}

void JsonFrames::thresholdPoints(const QVector<QPointF> &points)
{
    appendPoints(m_object, ",\"threshold_db\":", points);
}

void JsonFrames::powerPoints(const QVector<QPointF> &points)
{
    appendPoints(m_object, ",\"power_db\":", points);
}

void JsonFrames::proximity2DData(uchar type, float range, float angle)
{
    if (!m_targets.empty())
        m_targets += ',';
    m_targets += type == 0 ? "{\"tracker\":\"fast\",\"range_m\":" : "{\"tracker\":\"slow\",\"range_m\":";
    appendFloat(m_targets, range);
    m_targets += ",\"angle_deg\":";
    appendFloat(m_targets, angle);
    m_targets += '}';
}

void JsonFrames::detectionStatistics(float first, float second)
{
    m_object += ",\"statistics\":[";
    appendFloat(m_object, first);
    m_object += ',';
    appendFloat(m_object, second);
    m_object += ']';
}

void JsonFrames::heatmapBasicData(int32_t state, int32_t confidence, int32_t zoneIndex)
{
    if (!m_zones.empty())
        m_zones += ',';
    m_zones += "{\"occupied\":";
    appendInt(m_zones, state);
    m_zones += ",\"confidence\":";
    appendInt(m_zones, confidence);
    m_zones += ",\"zone\":";
    appendInt(m_zones, zoneIndex);
    m_zones += '}';
}

} // namespace Vantrel
