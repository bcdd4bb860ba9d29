// The metrics for Prometheus: what they count and how they are written (tests/frames/http/prometheus_test.sh
// has Prometheus scrape them).
#include "frames/http/metrics.h"
#include "frames/state/sensorstate.h"

#include "tests/support/presenceframes.h"

#include <QMap>

#include <gtest/gtest.h>

#include <string>

namespace Vantrel::Test {
namespace {

using Fixtures::presenceFrame;

// Every sample, "name{labels}" to its value as written.
QMap<QByteArray, QByteArray> samples(const std::string &text)
{
    QMap<QByteArray, QByteArray> result;
    for (const QByteArray &line : QByteArray::fromStdString(text).split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            result.insert(line.left(line.lastIndexOf(' ')), line.mid(line.lastIndexOf(' ') + 1));
    }
    return result;
}

TEST(Metrics, CountFramesAndLostPeriodsAndShowStatesOnceKnown)
{
    SensorState state;
    Metrics withoutBroker(QStringLiteral("2.4.9~\"rc\"\\1"), state);
    auto values = samples(withoutBroker.text(0, 0));
    for (const char *unknown : {"vantrel_presence", "vantrel_distance_meters", "vantrel_mqtt_connected"})
        EXPECT_FALSE(values.contains(unknown)) << unknown;
    EXPECT_EQ(values.value(R"(vantrel_build_info{version="2.4.9~\"rc\"\\1"})"), "1");

    // Two outputs share each period's number; 3 and 4 are missing, then a new run starts at 0.
    // Held through the last report's absence.
    state.setHold(60, SensorState::HoldSource::SavedOptions);
    for (const uint32_t sequence : {0u, 0u, 1u, 2u, 5u, 5u, 6u, 0u, 1u})
        state.frame(presenceFrame(sequence != 1, 7385, 97, 0, sequence));
    DecodedFrame unknown;
    unknown.sequenceNumber = 3;
    state.frame(unknown);
    state.setStale(true);
    const Metrics metrics(QStringLiteral("2.4.9"), state, [] { return false; });
    values = samples(metrics.text(3, 17));
    EXPECT_EQ(values.value(R"(vantrel_frames_total{kind="human-presence"})"), "9");
    EXPECT_EQ(values.value(R"(vantrel_frames_total{kind="unknown"})"), "1");
    EXPECT_EQ(values.value(R"(vantrel_frames_total{kind="proximity-fast"})"), "0");
    EXPECT_EQ(values.value(R"(vantrel_frames_dropped_total{cause="sequence"})"), "3");
    EXPECT_EQ(values.value(R"(vantrel_frames_dropped_total{cause="viewer"})"), "17");
    EXPECT_EQ(values.value("vantrel_viewers"), "3");
    EXPECT_EQ(values.value("vantrel_presence"), "0");
    EXPECT_EQ(values.value("vantrel_distance_meters"), "7.385");
    EXPECT_EQ(values.value("vantrel_occupancy"), "1");
    EXPECT_EQ(values.value("vantrel_stream_stale"), "1");
    EXPECT_EQ(values.value("vantrel_mqtt_connected"), "0");
}

} // namespace
} // namespace Vantrel::Test
