#include "frames/http/metrics.h"

#include "decoding/decodedframe.h"
#include "decoding/framedecoder.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace Vantrel {

namespace {

int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

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

struct Metrics::KindCount
{
    QByteArray name;
    std::atomic<uint64_t> frames{0};
};

Metrics::Metrics(const QString &version)
    : m_version(labelValue(version.toUtf8()))
    // Before the first frame, the start: a stream that never begins is as late as one that stopped.
    , m_lastFrameMs(wallClockMs())
{
    // Every kind is shown from the start, at 0, so that rates over a kind's first frames are right.
    QStringList kinds = FrameDecoder::kinds();
    kinds.append(QStringLiteral("unknown"));
    m_kindCount = kinds.size();
    m_kinds = std::make_unique<KindCount[]>(size_t(m_kindCount));
    for (int i = 0; i < m_kindCount; ++i)
        m_kinds[size_t(i)].name = labelValue(kinds[i].toUtf8());
}

Metrics::~Metrics() = default;

void Metrics::frame(const DecodedFrame &frame)
{
    m_lastFrameMs.store(wallClockMs(), std::memory_order_relaxed);
    const char *kind = frame.kind ? frame.kind : "unknown";
    for (int i = 0; i < m_kindCount; ++i) {
        KindCount &count = m_kinds[size_t(i)];
        if (std::strcmp(count.name.constData(), kind) == 0) {
            count.frames.fetch_add(1, std::memory_order_relaxed);
            break;
        }
    }

    // Every output of a frame period carries the period's number, counted from 0 in each run: a
    // number skipped is a period lost before this program (the runtime's backlog, a full FIFO), and
    // a smaller one is a new run.
    const uint32_t sequence = frame.sequenceNumber;
    if (m_haveSequence && sequence > m_lastSequence + 1ull)
        m_sequenceGaps.fetch_add(sequence - m_lastSequence - 1, std::memory_order_relaxed);
    m_haveSequence = true;
    m_lastSequence = sequence;

    if (frame.presence) {
        m_distanceMm.store(frame.presence->distance, std::memory_order_relaxed);
        m_presence.store(frame.presence->state ? 1 : 0, std::memory_order_relaxed);
    }
}

void Metrics::setOccupancy(bool occupancy)
{
    m_occupancy.store(occupancy ? 1 : 0, std::memory_order_relaxed);
}

void Metrics::setStale(bool stale)
{
    m_stale.store(stale, std::memory_order_relaxed);
}

void Metrics::setMqttEnabled(bool enabled)
{
    m_mqttEnabled.store(enabled, std::memory_order_relaxed);
}

void Metrics::setMqttConnected(bool connected)
{
    m_mqttConnected.store(connected, std::memory_order_relaxed);
}

void Metrics::setViewers(int viewers, uint64_t droppedFrames)
{
    m_viewers.store(viewers, std::memory_order_relaxed);
    m_viewerDrops.store(droppedFrames, std::memory_order_relaxed);
}

std::string Metrics::text() const
{
    constexpr auto relaxed = std::memory_order_relaxed;
    std::string out;
    out.reserve(2048);

    family(out, "vantrel_frames_total", "counter", "Frames read from the stream, by kind.");
    for (int i = 0; i < m_kindCount; ++i) {
        out += "vantrel_frames_total{kind=\"";
        out += m_kinds[size_t(i)].name.constData();
        out += "\"} ";
        append(out, m_kinds[size_t(i)].frames.load(relaxed));
        out += '\n';
    }

    family(out, "vantrel_frames_dropped_total", "counter",
           "Frames lost: frame periods missing from the stream (sequence), frames skipped for viewers that fell "
           "behind (viewer).");
    out += "vantrel_frames_dropped_total{cause=\"sequence\"} ";
    append(out, m_sequenceGaps.load(relaxed));
    out += "\nvantrel_frames_dropped_total{cause=\"viewer\"} ";
    append(out, m_viewerDrops.load(relaxed));
    out += '\n';

    family(out, "vantrel_last_frame_timestamp_seconds", "gauge",
           "When the last frame was read (the program's start before the first), seconds since the Epoch.");
    out += "vantrel_last_frame_timestamp_seconds ";
    appendThousandths(out, m_lastFrameMs.load(relaxed));
    out += '\n';

    family(out, "vantrel_stream_stale", "gauge", "1 while no frame has come for the stale-after time.");
    sample(out, "vantrel_stream_stale", m_stale.load(relaxed) ? 1 : 0);

    // Nothing is better than a value that was never reported.
    if (const int presence = m_presence.load(relaxed); presence >= 0) {
        family(out, "vantrel_presence", "gauge", "The last presence report: 1 present, 0 absent.");
        sample(out, "vantrel_presence", uint64_t(presence));
        family(out, "vantrel_distance_meters", "gauge", "The distance of the last presence report.");
        out += "vantrel_distance_meters ";
        appendThousandths(out, m_distanceMm.load(relaxed));
        out += '\n';
    }
    if (const int occupancy = m_occupancy.load(relaxed); occupancy >= 0) {
        family(out, "vantrel_occupancy", "gauge", "Presence held for the hold time after the last detection.");
        sample(out, "vantrel_occupancy", uint64_t(occupancy));
    }
    if (m_mqttEnabled.load(relaxed)) {
        family(out, "vantrel_mqtt_connected", "gauge", "1 while connected to the MQTT broker.");
        sample(out, "vantrel_mqtt_connected", m_mqttConnected.load(relaxed) ? 1 : 0);
    }

    family(out, "vantrel_viewers", "gauge", "Viewers of the web view now.");
    sample(out, "vantrel_viewers", uint64_t(std::max(0, m_viewers.load(relaxed))));

    family(out, "vantrel_build_info", "gauge", "The program's version; always 1.");
    out += "vantrel_build_info{version=\"";
    out += m_version.constData();
    out += "\"} 1\n";
    return out;
}

} // namespace Vantrel
