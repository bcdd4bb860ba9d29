#pragma once

#include "frames/http/viewerfanout.h"
#include "frames/json/jsonline.h"
#include "frames/state/sensorstate.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

struct MHD_Connection;
struct MHD_Daemon;
struct MHD_Response;

namespace Vantrel {

class Metrics;

struct WebViewSettings
{
    QString address = QStringLiteral("127.0.0.1"); // an IPv4 or IPv6 address; "0.0.0.0" or "::" for all
    quint16 port = 0; // 0: any free port
    QStringList hosts; // host names answered besides IP addresses and localhost
};

// A live view of the sensor in a web browser: the page at /, and at /events a Server-Sent Events
// stream of the last minute's presence, then every frame's JSON line, the occupancy, the run's options
// and a status every second (and at once when the stream turns stale or comes back); at /metrics
// the same state for Prometheus. Read-only: no request changes anything.
//
// libmicrohttpd serves it from one polling thread of its own; what each viewer is sent is
// ViewerFanout's. A viewer with nothing to send is suspended and resumed when an event is queued
// for it, so waiting viewers cost nothing and need no thread each, and the caller of line() and
// sensorChanged() only locks, queues and signals: it never touches a socket. Each viewer's queue is
// bounded; a viewer that falls behind skips the oldest frames (and is told how many in its
// status), and one that takes nothing for StallSeconds is disconnected.
class WebView : public QObject, public SensorObserver, public JsonLineSink
{
    Q_OBJECT

public:
    static constexpr int MaxViewers = ViewerFanout::MaxViewers; // more are answered 503
    static constexpr int QueuedFrames = ViewerFanout::QueuedFrames; // per viewer, and at most QueuedBytes
    static constexpr int QueuedBytes = ViewerFanout::QueuedBytes;
    static constexpr int StallSeconds = 30;

    WebView(WebViewSettings settings, const SensorState &state, QObject *parent = nullptr);
    ~WebView() override;

    // Listens. False with the reason when it cannot (the address is not an IP address, the port is
    // taken, ...).
    bool start(QString &error);
    // Ends every viewer's stream and closes the listener; does not wait for stalled viewers.
    void stop();
    // The port listened on (the one chosen for port 0); 0 when not listening.
    quint16 port() const { return m_port; }

    // Served at /metrics, for Prometheus; before start(). Without it /metrics is not found.
    void setMetrics(const Metrics *metrics) { m_metrics = metrics; }

    // The occupancy, staleness and run options, told to the viewers as they change.
    void sensorChanged(const SensorState &state, SensorState::Changes changes, const DecodedFrame *frame) override;
    // Each frame's line, handed on to the viewers.
    void line(std::string_view line, const DecodedFrame &frame) override;

private:
    struct Route; // one request served
    struct Stream; // one viewer's event stream
    struct Callbacks; // libmicrohttpd's, on its thread

    // Qt thread.
    bool makeResponses();
    void freeResponses();

    // libmicrohttpd's thread.
    bool answer(MHD_Connection *connection, const char *url, const char *method);
    bool openStream(MHD_Connection *connection);
    bool serveMetrics(MHD_Connection *connection);
    bool hostAllowed(MHD_Connection *connection) const;

    WebViewSettings m_settings;
    quint16 m_port = 0;
    MHD_Daemon *m_daemon = nullptr;
    std::vector<MHD_Response *> m_responses; // made at start(), freed at stop()
    MHD_Response *m_page = nullptr;
    MHD_Response *m_script = nullptr;
    MHD_Response *m_style = nullptr;
    MHD_Response *m_notFound = nullptr;
    MHD_Response *m_notAllowed = nullptr;
    MHD_Response *m_busy = nullptr;
    MHD_Response *m_forbidden = nullptr;
    MHD_Response *m_streamHead = nullptr;
    QByteArray m_pageBytes;
    QByteArray m_scriptBytes;
    QByteArray m_styleBytes;
    std::mutex m_logMutex;
    QStringList m_startLog; // what libmicrohttpd reported while starting, and a little after

    QTimer m_statusTimer;
    ViewerFanout m_fanout; // shared with libmicrohttpd's thread
    const Metrics *m_metrics = nullptr;
};

} // namespace Vantrel
