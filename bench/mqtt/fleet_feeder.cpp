// Feeds presence frames to a fleet of readers: mqtt_fleet_feeder RATE SECONDS FIFO...
// Every 1/RATE s each FIFO gets one human-presence frame whose timestamp is the wall clock at
// writing, so a subscriber can tell how long the frame took to reach it. Each sensor's presence
// comes and goes every 3 to 15 s on a schedule of its own; while someone is there they walk about
// (a decimetre nearer, farther or neither each frame), and every fourth frame is followed by a
// heatmap of four zones, a metre deep each, the one they are in occupied. At the end the number of presence changes written to
// each FIFO (the first report counting as one) is printed, one line per FIFO, in order.
#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/testframebuilder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace Vantrel;

struct Sensor
{
    int fd = -1;
    uint32_t random = 0;
    bool present = false;
    int32_t distanceDm = 0;
    int ticksLeft = 0; // until presence changes
    int changes = 0;
    bool reported = false;
    bool lastWritten = false;
    uint32_t sequence = 0;
};

uint32_t next(uint32_t &state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

constexpr int Zones = 4;
constexpr int32_t ZoneDepthDm = 10;

// A human-presence signal with one int32 array of this shape.
std::vector<uint8_t> humanPresenceFrame(const Sensor &sensor, int64_t timestamp, uint32_t semantic,
                                        std::vector<uint16_t> shape, std::vector<int32_t> values)
{
    return Fixtures::singleSignalFrame(Frames::Key::SignalSemanticHumanPresence,
                                       {Fixtures::int32Array(semantic, std::move(values), std::move(shape))},
                                       sensor.sequence, timestamp);
}

std::vector<uint8_t> presenceFrame(const Sensor &sensor, int64_t timestamp)
{
    return humanPresenceFrame(
        sensor, timestamp, Frames::Key::ArraySemanticHumanPresence, {4},
        {sensor.present ? 1 : 0, sensor.present ? sensor.distanceDm : 0, 0, sensor.present ? 90 : 0});
}

// Rows of state, confidence and zone index.
std::vector<uint8_t> heatmapFrame(const Sensor &sensor, int64_t timestamp)
{
    std::vector<int32_t> values;
    for (int32_t zone = 0; zone < Zones; ++zone) {
        const bool occupied = sensor.present && sensor.distanceDm / ZoneDepthDm == zone;
        values.insert(values.end(), {occupied ? 1 : 0, occupied ? 80 : 0, zone});
    }
    return humanPresenceFrame(sensor, timestamp, Frames::Key::ArraySemanticHeatmapRows, {Zones, 3}, values);
}

bool writeAll(int fd, const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: mqtt_fleet_feeder RATE SECONDS FIFO...\n");
        return 2;
    }
    const int rate = std::atoi(argv[1]);
    const int seconds = std::atoi(argv[2]);
    if (rate < 1 || rate > 1000 || seconds < 1) {
        std::fprintf(stderr, "mqtt_fleet_feeder: RATE 1 to 1000, SECONDS 1 or more\n");
        return 2;
    }
    std::vector<Sensor> sensors(size_t(argc - 3));
    for (size_t i = 0; i < sensors.size(); ++i) {
        Sensor &sensor = sensors[i];
        // Opening blocks until the reader has the FIFO open.
        sensor.fd = open(argv[i + 3], O_WRONLY | O_CLOEXEC);
        if (sensor.fd < 0) {
            std::fprintf(stderr, "mqtt_fleet_feeder: %s: %s\n", argv[i + 3], std::strerror(errno));
            return 1;
        }
        sensor.random = uint32_t(i) * 2654435761u + 1;
        sensor.present = next(sensor.random) % 2;
        sensor.distanceDm = int32_t(5 + next(sensor.random) % 35);
        sensor.ticksLeft = int(rate * (3 + next(sensor.random) % 13));
    }

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::nanoseconds(1000000000 / rate);
    const auto start = Clock::now();
    for (int tick = 0; tick < rate * seconds; ++tick) {
        std::this_thread::sleep_until(start + tick * period);
        for (Sensor &sensor : sensors) {
            if (--sensor.ticksLeft <= 0) {
                sensor.present = !sensor.present;
                sensor.distanceDm = int32_t(5 + next(sensor.random) % 35);
                sensor.ticksLeft = int(rate * (3 + next(sensor.random) % 13));
            }
            const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
            if (sensor.present) {
                // Held at the ends of the room.
                const int32_t step = int32_t(next(sensor.random) % 3) - 1;
                sensor.distanceDm = std::clamp(sensor.distanceDm + step, 5, Zones * ZoneDepthDm - 1);
            }
            const bool heatmap = tick % 4 == 3;
            if (!writeAll(sensor.fd, presenceFrame(sensor, now))
                || (heatmap && !writeAll(sensor.fd, heatmapFrame(sensor, now)))) {
                std::fprintf(stderr, "mqtt_fleet_feeder: a reader went away: %s\n", std::strerror(errno));
                return 1;
            }
            // A change counts once a frame carries it to the reader.
            if (!sensor.reported || sensor.present != sensor.lastWritten)
                ++sensor.changes;
            sensor.reported = true;
            sensor.lastWritten = sensor.present;
            ++sensor.sequence;
        }
    }
    for (Sensor &sensor : sensors) {
        close(sensor.fd);
        std::printf("%d\n", sensor.changes);
    }
    return 0;
}
