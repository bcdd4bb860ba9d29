// WebView on real sockets, curl as the browser: the page, and viewers of the event stream.
#include "frames/http/webview.h"

#include "tests/support/presenceframes.h"

#include "frames/json/jsonframes.h"
#include "stream/savedoptions.h"
#include "tests/support/eventstreamtesting.h"
#include "tests/support/qtprinters.h"
#include "tests/support/tablerows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Readable failures.
static void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}

namespace Vantrel::Test {
namespace {

using Vantrel::Test::operator<<;

const QByteArray Policy = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                          "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// A member of the JSON data of the last event of that name; -1 without one.
int lastValue(const CurlStream &stream, const QByteArray &event, const char *member)
{
    return QJsonDocument::fromJson(stream.last(event)).object().value(QLatin1String(member)).toInt(-1);
}

// A frame's JSON line as JsonFrames writes it, padded to about `size` bytes.
std::string frameLine(int sequence, int size = 0)
{
    std::string line = R"({"kind":"human-presence","sequence":)" + std::to_string(sequence) + R"(,"presence":1)";
    if (size > int(line.size()) + 10)
        line += R"(,"pad":")" + std::string(size_t(size) - line.size() - 10, 'x') + '"';
    return line + "}\n";
}

// Lines handed to the view on their own, of frames without a presence report.
const DecodedFrame Unreported;

int sequenceOf(const QByteArray &frame)
{
    return QJsonDocument::fromJson(frame).object().value(QLatin1String("sequence")).toInt(-1);
}

QByteArray frameData(int sequence, int size = 0)
{
    return QByteArray::fromStdString(frameLine(sequence, size)).chopped(1);
}

class WebViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("2.4.9"));
        // As vantrel-frames wires it: the state tells the view its changes and, through the JSON
        // lines, every frame.
        m_json.addSink(&m_view);
        m_state.addObserver(&m_json);
        m_state.addObserver(&m_view);
        QString error;
        ASSERT_TRUE(m_view.start(error)) << error.toStdString();
    }

    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_view.port()).arg(path);
    }

    // Connected, and counted by the view: its hello has come.
    std::unique_ptr<CurlStream> viewer()
    {
        auto stream = std::make_unique<CurlStream>(url(QStringLiteral("/events")));
        EXPECT_TRUE(waitUntil([&] { return stream->count("hello") == 1; }));
        return stream;
    }

    // Frames from..to-1, a hundred at a time, each hundred waited for by the viewers.
    void push(int from, int to, const std::vector<CurlStream *> &viewers, int size = 0)
    {
        for (int batch = from; batch < to; batch += 100) {
            for (int i = batch; i < std::min(to, batch + 100); ++i)
                m_view.line(frameLine(i, size), Unreported);
            for (CurlStream *viewer : viewers)
                ASSERT_TRUE(waitUntil([&] { return viewer->count("frame") >= std::min(to, batch + 100); }));
        }
    }

    SensorState m_state;
    JsonFrames m_json;
    WebView m_view{WebViewSettings{}, m_state};
};

struct PageRow
{
    std::string name;
    QStringList arguments; // curl's, before the URL
    QString path;
    int status;
    QByteArray contentType;
    QString resource; // the body is this file
    QByteArray otherHeader; // "name: value"
};

class WebViewPageTest : public WebViewTest, public ::testing::WithParamInterface<PageRow>
{};

TEST_P(WebViewPageTest, AnswersWithItsHeaders)
{
    const PageRow &row = GetParam();
    const HttpReply reply = curl(url(row.path), row.arguments);
    ASSERT_EQ(reply.status, row.status);
    EXPECT_EQ(reply.headers.value("content-security-policy"), Policy);
    EXPECT_EQ(reply.headers.value("x-content-type-options"), "nosniff");
    EXPECT_EQ(reply.headers.value("referrer-policy"), "no-referrer");
    if (!row.contentType.isEmpty()) {
        EXPECT_EQ(reply.headers.value("content-type"), row.contentType);
    }
    if (!row.otherHeader.isEmpty()) {
        const QList<QByteArray> header = row.otherHeader.split(':');
        EXPECT_EQ(reply.headers.value(header[0]), header[1].trimmed());
    }
    QFile file(row.resource);
    if (!row.resource.isEmpty() && file.open(QIODevice::ReadOnly)) {
        EXPECT_EQ(reply.body, file.readAll());
    }
    EXPECT_TRUE(row.resource.isEmpty() || file.size() > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, WebViewPageTest,
    ::testing::Values(
        PageRow{"Index", {}, "/", 200, "text/html; charset=utf-8", ":/page/index.html", "cache-control: no-cache"},
        PageRow{"Script", {}, "/app.js?v=2", 200, "text/javascript; charset=utf-8", ":/page/app.js", {}},
        PageRow{"Style", {}, "/style.css", 200, "text/css; charset=utf-8", ":/page/style.css", {}},
        PageRow{"HeadOfIndex", {"-I"}, "/", 200, "text/html; charset=utf-8", {}, {}},
        PageRow{"HeadOfEvents", {"-I"}, "/events", 200, "text/event-stream", {}, "cache-control: no-store"},
        PageRow{"Unknown", {}, "/page/index.html", 404, {}, {}, {}},
        PageRow{"Post", {"-d", "x=1"}, "/", 405, {}, {}, "allow: GET, HEAD"},
        PageRow{"PutEvents", {"-X", "PUT"}, "/events", 405, {}, {}, "allow: GET, HEAD"},
        PageRow{"LocalhostByName", {"-H", "Host: localhost:8080"}, "/", 200, {}, ":/page/index.html", {}},
        // A name made to resolve to 127.0.0.1 (DNS rebinding) reads nothing.
        PageRow{"OtherHostName", {"-H", "Host: attacker.example:8080"}, "/events", 403, {}, {}, {}}),
    RowName());

struct HostRow
{
    std::string name;
    QString host; // the request's Host header
    int status;
};

class WebViewHostTest : public ::testing::TestWithParam<HostRow>
{};

// Listening on every address, the view answers requests addressed to it by an IP address, as
// localhost or by a name it was given, and no others.
TEST_P(WebViewHostTest, AnswersOnlyTheHostsItKnows)
{
    const SensorState state;
    WebView view(WebViewSettings{QStringLiteral("0.0.0.0"), 0, {QStringLiteral("radar.lan")}}, state);
    QString error;
    ASSERT_TRUE(view.start(error)) << error.toStdString();
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(view.port());
    EXPECT_EQ(curl(url, {"-H", "Host: " + GetParam().host}).status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Hosts, WebViewHostTest,
                         ::testing::Values(HostRow{"GivenName", "radar.lan:8080", 200},
                                           HostRow{"GivenNameInCapitalsWithRootDot", "RADAR.LAN.", 200},
                                           HostRow{"Ipv4Literal", "192.0.2.7:8080", 200},
                                           HostRow{"Ipv6Literal", "[2001:db8::1]:8080", 200},
                                           HostRow{"Localhost", "localhost", 200},
                                           HostRow{"OtherName", "attacker.example", 403},
                                           HostRow{"UnderTheGivenName", "evil.radar.lan", 403}),
                         RowName());

// 80 connections from one address that never finish their headers leave room for another viewer.
TEST_F(WebViewTest, OneClientsUnfinishedRequestsLockNobodyOut)
{
    sockaddr_in from = {AF_INET, 0, {htonl(0x7f000002)}, {}}; // 127.0.0.2
    sockaddr_in to = {AF_INET, htons(m_view.port()), {htonl(INADDR_LOOPBACK)}, {}};
    const std::string partial = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    std::vector<int> held(80, -1);
    for (int &fd : held) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from), 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        ASSERT_EQ(::send(fd, partial.data(), partial.size(), MSG_NOSIGNAL), ssize_t(partial.size()));
    }
    // Served at once; without room it would wait for the held connections to time out.
    EXPECT_EQ(curl(url(QStringLiteral("/")), {"--max-time", "10"}).status, 200);
    for (int fd : held)
        ::close(fd);
}

TEST_F(WebViewTest, NewViewerGetsRetryHelloOptionsHistoryAndStatus)
{
    SavedRunOptions options;
    options.algorithm = QStringLiteral("Presence 1.0");
    options.timeout = 30;
    options.parameters = {{"FPS", "fps-10.parb"}, {"connection", "connection-simulation.parb"}};
    m_state.setRunOptions(options);
    m_state.setHold(30, SensorState::HoldSource::SavedOptions);
    m_state.frame(Fixtures::presenceFrame(true, 7380, 97));
    m_state.frame(Fixtures::presenceFrame(false, 0, 0));

    const auto stream = viewer();
    ASSERT_TRUE(waitUntil([&] { return stream->count("status") >= 1; }));
    EXPECT_EQ(stream->head.headers.value("content-type"), "text/event-stream");
    EXPECT_EQ(stream->head.headers.value("cache-control"), "no-store");
    EXPECT_EQ(stream->head.headers.value("content-security-policy"), Policy);
    QList<QByteArray> first;
    for (const SseEvent &event : stream->events.mid(0, 5))
        first << event.name + ' ' + event.data;
    // The history's ages depend on the clock.
    first[3] = QString::fromUtf8(first[3]).replace(QRegularExpression(R"(\[\d+,)"), "[age,").toUtf8();
    EXPECT_EQ(first, (QList<QByteArray>{"retry 2000", R"(hello {"version":"2.4.9"})",
                                        R"(options {"algorithm":"Presence 1.0","parameters":{"FPS":"fps-10.parb",)"
                                        R"("connection":"connection-simulation.parb"},"timeout":30})",
                                        R"(history {"points":[[age,1,738,97],[age,0,0,0]]})",
                                        R"(status {"dropped":0,"frame_age_s":0,"frames":2,"hold":30,)"
                                        R"("occupancy":true,"stale":false,"viewers":1})"}));

    options.algorithm = QStringLiteral("Presence 2.0");
    m_state.setRunOptions(options);
    ASSERT_TRUE(waitUntil([&] { return stream->count("options") == 2; }));
    EXPECT_TRUE(stream->last("options").startsWith(R"({"algorithm":"Presence 2.0")"));
}

TEST_F(WebViewTest, EveryViewerGetsEveryFrameInOrderAndOneTooManyIsTurnedAway)
{
    std::vector<std::unique_ptr<CurlStream>> viewers;
    std::vector<CurlStream *> all;
    for (int i = 0; i < WebView::MaxViewers; ++i) {
        viewers.push_back(viewer());
        all.push_back(viewers.back().get());
    }
    CurlStream tooMany(url(QStringLiteral("/events")));
    ASSERT_TRUE(waitUntil([&] { return tooMany.ended(); }));
    EXPECT_EQ(tooMany.head.status, 503);

    const int frames = 400;
    push(0, frames, all);
    QList<QByteArray> expected;
    for (int i = 0; i < frames; ++i)
        expected.append(frameData(i));
    for (const CurlStream *stream : all)
        EXPECT_EQ(stream->data("frame"), expected);
    ASSERT_TRUE(waitUntil([&] { return lastValue(*all[0], "status", "frames") == frames; }));
    EXPECT_EQ(lastValue(*all[0], "status", "viewers"), WebView::MaxViewers);
    EXPECT_EQ(lastValue(*all[0], "status", "dropped"), 0);

    // A viewer gone frees its place.
    viewers.pop_back();
    ASSERT_TRUE(waitUntil([&] { return lastValue(*all[0], "status", "viewers") == WebView::MaxViewers - 1; }));
    EXPECT_EQ(viewer()->head.status, 200);
}

TEST_F(WebViewTest, StalledViewerSkipsFramesAndHoldsNobodyUp)
{
    const auto stalled = viewer();
    stalled->stall(true);
    const auto first = viewer();
    const auto second = viewer();

    // 20 MB, far more than the stalled viewer's sockets and queue hold. Were line() to wait for
    // a viewer, it would hang here.
    const int frames = 20000;
    QElapsedTimer pushing;
    pushing.start();
    push(0, frames, {first.get(), second.get()}, 1000);
    std::cout << "20,000 frames to two viewers, one stalled: " << pushing.elapsed() << " ms\n";
    for (const CurlStream *stream : {first.get(), second.get()}) {
        const QList<QByteArray> got = stream->data("frame");
        ASSERT_EQ(got.size(), frames);
        for (int i = 0; i < frames; i += 997)
            EXPECT_EQ(got[i], frameData(i, 1000)) << i;
    }
    ASSERT_TRUE(waitUntil([&] { return lastValue(*first, "status", "frames") == frames; }));
    EXPECT_EQ(lastValue(*first, "status", "dropped"), 0);
    EXPECT_EQ(lastValue(*first, "status", "viewers"), 3);

    // Reading again, it gets the newest frames in order, and is told how many it missed.
    stalled->stall(false);
    ASSERT_TRUE(waitUntil([&] { return stalled->last("frame") == frameData(frames - 1, 1000); }));
    ASSERT_TRUE(waitUntil([&] { return lastValue(*stalled, "status", "dropped") > 0; }));
    const QList<QByteArray> got = stalled->data("frame");
    EXPECT_EQ(got.size() + lastValue(*stalled, "status", "dropped"), frames);
    for (int i = 1; i < got.size(); ++i)
        ASSERT_LT(sequenceOf(got[i - 1]), sequenceOf(got[i])) << i;
}

TEST_F(WebViewTest, OccupancyEndsWhenTheHoldRunsOutWithNoFrameAfterIt)
{
    const auto stream = viewer();
    m_state.setHold(1, SensorState::HoldSource::SavedOptions);
    m_state.frame(Fixtures::presenceFrame(true, 7380, 97));
    m_state.frame(Fixtures::presenceFrame(false, 0, 0)); // held
    QElapsedTimer silence;
    silence.start();
    ASSERT_TRUE(waitUntil([&] { return stream->count("occupancy") == 2; }));
    EXPECT_GE(silence.elapsed(), 900);
    EXPECT_EQ(stream->data("occupancy"),
              (QList<QByteArray>{R"({"hold":1,"occupancy":true})", R"({"hold":1,"occupancy":false})"}));
    EXPECT_EQ(stream->count("frame"), 2);
}

TEST_F(WebViewTest, StopEndsEveryStreamWithoutWaitingForStalledViewers)
{
    const auto stalled = viewer();
    stalled->stall(true);
    const auto idle = viewer();
    const auto reading = viewer();
    push(0, 5000, {reading.get()}, 1000); // enough to fill the stalled viewer's sockets

    m_view.stop();
    EXPECT_EQ(m_view.port(), 0);
    stalled->stall(false);
    for (const CurlStream *stream : {stalled.get(), idle.get(), reading.get()})
        EXPECT_TRUE(waitUntil([&] { return stream->ended(); }));
    m_view.stop(); // twice is fine
    m_view.line(frameLine(1), Unreported); // and so is a frame after it
}

TEST(WebViewListen, RefusesWhatItCannotListenOn)
{
    const SensorState state;
    WebView first{WebViewSettings{}, state};
    QString error;
    ASSERT_TRUE(first.start(error)) << error.toStdString();
    EXPECT_FALSE(first.start(error));
    for (const auto &[address, port, message] :
         {std::tuple{"kitchen.local", 0, QStringLiteral("\"kitchen.local\" is not an IP address")},
          std::tuple{"127.0.0.1:8080", 0, QStringLiteral("is not an IP address")},
          std::tuple{"", 0, QStringLiteral("is not an IP address")},
          std::tuple{"127.0.0.1", int(first.port()),
                     QStringLiteral("can't listen on 127.0.0.1 port %1").arg(first.port())}}) {
        WebView view{WebViewSettings{QString::fromLatin1(address), quint16(port), {}}, state};
        EXPECT_FALSE(view.start(error)) << address;
        EXPECT_TRUE(error.contains(message)) << error.toStdString();
        EXPECT_EQ(view.port(), 0);
    }
}

TEST(WebViewListen, ServesOnIpv6LoopbackOnly)
{
    const SensorState state;
    WebView view{WebViewSettings{QStringLiteral("::1"), 0, {}}, state};
    QString error;
    if (!view.start(error))
        GTEST_SKIP() << "no IPv6 loopback here: " << error.toStdString();
    CurlStream stream(QStringLiteral("http://[::1]:%1/events").arg(view.port()));
    ASSERT_TRUE(waitUntil([&] { return stream.count("hello") == 1; }));
    view.line(frameLine(7), Unreported);
    ASSERT_TRUE(waitUntil([&] { return stream.count("frame") == 1; }));
    EXPECT_EQ(stream.last("frame"), frameData(7));
    EXPECT_EQ(curl(QStringLiteral("http://127.0.0.1:%1/").arg(view.port())).status, 0);
}

} // namespace
} // namespace Vantrel::Test
