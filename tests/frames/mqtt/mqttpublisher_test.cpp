// MqttPublisher against a real mosquitto broker and a real subscriber.
#include "frames/mqtt/mqttpublisher.h"
#include "frames/state/holdpolicy.h"
#include "tests/support/presenceframes.h"

#include "tests/support/mqtttesting.h"
#include "tests/support/qtprinters.h"
#include "tests/support/tablerows.h"
#include "tests/support/testprogram.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

namespace Vantrel::Test {
namespace {

using Vantrel::Test::operator<<;

constexpr int64_t Timestamp = 1634552761952;
const QByteArray Present =
    R"({"presence":1,"distance":738,"confidence":97,"timestamp":1634552761952,"occupancy":true})";
const QString State = QStringLiteral("site/radar/kitchen/state");
const QString Availability = QStringLiteral("site/radar/kitchen/availability");

class MqttPublisherTest : public BrokerTest
{
protected:
    MqttSettings settings(const QString &name = QStringLiteral("kitchen"), int heartbeatSeconds = 3600) const
    {
        QString error;
        MqttSettings settings;
        settings.url = *MqttUrl::parse(m_broker.url(QStringLiteral("site/radar")), error);
        settings.name = name;
        settings.heartbeatSeconds = heartbeatSeconds;
        return settings;
    }

    std::unique_ptr<MqttPublisher> started(const MqttSettings &settings)
    {
        auto publisher = std::make_unique<MqttPublisher>(settings, m_state, m_holdPolicy);
        m_state.addObserver(publisher.get());
        QString error;
        EXPECT_TRUE(publisher->start(error)) << error.toStdString();
        return publisher;
    }

    // As vantrel-frames feeds it: through the sensor's state.
    void feed(const DecodedFrame &frame) { m_state.frame(frame); }

    // Packets the broker got from the publisher named "kitchen" with all these texts in its log line.
    int fromPublisher(const QString &packet, const QStringList &texts = {}) const
    {
        const QString id = QStringLiteral("site-radar-kitchen-%1").arg(QCoreApplication::applicationPid());
        return m_broker.countLogLines(QStringList{QStringLiteral("Received %1 from %2").arg(packet, id)} + texts);
    }

    SensorState m_state;
    HoldPolicy m_holdPolicy{m_state, HoldSetting(QString())};
};

TEST_F(MqttPublisherTest, RetainedStateAndAvailabilityReachLateSubscriber)
{
    auto publisher = started(settings());
    feed(Fixtures::presenceFrame(true, 7384, 97, Timestamp, 1));
    ASSERT_TRUE(waitUntil([&] { return m_recorder->lastPayload(State) == Present; }));
    EXPECT_EQ(retained(State), Present);
    EXPECT_EQ(retained(Availability), "online");
}

struct Step
{
    bool presence;
    int repeat = 1;
    int pauseBeforeMs = 0;
};

struct ChangeRow
{
    std::string name;
    double holdSeconds;
    std::vector<Step> steps;
    std::vector<std::pair<int, bool>> published; // presence and occupancy of each state, in order
};

class MqttPublisherChangeTest : public MqttPublisherTest, public ::testing::WithParamInterface<ChangeRow>
{};

TEST_P(MqttPublisherChangeTest, PublishesChangesOnly)
{
    const ChangeRow &row = GetParam();
    auto publisher = started(settings());
    m_state.setHold(row.holdSeconds, SensorState::HoldSource::SavedOptions);
    ASSERT_TRUE(waitUntil([&] { return publisher->isConnected(); }));
    uint32_t sequence = 0;
    for (const Step &step : row.steps) {
        QThread::msleep(step.pauseBeforeMs);
        // Distance, confidence and time change with every frame; only presence and occupancy count.
        for (int i = 0; i < step.repeat; ++i, ++sequence)
            feed(Fixtures::presenceFrame(step.presence, 1000 + sequence, 50 + sequence % 50,
                                                     Timestamp + 50 * sequence, sequence));
    }
    const auto published = [&] {
        std::vector<std::pair<int, bool>> states;
        for (const ReceivedMessage &message : m_recorder->messages(State)) {
            const QJsonObject state = QJsonDocument::fromJson(message.payload).object();
            states.emplace_back(state[QStringLiteral("presence")].toInt(-1),
                                state[QStringLiteral("occupancy")].toBool());
        }
        return states;
    };
    ASSERT_TRUE(waitUntil([&] { return published().size() >= row.published.size(); }));
    // Anything published for a repeated report would have come before the last change.
    QThread::msleep(200);
    EXPECT_EQ(published(), row.published);
}

const ChangeRow changeRows[] = {
    {"PresenceOnOff", 0, {{true, 3}, {false, 3}, {true, 1}}, {{1, true}, {0, false}, {1, true}}},
    {"IdenticalReportsPublishedOnce", 0, {{true, 200}, {false}}, {{1, true}, {0, false}}},
    {"OccupancyHeldThroughAbsence", 5, {{true, 3}, {false, 100}, {true, 3}}, {{1, true}, {0, true}, {1, true}}},
    {"OccupancyFallsAfterHold", 0.3, {{true}, {false, 20}, {false, 20, 600}}, {{1, true}, {0, true}, {0, false}}},
    {"OccupancyFallsWithNoReportAfterHold", 0.3, {{true}, {false, 20}}, {{1, true}, {0, true}, {0, false}}},
};

INSTANTIATE_TEST_SUITE_P(Changes, MqttPublisherChangeTest, ::testing::ValuesIn(changeRows), RowName());

TEST_F(MqttPublisherTest, HeartbeatRepeatsUnchangedState)
{
    auto publisher = started(settings(QStringLiteral("kitchen"), 1));
    feed(Fixtures::presenceFrame(true, 7384, 97, Timestamp, 1));
    ASSERT_TRUE(waitUntil([&] { return m_recorder->count(State) >= 2; }));
    const QList<ReceivedMessage> states = m_recorder->messages(State);
    EXPECT_EQ(states[0].payload, Present);
    EXPECT_EQ(states[1].payload, Present);
    EXPECT_GE(states[1].arrivalMs - states[0].arrivalMs, 900) << "the heartbeat came early";
}

TEST_F(MqttPublisherTest, StopPublishesOfflineAndDisconnects)
{
    auto publisher = started(settings());
    ASSERT_TRUE(waitUntil([&] { return m_recorder->lastPayload(Availability) == "online"; }));
    publisher->stop();
    bool stopped = false;
    QObject::connect(publisher.get(), &MqttPublisher::stopped, [&] { stopped = true; });
    EXPECT_TRUE(waitUntil([&] { return stopped; }));
    EXPECT_EQ(retained(Availability), "offline");
    // Said by the publisher itself, which then said goodbye: not its last will.
    EXPECT_EQ(fromPublisher(QStringLiteral("PUBLISH"), {QStringLiteral("'%1', ... (7 bytes)").arg(Availability)}), 1);
    EXPECT_EQ(fromPublisher(QStringLiteral("DISCONNECT")), 1);
}

TEST_F(MqttPublisherTest, StopWithoutEverConnecting)
{
    m_broker.stop();
    auto publisher = started(settings());
    feed(Fixtures::presenceFrame(true, 7384, 97, Timestamp, 1));
    bool stopped = false;
    QObject::connect(publisher.get(), &MqttPublisher::stopped, [&] { stopped = true; });
    publisher->stop();
    EXPECT_TRUE(waitUntil([&] { return stopped; }));
    publisher->stop();
}

// The broker away at the start, or gone for a while: the latest state only, then "online" and it.
TEST_F(MqttPublisherTest, BrokerAwayAtStartIsTriedUntilItComes)
{
    m_broker.stop();
    auto publisher = started(settings());
    feed(Fixtures::presenceFrame(true, 7384, 97, Timestamp, 1));
    feed(Fixtures::presenceFrame(false, 0, 0, Timestamp + 50, 2));
    feed(Fixtures::presenceFrame(true, 7384, 97, Timestamp, 3));
    QString error;
    ASSERT_TRUE(m_broker.start(error)) << error.toStdString();
    ASSERT_TRUE(waitUntil([&] { return m_recorder->lastPayload(State) == Present; }, 30000));
    EXPECT_EQ(fromPublisher(QStringLiteral("PUBLISH"), {QStringLiteral("'%1'").arg(State)}), 1);
}

TEST_F(MqttPublisherTest, ReconnectsAfterBrokerRestartWithLatestStateOnly)
{
    auto publisher = started(settings());
    std::vector<bool> connections;
    QObject::connect(publisher.get(), &MqttPublisher::connectedChanged, [&](bool up) { connections.push_back(up); });
    feed(Fixtures::presenceFrame(true, 7384, 97, Timestamp, 1));
    ASSERT_TRUE(waitUntil([&] { return m_recorder->lastPayload(State) == Present; }));
    m_broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !publisher->isConnected(); }));
    feed(Fixtures::presenceFrame(false, 0, 0, Timestamp + 50, 2));
    feed(Fixtures::presenceFrame(true, 2000, 60, Timestamp + 100, 3));
    feed(Fixtures::presenceFrame(false, 10, 5, Timestamp + 150, 4));
    QString error;
    ASSERT_TRUE(m_broker.start(error)) << error.toStdString();
    const QByteArray latest =
        R"({"presence":0,"distance":null,"confidence":5,"timestamp":1634552762102,"occupancy":false})";
    ASSERT_TRUE(waitUntil([&] { return m_recorder->lastPayload(State) == latest; }, 60000));
    EXPECT_EQ(m_recorder->lastPayload(Availability), "online");
    EXPECT_EQ(fromPublisher(QStringLiteral("PUBLISH"), {QStringLiteral("'%1'").arg(State)}), 1);
    EXPECT_EQ(fromPublisher(QStringLiteral("PUBLISH"), {QStringLiteral("'%1', ... (6 bytes)").arg(Availability)}), 1);
    EXPECT_EQ(connections, (std::vector<bool>{true, false, true}));
}

// The real program, killed while it waits for frames on its standard input.
TEST_F(MqttPublisherTest, LastWillWhenKilled)
{
    TestProgram frames(framesProgram());
    frames.keepInputOpen();
    ASSERT_TRUE(frames.start({QStringLiteral("--no-json"), QStringLiteral("--name"), QStringLiteral("kitchen"),
                              QStringLiteral("--mqtt"), m_broker.url(QStringLiteral("site/radar"))}));
    ASSERT_TRUE(waitUntil([&] { return m_recorder->lastPayload(Availability) == "online"; }));
    const QString id = QStringLiteral("site-radar-kitchen-%1").arg(frames.processId());
    frames.sendSignal(SIGKILL);
    ASSERT_TRUE(frames.waitForExit(30000));
    ASSERT_TRUE(waitUntil([&] { return m_recorder->lastPayload(Availability) == "offline"; }));
    EXPECT_EQ(retained(Availability), "offline");
    EXPECT_EQ(m_broker.countLogLines({QStringLiteral("Received DISCONNECT from ") + id}), 0) << "it said goodbye";
    EXPECT_EQ(m_broker.countLogLines({QStringLiteral("New client connected from"), id}), 1);
}

TEST_F(MqttPublisherTest, HomeAssistantDiscovery)
{
    MqttSettings s = settings(QStringLiteral("Küche 2"));
    s.discovery = true;
    auto publisher = started(s);
    const QString state = QStringLiteral("site/radar/Küche 2/state");
    const QString availability = QStringLiteral("site/radar/Küche 2/availability");
    const QString occupancyTopic = QStringLiteral("homeassistant/binary_sensor/K_che_2/occupancy/config");
    const QString distanceTopic = QStringLiteral("homeassistant/sensor/K_che_2/distance/config");
    ASSERT_TRUE(waitUntil([&] { return m_recorder->count(occupancyTopic) && m_recorder->count(distanceTopic); }));
    const QJsonObject occupancy = QJsonDocument::fromJson(retained(occupancyTopic)).object();
    const QJsonObject distance = QJsonDocument::fromJson(retained(distanceTopic)).object();
    const std::vector<std::tuple<const QJsonObject *, const char *, QString>> expected = {
        {&occupancy, "device_class", "occupancy"},
        {&occupancy, "state_topic", state},
        {&occupancy, "availability_topic", availability},
        {&occupancy, "payload_on", "ON"},
        {&occupancy, "payload_off", "OFF"},
        {&distance, "device_class", "distance"},
        {&distance, "state_topic", state},
        {&distance, "availability_topic", availability},
        {&distance, "unit_of_measurement", "cm"},
        {&distance, "state_class", "measurement"},
    };
    for (const auto &[config, key, value] : expected)
        EXPECT_EQ((*config)[QLatin1String(key)].toString(), value) << key;
    EXPECT_TRUE(occupancy[QStringLiteral("value_template")].toString().contains(QStringLiteral("occupancy")));
    EXPECT_TRUE(distance[QStringLiteral("value_template")].toString().contains(QStringLiteral("distance")));
    EXPECT_FALSE(occupancy[QStringLiteral("unique_id")].toString().isEmpty());
    EXPECT_NE(occupancy[QStringLiteral("unique_id")], distance[QStringLiteral("unique_id")]);
    const QJsonObject device = occupancy[QStringLiteral("device")].toObject();
    EXPECT_EQ(device, distance[QStringLiteral("device")].toObject());
    EXPECT_FALSE(device[QStringLiteral("identifiers")].toArray().isEmpty());
    EXPECT_EQ(device[QStringLiteral("name")].toString(), QStringLiteral("Küche 2"));
    EXPECT_EQ(device[QStringLiteral("model")].toString(), QStringLiteral("vantrel-cli"));
    // Two heartbeats of an hour, and a little more.
    EXPECT_EQ(occupancy[QStringLiteral("expire_after")].toInt(), 7205);
    EXPECT_EQ(distance[QStringLiteral("expire_after")].toInt(), 7205);
}

TEST_F(MqttPublisherTest, NamesNotAllowedInTopicsAreRefused)
{
    for (const QString &name : {QStringLiteral("a+b"), QStringLiteral("a#"), QStringLiteral("hall/1"), QString()}) {
        MqttPublisher publisher(settings(name), m_state, m_holdPolicy);
        QString error;
        EXPECT_FALSE(publisher.start(error)) << name.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    QThread::msleep(100);
    EXPECT_EQ(m_broker.countLogLines({QStringLiteral("New client connected")}), 1) << "only the recorder";
}

struct DistanceRow
{
    std::string name;
    double intervalSeconds;
    int frames; // 20 ms apart, someone present throughout
    int millimetresPerFrame; // alternating in sign when negative
    int minStates; // the last frame's jump of half a metre included
    int maxStates;
};

class MqttDistanceTest : public MqttPublisherTest, public ::testing::WithParamInterface<DistanceRow>
{};

TEST_P(MqttDistanceTest, PublishedByStepAndInterval)
{
    const DistanceRow &row = GetParam();
    MqttSettings s = settings();
    s.distanceIntervalSeconds = row.intervalSeconds;
    auto publisher = started(s);
    ASSERT_TRUE(waitUntil([&] { return publisher->isConnected(); }));
    int distance = 10000;
    for (int i = 0; i < row.frames; ++i) {
        distance += row.millimetresPerFrame > 0 ? row.millimetresPerFrame : (i % 2 ? 1 : -1) * row.millimetresPerFrame;
        feed(Fixtures::presenceFrame(true, uint32_t(distance), 90, Timestamp + 20 * i, uint32_t(i)));
        waitUntil([] { return false; }, 20);
    }
    // Mostly within an interval: it goes out when the interval ends, never lost.
    distance += 500;
    feed(Fixtures::presenceFrame(true, uint32_t(distance), 90, Timestamp + 20 * row.frames, 0));
    const auto lastDistance = [&] {
        return QJsonDocument::fromJson(m_recorder->lastPayload(State)).object()[QStringLiteral("distance")].toInt();
    };
    EXPECT_TRUE(waitUntil([&] { return lastDistance() == distance / 10; }, 5000)) << lastDistance();
    waitUntil([] { return false; }, int(row.intervalSeconds * 1000) + 300);
    EXPECT_GE(m_recorder->count(State), row.minStates);
    EXPECT_LE(m_recorder->count(State), row.maxStates);
}

const DistanceRow distanceRows[] = {
    // 4 cm a frame: 40 steps of 10 cm in 2 s, bounded to about one every 0.5 s.
    {"WalkingBoundedByInterval", 0.5, 100, 40, 3, 20},
    {"EveryStepWithoutInterval", 0, 50, 20, 11, 11},
    {"JitterBelowStepNotPublished", 0, 50, -40, 2, 2},
};

INSTANTIATE_TEST_SUITE_P(Distance, MqttDistanceTest, ::testing::ValuesIn(distanceRows), RowName());

// Zones, targets and power, each on its retained topic with its entities announced when first seen.
TEST_F(MqttPublisherTest, ZonesTargetsAndPower)
{
    MqttSettings s = settings();
    s.discovery = true;
    s.distanceIntervalSeconds = 0.2;
    auto publisher = started(s);
    ASSERT_TRUE(waitUntil([&] { return publisher->isConnected(); }));
    DecodedFrame heatmap;
    heatmap.kind = "heatmap";
    heatmap.zones = {{1, 80, 0}, {0, 0, 2}};
    DecodedFrame proximity;
    proximity.kind = "proximity-fast";
    proximity.targets = {{0, 1.5f, 10.0f}, {0, 1.234f, -12.5f}};
    DecodedFrame power;
    power.kind = "power";
    power.power = PowerProfile{{}, {}, {}, 250, 0};
    for (const DecodedFrame *frame : {&heatmap, &proximity, &power})
        feed(*frame);
    proximity.targets.clear();
    feed(proximity);

    const QString topic = QStringLiteral("site/radar/kitchen/");
    EXPECT_TRUE(waitUntil([&] { return m_recorder->lastPayload(topic + "zones") == R"({"0":true,"2":false})"; }));
    EXPECT_EQ(m_recorder->messages(topic + "targets").first().payload, R"({"count":2,"range":1.23,"angle":-12.5})");
    EXPECT_TRUE(waitUntil(
        [&] { return m_recorder->lastPayload(topic + "targets") == R"({"count":0,"range":null,"angle":null})"; }));
    EXPECT_EQ(m_recorder->lastPayload(topic + "power"), R"({"effective_range":2.5})");
    for (const char *config : {"binary_sensor/kitchen/zone_0", "binary_sensor/kitchen/zone_2",
                               "sensor/kitchen/target_range", "sensor/kitchen/effective_range"})
        EXPECT_EQ(m_recorder->count(QStringLiteral("homeassistant/%1/config").arg(QLatin1String(config))), 1) << config;
}

// A stream that names ever more zones: a bounded number of them is announced and published.
TEST_F(MqttPublisherTest, ZonesAreBounded)
{
    MqttSettings s = settings();
    s.discovery = true;
    auto publisher = started(s);
    ASSERT_TRUE(waitUntil([&] { return publisher->isConnected(); }));
    DecodedFrame heatmap;
    heatmap.kind = "heatmap";
    for (int32_t index = 0; index < 1000; ++index)
        heatmap.zones.push_back({1, 50, index});
    feed(heatmap);
    const QString zones = QStringLiteral("site/radar/kitchen/zones");
    const QString config = QStringLiteral("homeassistant/binary_sensor/kitchen/zone_%1/config");
    EXPECT_TRUE(waitUntil([&] {
        return QJsonDocument::fromJson(m_recorder->lastPayload(zones)).object().size() == 64
               && m_recorder->count(config.arg(63)) == 1;
    }));
    EXPECT_EQ(m_recorder->count(config.arg(64)), 0);
}

// Home Assistant coming back says "online" on its status topic: every config and the state again.
TEST_F(MqttPublisherTest, ConfigsAgainOnBirthMessage)
{
    MqttSettings s = settings();
    s.discovery = true;
    s.discoveryPrefix = QStringLiteral("ha");
    auto publisher = started(s);
    feed(Fixtures::presenceFrame(true, 7384, 97, Timestamp, 1));
    const QString config = QStringLiteral("ha/binary_sensor/kitchen/occupancy/config");
    ASSERT_TRUE(waitUntil([&] { return m_recorder->count(config) == 1 && m_recorder->count(State) == 1; }));
    ASSERT_TRUE(publishMessage(m_broker.port(), QStringLiteral("ha/status"), "online"));
    EXPECT_TRUE(waitUntil([&] { return m_recorder->count(config) == 2 && m_recorder->count(State) == 2; }));
    EXPECT_EQ(m_recorder->lastPayload(State), Present);
    // A flood of births: one more announcement when its window ends, not one each.
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(publishMessage(m_broker.port(), QStringLiteral("ha/status"), "online"));
    EXPECT_TRUE(waitUntil([&] { return m_recorder->count(config) == 3; }, 10000));
    QThread::msleep(500);
    EXPECT_EQ(m_recorder->count(config), 3);
}

TEST_F(MqttPublisherTest, HoldAsNumber)
{
    MqttSettings s = settings();
    s.discovery = true;
    auto publisher = started(s);
    ASSERT_TRUE(waitUntil([&] { return publisher->isConnected(); }));
    m_state.setHold(12.5, SensorState::HoldSource::SavedOptions);
    EXPECT_EQ(retained(QStringLiteral("site/radar/kitchen/hold")), "12.5");
    const QJsonObject config =
        QJsonDocument::fromJson(retained(QStringLiteral("homeassistant/number/kitchen/hold/config"))).object();
    EXPECT_EQ(config[QStringLiteral("command_topic")], QStringLiteral("site/radar/kitchen/hold/set"));
    ASSERT_TRUE(publishMessage(m_broker.port(), QStringLiteral("site/radar/kitchen/hold/set"), "30"));
    EXPECT_TRUE(waitUntil([&] { return retained(QStringLiteral("site/radar/kitchen/hold")) == "30"; }));
    EXPECT_EQ(m_state.holdSeconds(), 30);
    // A payload longer than any hold time is no command, whatever it holds.
    ASSERT_TRUE(publishMessage(m_broker.port(), QStringLiteral("site/radar/kitchen/hold/set"), QByteArray(70, ' ') + "45"));
    ASSERT_TRUE(publishMessage(m_broker.port(), QStringLiteral("site/radar/kitchen/hold/set"), "40"));
    EXPECT_TRUE(waitUntil([&] { return m_recorder->lastPayload(QStringLiteral("site/radar/kitchen/hold")) == "40"; }));
    EXPECT_EQ(m_recorder->count(QStringLiteral("site/radar/kitchen/hold")), 3) << "12.5, 30 and 40, nothing between";
}

} // namespace
} // namespace Vantrel::Test
