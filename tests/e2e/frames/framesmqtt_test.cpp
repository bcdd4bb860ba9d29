// The real vantrel-frames following a real FIFO and publishing to a real broker: the hold running out
// with no report after it, and a stream that stops, comes back, or ends for good; two sensors on one
// broker, and a run that takes a sensor's discovery off it.
#include "stream/savedoptions.h"
#include "tests/e2e/frames/framesinput.h"
#include "tests/support/bundlebuilder.h"
#include "tests/support/mqtttesting.h"
#include "tests/support/qtprinters.h"
#include "tests/support/testprogram.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace Vantrel::Test {
namespace {

const QString State = QStringLiteral("site/radar/kitchen/state");
const QString Availability = QStringLiteral("site/radar/kitchen/availability");

// vantrel-frames in the background; with no source it reads its standard input, which never ends.
std::unique_ptr<TestProgram> startFrames(const QStringList &arguments)
{
    auto frames = std::make_unique<TestProgram>(framesProgram());
    frames->keepInputOpen();
    EXPECT_TRUE(frames->start(arguments));
    return frames;
}

class FramesMqttTest : public BrokerTest
{
protected:
    // vantrel-frames following the FIFO, publishing as "kitchen" under site/radar, with a writer
    // that has the FIFO open.
    std::unique_ptr<TestProgram> start(const QStringList &options)
    {
        auto frames = startFrames(QStringList{QStringLiteral("--follow"), m_fifo, QStringLiteral("--mqtt"),
                                              m_broker.url(QStringLiteral("site/radar")), QStringLiteral("--name"),
                                              QStringLiteral("kitchen")}
                                  + options);
        EXPECT_TRUE(m_writer.open()) << frames->err().toStdString();
        return frames;
    }

    // A saved options file with this hold time, as vantrel-cli writes it.
    QString optionsFile(double holdSeconds)
    {
        SavedRunOptions options;
        options.algorithm = QStringLiteral("Presence 1.0");
        options.timeout = holdSeconds;
        QFile file(m_dir.filePath(QStringLiteral("options.json")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(options.toJson()) > 0);
        return file.fileName();
    }

    // Presence and occupancy of each state published, in order, with their arrival.
    std::vector<std::pair<int, bool>> states(qint64 after = 0) const
    {
        std::vector<std::pair<int, bool>> found;
        for (const ReceivedMessage &message : m_recorder->messages(State)) {
            const QJsonObject state = QJsonDocument::fromJson(message.payload).object();
            if (message.arrivalMs > after)
                found.emplace_back(state[QStringLiteral("presence")].toInt(-1),
                                   state[QStringLiteral("occupancy")].toBool());
        }
        return found;
    }

    // When the availability was last published with this payload; 0 when never.
    qint64 availableAt(const QByteArray &payload) const
    {
        const QList<ReceivedMessage> messages = m_recorder->messages(Availability);
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (it->payload == payload)
                return it->arrivalMs;
        }
        return 0;
    }

    QTemporaryDir m_dir;
    QString m_fifo = m_dir.filePath(QStringLiteral("hpd.fifo"));
    FifoWriter m_writer{m_fifo};
};

// Presence, then none, then silence: occupancy ends when the hold runs out, no report needed; the
// JSON lines tell the same held occupancy.
TEST_F(FramesMqttTest, HoldEndsWithNoReportAfterIt)
{
    auto frames =
        start({QStringLiteral("--heartbeat"), QStringLiteral("3600"), QStringLiteral("--options"), optionsFile(1.5)});
    ASSERT_TRUE(m_writer.writePresence(true, 1));
    ASSERT_TRUE(waitUntil([&] { return states().size() == 1; })) << frames->err().toStdString();
    ASSERT_TRUE(m_writer.writePresence(false, 2));
    ASSERT_TRUE(waitUntil([&] { return states().size() == 2; }));
    const qint64 absent = m_recorder->messages(State).last().arrivalMs;
    ASSERT_TRUE(waitUntil([&] { return states().size() == 3; }, 20000));
    const std::vector<std::pair<int, bool>> expected = {{1, true}, {0, true}, {0, false}};
    EXPECT_EQ(states(), expected);
    EXPECT_GE(m_recorder->messages(State).last().arrivalMs - absent, 1000) << "the hold ended early";

    EXPECT_EQ(frames->terminate(), 0);
    const QList<QByteArray> lines = frames->out().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << frames->out().toStdString();
    EXPECT_TRUE(lines[0].contains(R"("presence":1,)") && lines[0].endsWith(R"("confidence":97,"occupancy":true})"));
    EXPECT_TRUE(lines[1].contains(R"("presence":0,)") && lines[1].endsWith(R"("confidence":97,"occupancy":true})"));
}

// The hold set from Home Assistant: taken at once (occupancy ends by it), echoed, a bad value refused
// with nothing changed, and the value kept for the next run over the options file's.
TEST_F(FramesMqttTest, HoldSetFromHomeAssistantAndKept)
{
    const QString hold = QStringLiteral("site/radar/kitchen/hold");
    const QString command = hold + QStringLiteral("/set");
    const QStringList options = {QStringLiteral("--heartbeat"), QStringLiteral("3600"),
                                 QStringLiteral("--options"),   optionsFile(3600),
                                 QStringLiteral("--state-dir"), m_dir.path()};
    auto frames = start(options);
    ASSERT_TRUE(m_writer.writePresence(true, 1));
    ASSERT_TRUE(waitUntil([&] { return states().size() == 1 && retained(hold) == "3600"; }))
        << frames->err().toStdString();
    ASSERT_TRUE(m_writer.writePresence(false, 2));
    ASSERT_TRUE(waitUntil([&] { return states().size() == 2; }));

    ASSERT_TRUE(publishMessage(m_broker.port(), command, "soon"));
    ASSERT_TRUE(waitUntil([&] { return frames->err().contains("refused the hold time"); }));
    ASSERT_TRUE(publishMessage(m_broker.port(), command, "1.5"));
    ASSERT_TRUE(waitUntil([&] { return retained(hold) == "1.5"; })) << frames->err().toStdString();
    ASSERT_TRUE(waitUntil([&] { return states().size() == 3; }, 20000));
    EXPECT_EQ(states().back(), std::make_pair(0, false)) << "the new hold has run out";
    EXPECT_EQ(frames->err().count("refused the hold time"), 1);
    EXPECT_EQ(frames->terminate(), 0);
    m_writer.close();

    const qint64 restarted = steadyNowMs();
    frames = start(options);
    ASSERT_TRUE(m_writer.writePresence(true, 3));
    ASSERT_TRUE(waitUntil([&] {
        const QList<ReceivedMessage> messages = m_recorder->messages(hold);
        return !messages.isEmpty() && messages.last().arrivalMs > restarted && messages.last().payload == "1.5";
    })) << frames->err().toStdString();
    EXPECT_EQ(frames->terminate(), 0);
}

// Silence makes the stream stale: "offline", and no heartbeat; the next frame brings "online" and
// the state at once.
TEST_F(FramesMqttTest, StaleAndBack)
{
    auto frames = start(
        {QStringLiteral("--stale-after"), QStringLiteral("2"), QStringLiteral("--heartbeat"), QStringLiteral("1")});
    ASSERT_TRUE(m_writer.writePresence(true, 1));
    ASSERT_TRUE(waitUntil([&] { return !states().empty() && availableAt("online"); })) << frames->err().toStdString();
    // Timed from a frame read while connected.
    const qint64 lastFrame = steadyNowMs();
    ASSERT_TRUE(m_writer.writePresence(true, 2));
    ASSERT_TRUE(waitUntil([&] { return availableAt("offline") > lastFrame; }, 20000));
    const qint64 offline = availableAt("offline");
    EXPECT_LE(offline - lastFrame, 3000) << "offline later than the stale time and a second";
    EXPECT_GE(offline - lastFrame, 1900) << "offline before the stale time";

    waitUntil([] { return false; }, 2500); // two heartbeats' time
    EXPECT_TRUE(states(offline).empty()) << "a heartbeat while stale";

    const qint64 written = steadyNowMs();
    ASSERT_TRUE(m_writer.writePresence(false, 3));
    ASSERT_TRUE(waitUntil([&] { return availableAt("online") > offline && !states(offline).empty(); }, 20000));
    EXPECT_LE(availableAt("online") - written, 1000);
    EXPECT_LE(m_recorder->messages(State).last().arrivalMs - written, 1000);
    EXPECT_EQ(states(offline).front(), std::make_pair(0, false));

    EXPECT_EQ(frames->terminate(), 0);
    EXPECT_TRUE(frames->err().contains("No frames for 2 s from " + m_fifo.toUtf8())) << frames->err().toStdString();
    EXPECT_TRUE(frames->err().contains("Frames again from " + m_fifo.toUtf8() + " after "))
        << frames->err().toStdString();
}

// vantrel-cli gone for good after presence: the sensor reads as unavailable, its last state stays
// as it was, and nothing republishes it as current.
TEST_F(FramesMqttTest, StreamEndingForGoodAtPresence)
{
    auto frames = start(
        {QStringLiteral("--stale-after"), QStringLiteral("1"), QStringLiteral("--heartbeat"), QStringLiteral("1")});
    for (uint32_t sequence = 1; sequence <= 3; ++sequence)
        ASSERT_TRUE(m_writer.writePresence(true, sequence));
    ASSERT_TRUE(waitUntil([&] { return !states().empty() && availableAt("online"); })) << frames->err().toStdString();
    const qint64 closed = steadyNowMs();
    m_writer.close();
    ASSERT_TRUE(waitUntil([&] { return availableAt("offline") > closed; }, 20000));
    const qint64 offline = availableAt("offline");
    waitUntil([] { return false; }, 2500);
    EXPECT_TRUE(states(offline).empty()) << "a heartbeat while stale";
    EXPECT_EQ(retained(Availability), "offline");
    const QJsonObject last = QJsonDocument::fromJson(retained(State)).object();
    EXPECT_EQ(last[QStringLiteral("presence")].toInt(), 1);
    EXPECT_EQ(frames->terminate(), 0);
    EXPECT_EQ(retained(Availability), "offline");
}

// With --stale-after 0 a silent stream stays "online" with its heartbeat, beyond the default time.
TEST_F(FramesMqttTest, StaleTurnedOff)
{
    auto frames = start(
        {QStringLiteral("--stale-after"), QStringLiteral("0"), QStringLiteral("--heartbeat"), QStringLiteral("1")});
    ASSERT_TRUE(m_writer.writePresence(true, 1));
    ASSERT_TRUE(waitUntil([&] { return !states().empty(); })) << frames->err().toStdString();
    waitUntil([] { return false; }, 6500);
    EXPECT_EQ(availableAt("offline"), 0);
    EXPECT_GE(states().size(), 4u) << "the heartbeat stopped";
    EXPECT_EQ(frames->terminate(), 0);
    EXPECT_FALSE(frames->err().contains("No frames")) << frames->err().toStdString();
}

// The broker away while the stream turns stale, and again while it comes back: on reconnecting, the
// availability of the moment is published, and nothing older.
TEST_F(FramesMqttTest, BrokerAwayWhileStaleAndBack)
{
    auto frames = start(
        {QStringLiteral("--stale-after"), QStringLiteral("1"), QStringLiteral("--heartbeat"), QStringLiteral("3600")});
    ASSERT_TRUE(m_writer.writePresence(true, 1));
    ASSERT_TRUE(waitUntil([&] { return !states().empty() && availableAt("online"); })) << frames->err().toStdString();
    const QString client = QStringLiteral("Received PUBLISH from site-radar-kitchen-%1").arg(frames->processId());
    const auto published = [&](const QString &topic, int bytes) {
        return m_broker.countLogLines({client, QStringLiteral("'%1', ... (%2 bytes)").arg(topic).arg(bytes)});
    };

    m_broker.stop();
    ASSERT_TRUE(waitUntil([&] { return frames->err().contains("No frames for 1 s"); }));
    QString error;
    ASSERT_TRUE(m_broker.start(error)) << error.toStdString();
    ASSERT_TRUE(waitUntil([&] { return published(Availability, 7) > 0; }, 60000)) << frames->err().toStdString();
    EXPECT_EQ(retained(Availability), "offline");
    EXPECT_EQ(published(Availability, 6), 0) << "\"online\" while stale";

    m_broker.stop();
    // The sensor back, and live from now on.
    uint32_t sequence = 1;
    QTimer live;
    QObject::connect(&live, &QTimer::timeout, [&] { m_writer.writePresence(false, ++sequence); });
    live.start(200);
    ASSERT_TRUE(waitUntil([&] { return frames->err().contains("Frames again"); }));
    ASSERT_TRUE(m_broker.start(error)) << error.toStdString();
    ASSERT_TRUE(waitUntil([&] { return published(Availability, 6) > 0; }, 60000)) << frames->err().toStdString();
    EXPECT_EQ(published(Availability, 7), 0) << "\"offline\" after the stream came back";
    EXPECT_EQ(retained(Availability), "online");
    EXPECT_EQ(QJsonDocument::fromJson(retained(State)).object()[QStringLiteral("presence")].toInt(-1), 0);
    EXPECT_EQ(frames->terminate(), 0);
}

// vantrel-frames on its standard input with discovery, as sensor <name> under site/radar.
// A recording read to its end before the broker is reached: its last state is published once the
// broker comes, before the program ends.
TEST_F(BrokerTest, RecordingEndingBeforeTheBrokerComes)
{
    QTemporaryDir dir;
    QFile recording(dir.filePath(QStringLiteral("recording.bin")));
    ASSERT_TRUE(recording.open(QIODevice::WriteOnly));
    recording.write(presenceFrame(false, 1) + presenceFrame(true, 2));
    recording.close();
    m_broker.stop();
    auto frames =
        startFrames({QStringLiteral("--no-json"), QStringLiteral("--mqtt"), m_broker.url(QStringLiteral("site")),
                     QStringLiteral("--name"), QStringLiteral("hall"), recording.fileName()});
    waitUntil([] { return false; }, 1000);
    QString error;
    ASSERT_TRUE(m_broker.start(error)) << error.toStdString();
    EXPECT_EQ(frames->finish(), 0) << frames->err().toStdString();
    EXPECT_TRUE(retained(QStringLiteral("site/hall/state")).startsWith(R"({"presence":1,)"))
        << frames->err().toStdString();
}

// An empty room as the stand-in runtime makes it, through vantrel-cli, its FIFO and vantrel-frames:
// no target anywhere, not one at range 0.
TEST_F(BrokerTest, EmptyRoomHasNoTarget)
{
    QTemporaryDir dir;
    QFile parb(QStringLiteral(SAMPLE_BUNDLE_DIR "/parb/connection-simulation.parb"));
    ASSERT_TRUE(parb.open(QIODevice::ReadOnly));
    ASSERT_TRUE(BundleBuilder()
                    .addDefinition(QStringLiteral("empty"), R"({
                        "name": "Empty", "description": "Nobody there", "algorithmVersion": "1.0.0",
                        "minimumSupportedWeaveGraphVersion": "6.4.0", "maximumSupportedWeaveGraphVersion": "6.4.999",
                        "sensors": [ { "name": "Simulation", "description": "A room", "flow": "empty.flow",
                            "options": [ { "name": "connection",
                                "values": [ { "name": "Simulation", "parb": "connection-simulation.parb" } ] } ] } ]
                    })")
                    .add(QStringLiteral("empty/empty.flow"), "weaveflow 1\nrate 20\noutput proximity-fast\nscene absent 60\n")
                    .add(QStringLiteral("empty/connection-simulation.parb"), parb.readAll())
                    .build(dir.filePath(QStringLiteral("empty.hpd"))));
    const QString fifo = dir.filePath(QStringLiteral("hpd.fifo"));
    auto frames = startFrames({QStringLiteral("--follow"), fifo, QStringLiteral("--name"), QStringLiteral("kitchen"),
                               QStringLiteral("--mqtt"), m_broker.url(QStringLiteral("site/radar"))});
    TestProgram cli;
    ASSERT_TRUE(cli.start({QStringLiteral("-f"), dir.filePath(QStringLiteral("empty.hpd")), QStringLiteral("Empty 1.0"),
                           QStringLiteral("-p"), QStringLiteral("--pipe-name"), fifo, QStringLiteral("--options-path"),
                           dir.filePath(QStringLiteral("options.json")), QStringLiteral("--stop-after"),
                           QStringLiteral("1")}));
    ASSERT_EQ(cli.finish(), 0) << cli.err().toStdString();
    const QString targets = QStringLiteral("site/radar/kitchen/targets");
    EXPECT_TRUE(waitUntil([&] { return m_recorder->count(targets) > 0; })) << frames->err().toStdString();
    EXPECT_EQ(frames->terminate(), 0);
    EXPECT_EQ(m_recorder->messages(targets).size(), 1);
    EXPECT_EQ(m_recorder->lastPayload(targets), R"({"count":0,"range":null,"angle":null})");
    const QList<QByteArray> lines = frames->out().trimmed().split('\n');
    ASSERT_GT(lines.size(), 5) << frames->err().toStdString();
    for (const QByteArray &line : lines)
        EXPECT_TRUE(line.contains(R"("presence":0,)") && line.endsWith(R"("targets":[]})")) << line.toStdString();
}

class FramesDiscoveryTest : public BrokerTest
{
protected:
    std::unique_ptr<TestProgram> run(const QString &name, const QStringList &options = {QStringLiteral("--discovery")})
    {
        return startFrames(QStringList{QStringLiteral("--no-json"), QStringLiteral("--name"), name,
                                       QStringLiteral("--mqtt"), m_broker.url(QStringLiteral("site/radar"))}
                           + options);
    }
    QJsonObject config(const QString &name) const
    {
        const QString topic = QStringLiteral("homeassistant/binary_sensor/%1/occupancy/config").arg(name);
        return QJsonDocument::fromJson(m_recorder->lastPayload(topic)).object();
    }
    QByteArray availability(const QString &name) const
    {
        return m_recorder->lastPayload(QStringLiteral("site/radar/%1/availability").arg(name));
    }
};

TEST_F(FramesDiscoveryTest, TwoSensorsOnOneBrokerKeepApart)
{
    auto hall = run(QStringLiteral("hall"));
    const uint16_t port = freePort();
    auto porch = run(QStringLiteral("porch"),
                     {QStringLiteral("--discovery"), QStringLiteral("--http"), QStringLiteral("0.0.0.0:%1").arg(port)});
    ASSERT_TRUE(waitUntil([&] { return !config("hall").isEmpty() && !config("porch").isEmpty(); }));
    // Served on every address, the web view is found by the host's name.
    const auto web = [&](const QString &name) {
        return config(name)[QStringLiteral("device")].toObject()[QStringLiteral("configuration_url")].toString();
    };
    EXPECT_EQ(web(QStringLiteral("porch")), QStringLiteral("http://%1:%2/").arg(QSysInfo::machineHostName()).arg(port));
    EXPECT_EQ(web(QStringLiteral("hall")), QString());
    for (const QString &name : {QStringLiteral("hall"), QStringLiteral("porch")}) {
        const QJsonObject own = config(name);
        EXPECT_EQ(own[QStringLiteral("unique_id")], QStringLiteral("vantrel_%1_occupancy").arg(name));
        EXPECT_EQ(own[QStringLiteral("state_topic")], QStringLiteral("site/radar/%1/state").arg(name));
        EXPECT_EQ(own[QStringLiteral("availability_topic")], QStringLiteral("site/radar/%1/availability").arg(name));
        EXPECT_EQ(own[QStringLiteral("device")][QStringLiteral("identifiers")].toArray(),
                  QJsonArray{QStringLiteral("vantrel_") + name});
        EXPECT_EQ(availability(name), "online");
    }
    EXPECT_EQ(hall->terminate(), 0);
    EXPECT_TRUE(waitUntil([&] { return availability(QStringLiteral("hall")) == "offline"; }));
    EXPECT_EQ(m_recorder->messages(QStringLiteral("site/radar/porch/availability")).size(), 1);
    EXPECT_EQ(retained(QStringLiteral("site/radar/porch/availability")), "online");
}

// Every config of the sensor, also one only the broker still knows of, and its own topics emptied.
TEST_F(FramesDiscoveryTest, RemoveRun)
{
    auto hall = run(QStringLiteral("hall"));
    ASSERT_TRUE(waitUntil([&] { return !config(QStringLiteral("hall")).isEmpty(); }));
    EXPECT_EQ(hall->terminate(), 0);
    const QString zone = QStringLiteral("homeassistant/binary_sensor/hall/zone_7/config");
    ASSERT_TRUE(publishMessage(m_broker.port(), zone, "{}", true));
    const QString porch = QStringLiteral("homeassistant/binary_sensor/porch/occupancy/config");
    ASSERT_TRUE(publishMessage(m_broker.port(), porch, "{}", true));

    auto removal = run(QStringLiteral("hall"), {QStringLiteral("--discovery-remove")});
    EXPECT_EQ(removal->finish(), 0) << removal->err().toStdString();
    for (const QString &topic :
         {zone, QStringLiteral("homeassistant/binary_sensor/hall/occupancy/config"),
          QStringLiteral("homeassistant/sensor/hall/distance/config"), QStringLiteral("site/radar/hall/availability")})
        EXPECT_EQ(m_recorder->lastPayload(topic), QByteArray()) << topic.toStdString();
    EXPECT_EQ(retained(porch), "{}");

    m_broker.stop();
    auto unreachable = run(QStringLiteral("hall"), {QStringLiteral("--discovery-remove")});
    EXPECT_EQ(unreachable->finish(), 1);
    EXPECT_TRUE(unreachable->err().contains("could not reach")) << unreachable->err().toStdString();
}

} // namespace
} // namespace Vantrel::Test
