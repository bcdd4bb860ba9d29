#include "frames/http/metrics.h"

#include "frames/state/sensorstate.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace Vantrel {

namespace {

// A label value as the exposition format escapes it.
QByteArray labelValue(const QByteArray &value)
{
    QByteArray escaped;
    for (const char c : value) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c == '\n' ? QByteArray("\\n") : QByteArray(1, c);
    }
    return escaped;
}

// Numbers are written by hand: printf's decimal point is the locale's, and Qt sets the user's.
void append(std::string &out, uint64_t value)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, "%" PRIu64, value);
    out += digits;
}

// Thousandths as a decimal: milliseconds as seconds, millimetres as metres.
void appendThousandths(std::string &out, int64_t value)
{
    if (value < 0) {
        out += '-';
        value = -value;
    }
    char digits[32];
    std::snprintf(digits, sizeof digits, "%" PRId64 ".%03" PRId64, value / 1000, value % 1000);
    out += digits;
}

void family(std::string &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void sample(std::string &out, const char *name, uint64_t value)
{
    out += name;
    out += ' ';
    append(out, value);
    out += '\n';
}

} // namespace

Metrics::Metrics(const QString &version, const SensorState &state, std::function<bool()> mqttConnected)
    : m_version(labelValue(version.toUtf8()))
    , m_state(state)
    , m_mqttConnected(std::move(mqttConnected))
{
}

std::string Metrics::text(int viewers, uint64_t viewerDrops) const
{
    const FrameCounters &counters = m_state.counters();
    std::string out;
    out.reserve(2048);

    family(out, "vantrel_frames_total", "counter", "Frames read from the stream, by kind.");
    for (int i = 0; i < counters.kindCount(); ++i) {
        out += "vantrel_frames_total{kind=\"";
        out += labelValue(counters.kindName(i)).constData();
        out += "\"} ";
        append(out, counters.frames(i));
        out += '\n';
    }

    family(out, "vantrel_frames_dropped_total", "counter",
           "Frames lost: frame periods missing from the stream (sequence), frames skipped for viewers that fell "
           "behind (viewer).");
    out += "vantrel_frames_dropped_total{cause=\"sequence\"} ";
    append(out, counters.sequenceGaps());
    out += "\nvantrel_frames_dropped_total{cause=\"viewer\"} ";
    append(out, viewerDrops);
    out += '\n';

    family(out, "vantrel_last_frame_timestamp_seconds", "gauge",
           "When the last frame was read (the program's start before the first), seconds since the Epoch.");
    out += "vantrel_last_frame_timestamp_seconds ";
    appendThousandths(out, counters.lastFrameMs());
    out += '\n';

    family(out, "vantrel_stream_stale", "gauge", "1 while no frame has come for the stale-after time.");
    sample(out, "vantrel_stream_stale", m_state.stale() ? 1 : 0);

    // Nothing is better than a value that was never reported.
    if (const int presence = m_state.presenceState(); presence >= 0) {
        family(out, "vantrel_presence", "gauge", "The last presence report: 1 present, 0 absent.");
        sample(out, "vantrel_presence", uint64_t(presence));
        family(out, "vantrel_distance_meters", "gauge", "The distance of the last presence report.");
        out += "vantrel_distance_meters ";
        appendThousandths(out, m_state.distance());
        out += '\n';
    }
    family(out, "vantrel_occupancy", "gauge", "Presence held for the hold time after the last detection.");
    sample(out, "vantrel_occupancy", m_state.occupancy() ? 1 : 0);
    if (m_mqttConnected) {
        family(out, "vantrel_mqtt_connected", "gauge", "1 while connected to the MQTT broker.");
        sample(out, "vantrel_mqtt_connected", m_mqttConnected() ? 1 : 0);
    }

    family(out, "vantrel_viewers", "gauge", "Viewers of the web view now.");
    sample(out, "vantrel_viewers", uint64_t(std::max(0, viewers)));

    family(out, "vantrel_build_info", "gauge", "The program's version; always 1.");
    out += "vantrel_build_info{version=\"";
    out += m_version.constData();
    out += "\"} 1\n";
    return out;
}

} // namespace Vantrel
