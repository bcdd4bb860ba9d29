#include "frames/http/webview.h"

#include "decoding/decodedframe.h"
#include "frames/http/metrics.h"
#include "process/systemerror.h"

#include <QCoreApplication>
#include <QFile>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

// Resources of a static library are registered by hand, from the global namespace.
static void initPageResource()
{
    Q_INIT_RESOURCE(page);
}

namespace Vantrel {

namespace {

// How much libmicrohttpd asks of a stream at a time: several frames' lines.
constexpr size_t StreamBlockSize = 16 * 1024;
// Viewers, and requests for the page beside them.
constexpr unsigned ConnectionLimit = WebView::MaxViewers + 32;
// From one address: every viewer (the one too many is told so), but not every connection.
constexpr unsigned ConnectionsPerClient = WebView::MaxViewers + 8;
// How long a request may be idle before its headers are whole; an event stream gets StallSeconds.
constexpr unsigned RequestSeconds = 10;
// How long stop() lets resumed viewers end their streams cleanly before it closes them anyway.
constexpr std::chrono::milliseconds EndingWait(2000);

const char *const SecurityPolicy = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                                   "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// The methods a route answers.
constexpr unsigned Get = 1;
constexpr unsigned Head = 2;

void addHeaders(MHD_Response *response, const char *contentType)
{
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    MHD_add_response_header(response, "Content-Security-Policy", SecurityPolicy);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
}

// The address to listen on, with the port; nothing when it is not an IP address.
bool socketAddress(const QString &address, quint16 port, sockaddr_storage &result)
{
    QString host = address;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (host.isEmpty() || getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &found) != 0)
        return false;
    const bool usable =
        found->ai_addrlen <= sizeof(result) && (found->ai_family == AF_INET || found->ai_family == AF_INET6);
    if (usable) {
        result = {};
        std::memcpy(&result, found->ai_addr, found->ai_addrlen);
    }
    freeaddrinfo(found);
    return usable;
}

bool isAnyAddress(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in &>(address).sin_addr.s_addr == htonl(INADDR_ANY);
    return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6 &>(address).sin6_addr);
}

} // namespace

struct WebView::Route
{
    const char *path;
    unsigned methods; // Get, Head or both
    MHD_Response *WebView::*response; // answered with this, 200 OK; or
    bool (WebView::*handler)(MHD_Connection *connection);
};

struct WebView::Stream
{
    ViewerFanout *fanout;
    ViewerFanout::Viewer *viewer;
};

// libmicrohttpd's callbacks, with its types, on its thread.
struct WebView::Callbacks
{
    static MHD_Result request(void *self, MHD_Connection *connection, const char *url, const char *method, const char *,
                              const char *, size_t *, void **)
    {
        return static_cast<WebView *>(self)->answer(connection, url, method) ? MHD_YES : MHD_NO;
    }

    static ssize_t read(void *stream, uint64_t, char *buffer, size_t max)
    {
        auto *s = static_cast<Stream *>(stream);
        const long long result = s->fanout->take(*s->viewer, buffer, max);
        return result < 0 ? MHD_CONTENT_READER_END_OF_STREAM : ssize_t(result);
    }

    static void free(void *stream)
    {
        auto *s = static_cast<Stream *>(stream);
        s->fanout->leave(s->viewer);
        delete s;
    }

    static ssize_t endAtOnce(void *, uint64_t, char *, size_t) { return MHD_CONTENT_READER_END_OF_STREAM; }

    static void log(void *self, const char *format, va_list arguments)
    {
        char message[512];
        std::vsnprintf(message, sizeof message, format, arguments);
        auto *view = static_cast<WebView *>(self);
        std::lock_guard<std::mutex> lock(view->m_logMutex);
        // Only what start() may need to explain a failure; afterwards a client that goes away is no news.
        if (view->m_startLog.size() < 16)
            view->m_startLog.append(QString::fromLocal8Bit(message).trimmed());
    }
};

WebView::WebView(WebViewSettings settings, const SensorState &state, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_fanout(state)
{
    static const bool pageRegistered = (initPageResource(), true);
    Q_UNUSED(pageRegistered);
    m_statusTimer.setInterval(1000);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { m_fanout.statusDue(); });
}

WebView::~WebView()
{
    stop();
}

bool WebView::start(QString &error)
{
    if (m_daemon) {
        error = tr("the web view has already started");
        return false;
    }
    for (const auto &[path, bytes] :
         {std::pair{":/page/index.html", &m_pageBytes}, std::pair{":/page/app.js", &m_scriptBytes},
          std::pair{":/page/style.css", &m_styleBytes}}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly)) {
            error = tr("the web page's %1 is missing from the program").arg(QString::fromLatin1(path + 7));
            return false;
        }
        *bytes = file.readAll();
    }
    sockaddr_storage address;
    if (!socketAddress(m_settings.address, m_settings.port, address)) {
        error = tr("\"%1\" is not an IP address to listen on").arg(m_settings.address);
        return false;
    }
    if (!makeResponses()) {
        error = tr("out of memory");
        freeResponses();
        return false;
    }

    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        m_startLog.clear();
    }
    m_fanout.beginServing(QCoreApplication::applicationVersion());
    // One polling thread for every connection, viewers waiting suspended rather than in threads of
    // their own (see the class comment). "::" also takes IPv4.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (address.ss_family == AF_INET6)
        flags |= isAnyAddress(address) ? MHD_USE_DUAL_STACK : MHD_USE_IPv6;
    m_daemon = MHD_start_daemon(flags, m_settings.port, nullptr, nullptr, &Callbacks::request, this,
                                MHD_OPTION_EXTERNAL_LOGGER, static_cast<MHD_LogCallback>(&Callbacks::log), this,
                                MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr *>(&address),
                                MHD_OPTION_CONNECTION_LIMIT, ConnectionLimit, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
                                ConnectionsPerClient, MHD_OPTION_CONNECTION_TIMEOUT, RequestSeconds, MHD_OPTION_END);
    const int startError = errno;
    if (!m_daemon) {
        std::lock_guard<std::mutex> lock(m_logMutex);
        // A bind error says it all; libmicrohttpd's own words are kept for anything else.
        const bool bindError = startError == EADDRINUSE || startError == EADDRNOTAVAIL || startError == EACCES;
        const QString reason =
            bindError || m_startLog.isEmpty() ? systemErrorText(startError) : m_startLog.join(QLatin1String("; "));
        error = tr("can't listen on %1 port %2: %3").arg(m_settings.address).arg(m_settings.port).arg(reason);
        freeResponses();
        return false;
    }
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info && info->port ? info->port : m_settings.port;
    m_statusTimer.start();
    return true;
}

void WebView::stop()
{
    if (!m_daemon)
        return;
    m_statusTimer.stop();
    // libmicrohttpd must not be stopped with suspended connections: they are resumed, and end their
    // stream when next asked for bytes. The others, stalled or busy, are simply closed.
    m_fanout.endServing(EndingWait);
    MHD_stop_daemon(std::exchange(m_daemon, nullptr));
    freeResponses();
    m_port = 0;
    // Every response, and with it every viewer, was freed when its connection closed.
    Q_ASSERT(m_fanout.viewers() == 0);
}

void WebView::sensorChanged(const SensorState &state, SensorState::Changes changes, const DecodedFrame *)
{
    if (changes & SensorState::Occupancy)
        m_fanout.tellOccupancy();
    if (changes & SensorState::Stale)
        m_fanout.statusDue();
    if (changes & SensorState::RunOptions)
        m_fanout.tellRunOptions(*state.runOptions());
}

// Each frame once, as its line; its presence also goes into the history.
void WebView::line(std::string_view line, const DecodedFrame &frame)
{
    if (frame.presence) {
        m_fanout.addToHistory(frame.presence->state, distanceCentimetres(frame.presence->distance),
                          frame.presence->confidence);
    }
    m_fanout.line(line);
}

bool WebView::makeResponses()
{
    const auto keep = [this](MHD_Response *response, const char *contentType) {
        if (response) {
            addHeaders(response, contentType);
            m_responses.push_back(response);
        }
        return response;
    };
    const auto page = [&](const QByteArray &bytes, const char *contentType) {
        MHD_Response *response =
            keep(MHD_create_response_from_buffer(size_t(bytes.size()), const_cast<char *>(bytes.constData()),
                                                 MHD_RESPMEM_PERSISTENT),
                 contentType);
        // A newer program's page is fetched anew, not taken from the cache.
        if (response)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
        return response;
    };
    const auto text = [&](const char *message) {
        return keep(
            MHD_create_response_from_buffer(std::strlen(message), const_cast<char *>(message), MHD_RESPMEM_PERSISTENT),
            "text/plain; charset=utf-8");
    };
    m_page = page(m_pageBytes, "text/html; charset=utf-8");
    m_script = page(m_scriptBytes, "text/javascript; charset=utf-8");
    m_style = page(m_styleBytes, "text/css; charset=utf-8");
    m_notFound = text("Not found\n");
    m_notAllowed = text("Only GET and HEAD are served\n");
    m_busy = text("Too many viewers; try again later\n");
    m_forbidden = text("Not served under this host name\n");
    m_streamHead =
        keep(MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 1024, &Callbacks::endAtOnce, nullptr, nullptr),
             "text/event-stream");
    if (m_responses.size() != 8)
        return false;
    MHD_add_response_header(m_notAllowed, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    MHD_add_response_header(m_busy, MHD_HTTP_HEADER_RETRY_AFTER, "10");
    MHD_add_response_header(m_streamHead, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return true;
}

void WebView::freeResponses()
{
    for (MHD_Response *response : m_responses)
        MHD_destroy_response(response);
    m_responses.clear();
    m_page = m_script = m_style = m_notFound = m_notAllowed = m_busy = m_forbidden = m_streamHead = nullptr;
}

// --- libmicrohttpd's thread --------------------------------------------------------------------------

bool WebView::answer(MHD_Connection *connection, const char *url, const char *method)
{
    // Every request served; any other path is not found.
    static const Route routes[] = {
        {"/", Get | Head, &WebView::m_page, nullptr},
        {"/app.js", Get | Head, &WebView::m_script, nullptr},
        {"/style.css", Get | Head, &WebView::m_style, nullptr},
        {"/events", Head, &WebView::m_streamHead, nullptr},
        {"/events", Get, nullptr, &WebView::openStream},
        {"/metrics", Get | Head, nullptr, &WebView::serveMetrics},
    };
    const auto reply = [connection](unsigned status, MHD_Response *response) {
        return MHD_queue_response(connection, status, response) == MHD_YES;
    };
    if (!hostAllowed(connection))
        return reply(MHD_HTTP_FORBIDDEN, m_forbidden);
    const unsigned asked = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0    ? Get
                           : std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0 ? Head
                                                                            : 0;
    // Nothing is changed by any request, whatever its path.
    if (!asked)
        return reply(MHD_HTTP_METHOD_NOT_ALLOWED, m_notAllowed);
    for (const Route &route : routes) {
        if ((route.methods & asked) && std::strcmp(url, route.path) == 0)
            return route.handler ? (this->*route.handler)(connection) : reply(MHD_HTTP_OK, this->*route.response);
    }
    return reply(MHD_HTTP_NOT_FOUND, m_notFound);
}

bool WebView::openStream(MHD_Connection *connection)
{
    // The fan-out parks the viewer, under its lock, from within read(); it wakes it from the Qt thread.
    ViewerFanout::Viewer *viewer = m_fanout.join([connection] { MHD_suspend_connection(connection); },
                                                 [connection] { MHD_resume_connection(connection); });
    if (!viewer)
        return MHD_queue_response(connection, MHD_HTTP_SERVICE_UNAVAILABLE, m_busy) == MHD_YES;
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, unsigned(StallSeconds));
    // From here on the response owns the viewer: Callbacks::free lets it go, whatever happens.
    auto *stream = new Stream{&m_fanout, viewer};
    MHD_Response *response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, StreamBlockSize, &Callbacks::read,
                                                               stream, &Callbacks::free);
    if (!response) {
        Callbacks::free(stream);
        return false;
    }
    addHeaders(response, "text/event-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const bool queued = MHD_queue_response(connection, MHD_HTTP_OK, response) == MHD_YES;
    MHD_destroy_response(response);
    return queued;
}

bool WebView::serveMetrics(MHD_Connection *connection)
{
    if (!m_metrics)
        return MHD_queue_response(connection, MHD_HTTP_NOT_FOUND, m_notFound) == MHD_YES;
    // Formatted afresh for each scrape, from the state's atomics: the reading of frames never waits for it.
    const std::string text = m_metrics->text(m_fanout.viewers(), m_fanout.droppedFrames());
    MHD_Response *response =
        MHD_create_response_from_buffer(text.size(), const_cast<char *>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return false;
    addHeaders(response, Metrics::ContentType);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const bool queued = MHD_queue_response(connection, MHD_HTTP_OK, response) == MHD_YES;
    MHD_destroy_response(response);
    return queued;
}

bool WebView::hostAllowed(MHD_Connection *connection) const
{
    // A page elsewhere whose host name is made to resolve to this machine (DNS rebinding) could read
    // the sensor through the browser of someone here: only requests addressed by an IP address, as
    // localhost or by a name the user gave are answered.
    const char *value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
    if (!value)
        return true; // HTTP/1.0; browsers always send it
    QByteArray host = QByteArray(value).trimmed().toLower();
    if (host.startsWith('[')) {
        const int end = host.indexOf(']');
        in6_addr ip;
        return end > 0 && inet_pton(AF_INET6, host.mid(1, end - 1).constData(), &ip) == 1;
    }
    const int colon = host.indexOf(':');
    if (colon >= 0)
        host.truncate(colon);
    if (host.endsWith('.'))
        host.chop(1);
    in_addr ip;
    return host == "localhost" || inet_pton(AF_INET, host.constData(), &ip) == 1
           || m_settings.hosts.contains(QString::fromLatin1(host), Qt::CaseInsensitive);
}

} // namespace Vantrel
