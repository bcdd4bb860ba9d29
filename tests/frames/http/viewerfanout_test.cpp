// ViewerFanout without sockets: the test plays the server, taking each viewer's stream and counting
// its parks and wake-ups.
#include "frames/http/viewerfanout.h"
#include "frames/state/sensorstate.h"
#include "tests/support/presenceframes.h"

#include "stream/savedoptions.h"
#include "tests/support/tablerows.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Readable failures.
static void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}

namespace Vantrel::Test {
namespace {

using Vantrel::Test::operator<<;

struct Event
{
    QByteArray name;
    QByteArray data;
};

// The events of a stream taken whole, or those of one name; single-line data only (the framing is
// checked byte by byte).
std::vector<Event> eventsOf(const QByteArray &stream, const char *name = nullptr)
{
    std::vector<Event> events;
    for (const QByteArray &line : stream.split('\n')) {
        if (line.startsWith("event: "))
            events.push_back({line.mid(7), {}});
        else if (line.startsWith("data: ") && !events.empty())
            events.back().data = line.mid(6);
    }
    if (name) {
        events.erase(std::remove_if(events.begin(), events.end(), [name](const Event &e) { return e.name != name; }),
                     events.end());
    }
    return events;
}

int member(const Event &event, const char *name)
{
    return QJsonDocument::fromJson(event.data).object().value(QLatin1String(name)).toInt(-1);
}

std::string frameLine(int sequence, int size = 0)
{
    std::string line = R"({"sequence":)" + std::to_string(sequence);
    if (size > int(line.size()) + 10)
        line += R"(,"pad":")" + std::string(size_t(size) - line.size() - 10, 'x') + '"';
    return line + "}\n";
}

class ViewerFanoutTest : public ::testing::Test
{
protected:
    struct Client
    {
        ViewerFanout::Viewer *viewer = nullptr;
        int parks = 0;
        int wakes = 0;
        std::function<void()> onWake;
    };

    void SetUp() override { m_fanout.beginServing(QStringLiteral("2.4.9")); }

    Client &join()
    {
        auto client = std::make_unique<Client>();
        Client *c = client.get();
        c->viewer = m_fanout.join([c] { ++c->parks; },
                                  [c] {
                                      ++c->wakes;
                                      if (c->onWake)
                                          c->onWake();
                                  });
        EXPECT_NE(c->viewer, nullptr);
        m_clients.push_back(std::move(client));
        return *c;
    }

    // All the client can take now, chunk bytes at a time; it is parked afterwards.
    QByteArray take(Client &client, size_t chunk = 4096)
    {
        QByteArray taken;
        std::vector<char> buffer(chunk);
        for (long long n; (n = m_fanout.take(*client.viewer, buffer.data(), chunk)) > 0;)
            taken.append(buffer.data(), int(n));
        return taken;
    }

    qint64 m_now = 5000000; // the fan-out's clock, moved on by hand
    SensorState m_state; // whose occupancy, hold and staleness the fan-out tells
    ViewerFanout m_fanout{m_state, [this] { return m_now; }};
    std::vector<std::unique_ptr<Client>> m_clients;
};

TEST_F(ViewerFanoutTest, NewViewerGetsRetryHelloOptionsHistoryAndStatusThenFrames)
{
    SavedRunOptions options;
    options.algorithm = QStringLiteral("Presence 1.0");
    options.timeout = 30;
    options.parameters = {{"FPS", "fps-10.parb"}};
    m_fanout.tellRunOptions(options);
    m_state.setHold(30, SensorState::HoldSource::SavedOptions);
    m_fanout.addToHistory(true, 738, 97);
    m_fanout.line(frameLine(1)); // before the viewer: counted, not sent
    m_now += 2500;
    m_fanout.addToHistory(false, 0, 12);

    Client &client = join();
    // Seven bytes at a time: events are split across takes.
    EXPECT_EQ(take(client, 7), QByteArray("retry: 2000\n\n"
                                          "event: hello\ndata: {\"version\":\"2.4.9\"}\n\n"
                                          "event: options\ndata: {\"algorithm\":\"Presence 1.0\","
                                          "\"parameters\":{\"FPS\":\"fps-10.parb\"},\"timeout\":30}\n\n"
                                          "event: history\ndata: {\"points\":[[2500,1,738,97],[0,0,0,12]]}\n\n"
                                          "event: status\ndata: {\"dropped\":0,\"frame_age_s\":2,\"frames\":1,"
                                          "\"hold\":30,\"occupancy\":false,\"stale\":false,\"viewers\":1}\n\n"));
    m_fanout.line(frameLine(2));
    EXPECT_EQ(take(client, 7), QByteArray("event: frame\ndata: {\"sequence\":2}\n\n"));
}

struct FramingRow
{
    std::string name;
    std::string line;
    QByteArray event;
};

class ViewerFanoutFramingTest : public ViewerFanoutTest, public ::testing::WithParamInterface<FramingRow>
{};

TEST_P(ViewerFanoutFramingTest, EachLineOfTheDataIsADataLine)
{
    Client &client = join();
    take(client);
    m_fanout.line(GetParam().line);
    EXPECT_EQ(take(client), GetParam().event);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ViewerFanoutFramingTest,
    ::testing::Values(FramingRow{"JsonLine", "{\"a\":1}\n", "event: frame\ndata: {\"a\":1}\n\n"},
                      FramingRow{"WithoutLineFeed", "{\"a\":1}", "event: frame\ndata: {\"a\":1}\n\n"},
                      FramingRow{"Empty", "\n", "event: frame\ndata: \n\n"},
                      FramingRow{"LineFeeds", "a\nb\n\nc\n", "event: frame\ndata: a\ndata: b\ndata: \ndata: c\n\n"},
                      FramingRow{"CarriageReturns", "a\r\nb\rc\r",
                                 "event: frame\ndata: a\ndata: b\ndata: c\ndata: \n\n"}),
    RowName());

struct BoundRow
{
    std::string name;
    int frames;
    int size; // of each line
};

class ViewerFanoutBoundTest : public ViewerFanoutTest, public ::testing::WithParamInterface<BoundRow>
{};

TEST_P(ViewerFanoutBoundTest, ViewerBehindSkipsTheOldestFramesAndIsToldHowMany)
{
    const BoundRow &row = GetParam();
    Client &behind = join();
    Client &reading = join();
    take(behind);
    take(reading);

    int readingFrames = 0;
    for (int i = 0; i < row.frames; ++i) {
        if (i == row.frames / 2)
            m_fanout.tellRunOptions(SavedRunOptions{}); // not a frame: never skipped
        m_fanout.line(frameLine(i, row.size));
        readingFrames += int(eventsOf(take(reading), "frame").size());
    }
    m_fanout.statusDue();

    const int eventSize = int(sizeof "event: frame\ndata: " - 1 + frameLine(0, row.size).size() - 1 + 2);
    const int kept = std::min({row.frames, ViewerFanout::QueuedFrames, ViewerFanout::QueuedBytes / eventSize});
    const QByteArray stream = take(behind);
    const std::vector<Event> events = eventsOf(stream);
    const std::vector<Event> frames = eventsOf(stream, "frame");
    ASSERT_EQ(int(frames.size()), kept);
    for (int i = 0; i < kept; ++i)
        ASSERT_EQ(member(frames[size_t(i)], "sequence"), row.frames - kept + i) << i;
    EXPECT_EQ(eventsOf(stream, "options").size(), 1u);
    ASSERT_EQ(events.front().name, "status");
    EXPECT_EQ(member(events.front(), "dropped"), row.frames - kept);
    EXPECT_EQ(member(events.front(), "frames"), row.frames);

    EXPECT_EQ(readingFrames, row.frames);
    EXPECT_EQ(member(eventsOf(take(reading), "status").at(0), "dropped"), 0);
}

INSTANTIATE_TEST_SUITE_P(Limits, ViewerFanoutBoundTest,
                         ::testing::Values(BoundRow{"Within", ViewerFanout::QueuedFrames, 100},
                                           BoundRow{"TooManyFrames", ViewerFanout::QueuedFrames + 10, 100},
                                           BoundRow{"TooManyBytes", 150, 10000}),
                         RowName());

TEST_F(ViewerFanoutTest, OnlyAParkedViewerIsWokenAndOnlyOnce)
{
    Client &parked = join();
    Client &busy = join();
    take(parked);
    EXPECT_EQ(parked.parks, 1);

    m_fanout.line(frameLine(1));
    m_fanout.line(frameLine(2));
    m_fanout.statusDue();
    EXPECT_EQ(parked.wakes, 1);
    EXPECT_EQ(busy.wakes, 0);

    EXPECT_EQ(eventsOf(take(parked), "frame").size(), 2u);
    EXPECT_EQ(parked.parks, 2);
    m_fanout.statusDue();
    EXPECT_EQ(parked.wakes, 2);
    EXPECT_EQ(busy.parks, 0);
}

TEST_F(ViewerFanoutTest, StatusTellsViewersFramesAndOccupancy)
{
    Client &client = join();
    Client &leaving = join();
    m_state.setHold(2, SensorState::HoldSource::SavedOptions);
    m_fanout.line(frameLine(1));
    m_state.frame(Fixtures::presenceFrame(true, 7380, 97, 0, 1));
    m_fanout.tellOccupancy();
    m_fanout.line(frameLine(2));
    m_fanout.leave(leaving.viewer);
    m_fanout.statusDue();

    const QByteArray stream = take(client);
    const std::vector<Event> events = eventsOf(stream);
    const std::vector<Event> occupancy = eventsOf(stream, "occupancy");
    ASSERT_EQ(occupancy.size(), 1u);
    EXPECT_EQ(occupancy[0].data, R"({"hold":2,"occupancy":true})");
    EXPECT_EQ(events.front().name, "status");
    EXPECT_EQ(events.front().data,
              R"({"dropped":0,"frame_age_s":0,"frames":2,"hold":2,"occupancy":true,"stale":false,"viewers":1})");
}

TEST_F(ViewerFanoutTest, StaleOrBackIsToldAtOnceWithTheSecondsSinceTheLastFrame)
{
    Client &client = join();
    m_fanout.line(frameLine(1));
    take(client);
    m_now += 7300;
    m_state.setStale(true);
    m_fanout.statusDue();
    const std::vector<Event> stale = eventsOf(take(client), "status");
    ASSERT_EQ(stale.size(), 1u);
    EXPECT_TRUE(stale[0].data.contains(R"("frame_age_s":7,"frames":1,"hold":0,"occupancy":false,"stale":true)"));
    m_fanout.line(frameLine(2));
    m_state.setStale(false);
    m_fanout.statusDue();
    const std::vector<Event> back = eventsOf(take(client), "status");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_TRUE(back[0].data.contains(R"("frame_age_s":0,"frames":2,"hold":0,"occupancy":false,"stale":false)"));
    EXPECT_EQ(client.wakes, 2);
}

struct HistoryRow
{
    std::string name;
    int reports; // distance i cm for the i-th
    qint64 apart; // milliseconds
    qint64 quietBeforeJoin;
    int kept; // the newest
};

class ViewerFanoutHistoryTest : public ViewerFanoutTest, public ::testing::WithParamInterface<HistoryRow>
{};

TEST_P(ViewerFanoutHistoryTest, NewViewerIsSentTheLastMinuteFirstOldestDropped)
{
    const HistoryRow &row = GetParam();
    for (int i = 0; i < row.reports; ++i) {
        if (i)
            m_now += row.apart;
        m_fanout.addToHistory(i % 2 == 0, uint32_t(i), 50);
    }
    m_now += row.quietBeforeJoin;
    Client &client = join();
    m_fanout.line(frameLine(1));

    const std::vector<Event> events = eventsOf(take(client));
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events[2].name, "history"); // after hello and options, before status and frames
    EXPECT_EQ(events[3].name, "status");
    const QJsonArray points = QJsonDocument::fromJson(events[2].data).object().value("points").toArray();
    ASSERT_EQ(points.size(), row.kept);
    for (int k = 0; k < row.kept; ++k) {
        const int i = row.reports - row.kept + k;
        const qint64 age = qint64(row.reports - 1 - i) * row.apart + row.quietBeforeJoin;
        ASSERT_EQ(points[k].toArray(), (QJsonArray{age, i % 2 == 0 ? 1 : 0, i, 50})) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Bounds, ViewerFanoutHistoryTest,
                         ::testing::Values(HistoryRow{"None", 0, 1000, 0, 0}, HistoryRow{"Few", 3, 50, 0, 3},
                                           HistoryRow{"LastMinute", 100, 1000, 0, 61},
                                           HistoryRow{"AgedBeforeJoin", 60, 1000, 30000, 31},
                                           HistoryRow{"AtMostHistoryPoints", ViewerFanout::HistoryPoints + 2000, 1, 0,
                                                      ViewerFanout::HistoryPoints}),
                         RowName());

TEST_F(ViewerFanoutTest, EndEndsEveryStreamAndWaitsForTheServerToLetEachGo)
{
    Client &parked = join();
    Client &busy = join();
    take(parked);
    char buffer[64];
    long long parkedEnd = 0;
    // As the server does: a woken viewer is asked for bytes again, and let go once its stream is over.
    parked.onWake = [&] {
        parkedEnd = m_fanout.take(*parked.viewer, buffer, sizeof buffer);
        m_fanout.leave(parked.viewer);
    };
    std::atomic<long long> busyEnd{0};
    std::thread server([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        busyEnd = m_fanout.take(*busy.viewer, buffer, sizeof buffer);
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // its last chunk on the way
        m_fanout.leave(busy.viewer);
    });

    QElapsedTimer ending;
    ending.start();
    m_fanout.endServing(std::chrono::seconds(10));
    const qint64 waited = ending.elapsed();
    server.join();
    EXPECT_GE(waited, 400);
    EXPECT_LT(waited, 5000);
    EXPECT_EQ(parkedEnd, -1);
    EXPECT_EQ(busyEnd, -1);
    EXPECT_EQ(m_fanout.viewers(), 0);
    EXPECT_EQ(m_fanout.join({}, {}), nullptr);

    m_fanout.beginServing(QStringLiteral("2.4.9"));
    EXPECT_NE(m_fanout.join({}, {}), nullptr);
}

} // namespace
} // namespace Vantrel::Test
