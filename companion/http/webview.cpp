#include "webview.h"

#include "savedrunoptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
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
// How long stop() lets resumed viewers end their streams cleanly before it closes them anyway.
constexpr std::chrono::milliseconds EndingWait(2000);

const char *const SecurityPolicy = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                                   "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// One Server-Sent Event. Line breaks in the data (none in JSON as written) start new data lines, as
// the format asks.
QByteArray sseEvent(const char *name, std::string_view data)
{
    QByteArray event;
    event.reserve(int(data.size()) + 32);
    event += "event: ";
    event += name;
    event += "\ndata: ";
    size_t start = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] != '\n' && data[i] != '\r')
            continue;
        event.append(data.data() + start, int(i - start));
        event += "\ndata: ";
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    event.append(data.data() + start, int(data.size() - start));
    event += "\n\n";
    return event;
}

QByteArray sseEvent(const char *name, const QJsonObject &object)
{
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return sseEvent(name, std::string_view(json.constData(), size_t(json.size())));
}

QByteArray occupancyEvent(bool occupancy, double holdSeconds)
{
    return sseEvent("occupancy",
                    QJsonObject{{QStringLiteral("occupancy"), occupancy}, {QStringLiteral("hold"), holdSeconds}});
}

QByteArray optionsEvent(const SavedRunOptions *options)
{
    QJsonObject parameters;
    if (options) {
        for (auto parameter = options->parameters.begin(); parameter != options->parameters.end(); ++parameter)
            parameters.insert(parameter.key(), parameter.value());
    }
    return sseEvent("options", QJsonObject{
                                   {QStringLiteral("algorithm"), options ? options->algorithm : QString()},
                                   {QStringLiteral("timeout"), options ? options->timeout : 0.0},
                                   {QStringLiteral("parameters"), parameters},
                               });
}

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

bool isLoopback(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in &>(address).sin_addr.s_addr) >> 24) == 127;
    const in6_addr &ip = reinterpret_cast<const sockaddr_in6 &>(address).sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&ip))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&ip) && ip.s6_addr[12] == 127;
}

bool isAnyAddress(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in &>(address).sin_addr.s_addr == htonl(INADDR_ANY);
    return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6 &>(address).sin6_addr);
}

} // namespace

struct WebView::Viewer
{
    struct Event
    {
        QByteArray bytes;
        bool frame;
    };

    WebView *owner = nullptr;
    MHD_Connection *connection = nullptr;
    std::deque<Event> queue;
    qsizetype queuedBytes = 0;
    int queuedFrames = 0;
    QByteArray sending; // the event being written, sent bytes of it
    int sent = 0;
    quint64 dropped = 0;
    bool statusDue = false;
    bool suspended = false;
    bool ending = false; // resumed by stop() to end its stream
};

// libmicrohttpd's callbacks, with its types, on its thread.
struct WebView::Callbacks
{
    static MHD_Result request(void *self, MHD_Connection *connection, const char *url, const char *method, const char *,
                              const char *, size_t *, void **)
    {
        return static_cast<WebView *>(self)->answer(connection, url, method) ? MHD_YES : MHD_NO;
    }

    static ssize_t read(void *viewer, uint64_t, char *buffer, size_t max)
    {
        auto *v = static_cast<Viewer *>(viewer);
        const long long result = v->owner->read(*v, buffer, max);
        return result < 0 ? MHD_CONTENT_READER_END_OF_STREAM : ssize_t(result);
    }

    static void free(void *viewer)
    {
        auto *v = static_cast<Viewer *>(viewer);
        v->owner->forget(v);
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

WebView::WebView(WebViewSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_hold(0)
    , m_optionsEvent(optionsEvent(nullptr))
{
    static const bool pageRegistered = (initPageResource(), true);
    Q_UNUSED(pageRegistered);
    m_statusTimer.setInterval(1000);
    connect(&m_statusTimer, &QTimer::timeout, this, &WebView::statusDue);
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
    m_loopback = isLoopback(address);
    if (!makeResponses()) {
        error = tr("out of memory");
        freeResponses();
        return false;
    }

    {
        std::lock_guard<std::mutex> lock(m_logMutex);
        m_startLog.clear();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
        m_ending = 0;
        m_frames = 0;
        m_occupancy = m_hold.occupancy();
        m_helloEvent =
            sseEvent("hello", QJsonObject{{QStringLiteral("version"), QCoreApplication::applicationVersion()}});
    }
    // One polling thread for every connection, viewers waiting suspended rather than in threads of
    // their own (see the class comment). "::" also takes IPv4.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (address.ss_family == AF_INET6)
        flags |= isAnyAddress(address) ? MHD_USE_DUAL_STACK : MHD_USE_IPv6;
    m_daemon =
        MHD_start_daemon(flags, m_settings.port, nullptr, nullptr, &Callbacks::request, this,
                         MHD_OPTION_EXTERNAL_LOGGER, static_cast<MHD_LogCallback>(&Callbacks::log), this,
                         MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr *>(&address), MHD_OPTION_CONNECTION_LIMIT,
                         ConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT, unsigned(StallSeconds), MHD_OPTION_END);
    const int startError = errno;
    if (!m_daemon) {
        std::lock_guard<std::mutex> lock(m_logMutex);
        // A bind error says it all; libmicrohttpd's own words are kept for anything else.
        const bool bindError = startError == EADDRINUSE || startError == EADDRNOTAVAIL || startError == EACCES;
        const QString reason = bindError || m_startLog.isEmpty() ? QString::fromLocal8Bit(std::strerror(startError))
                                                                 : m_startLog.join(QLatin1String("; "));
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
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopping = true;
    for (Viewer *viewer : m_viewers) {
        if (viewer->suspended) {
            viewer->ending = true;
            ++m_ending;
            wake(*viewer);
        }
    }
    lock.unlock();
    resumeCollected();
    lock.lock();
    m_ended.wait_for(lock, EndingWait, [this] { return m_ending == 0; });
    lock.unlock();

    MHD_stop_daemon(std::exchange(m_daemon, nullptr));
    freeResponses();
    m_port = 0;
    lock.lock();
    // Every response, and with it every viewer, was freed when its connection closed.
    Q_ASSERT(m_viewers.empty());
}

void WebView::setRunOptions(const SavedRunOptions &options)
{
    const QByteArray event = optionsEvent(&options);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_optionsEvent = event;
        for (Viewer *viewer : m_viewers)
            queue(*viewer, event, false);
    }
    resumeCollected();
}

void WebView::setHoldSeconds(double seconds)
{
    // The occupancy itself changes at the next report, as the main program's does.
    m_hold.setHoldSeconds(seconds);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holdSeconds = seconds;
}

void WebView::hpdData(bool state, uint32_t, uint32_t, int64_t, uint32_t)
{
    const bool before = m_hold.occupancy();
    const bool occupancy = m_hold.report(state);
    if (occupancy == before)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_occupancy = occupancy;
        const QByteArray event = occupancyEvent(occupancy, m_holdSeconds);
        for (Viewer *viewer : m_viewers)
            queue(*viewer, event, false);
    }
    resumeCollected();
}

void WebView::line(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_frames;
        if (m_viewers.empty())
            return;
        const QByteArray event = sseEvent("frame", line);
        for (Viewer *viewer : m_viewers)
            queue(*viewer, event, true);
    }
    resumeCollected();
}

void WebView::statusDue()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Viewer *viewer : m_viewers) {
            viewer->statusDue = true;
            wake(*viewer);
        }
    }
    resumeCollected();
}

void WebView::queue(Viewer &viewer, const QByteArray &event, bool frame)
{
    viewer.queue.push_back({event, frame});
    viewer.queuedBytes += event.size();
    if (frame)
        ++viewer.queuedFrames;
    // Behind: the oldest frames make room; the few other events stay.
    while (viewer.queuedFrames > QueuedFrames || viewer.queuedBytes > QueuedBytes) {
        const auto oldest = std::find_if(viewer.queue.begin(), viewer.queue.end(),
                                         [](const Viewer::Event &queued) { return queued.frame; });
        if (oldest == viewer.queue.end())
            break;
        viewer.queuedBytes -= oldest->bytes.size();
        --viewer.queuedFrames;
        ++viewer.dropped;
        viewer.queue.erase(oldest);
    }
    wake(viewer);
}

void WebView::wake(Viewer &viewer)
{
    // Resumed after the lock is released: only this thread resumes, and a suspended connection is
    // neither read nor freed by libmicrohttpd meanwhile.
    if (!viewer.suspended)
        return;
    viewer.suspended = false;
    m_resume.push_back(viewer.connection);
}

void WebView::resumeCollected()
{
    for (MHD_Connection *connection : m_resume)
        MHD_resume_connection(connection);
    m_resume.clear();
}

QByteArray WebView::statusEvent(const Viewer &viewer) const
{
    return sseEvent("status", QJsonObject{
                                  {QStringLiteral("viewers"), int(m_viewers.size())},
                                  {QStringLiteral("frames"), qint64(m_frames)},
                                  {QStringLiteral("dropped"), qint64(viewer.dropped)},
                                  {QStringLiteral("occupancy"), m_occupancy},
                                  {QStringLiteral("hold"), m_holdSeconds},
                              });
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
    const auto reply = [connection](unsigned status, MHD_Response *response) {
        return MHD_queue_response(connection, status, response) == MHD_YES;
    };
    if (!hostAllowed(connection))
        return reply(MHD_HTTP_FORBIDDEN, m_forbidden);
    const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!head && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0)
        return reply(MHD_HTTP_METHOD_NOT_ALLOWED, m_notAllowed);
    if (std::strcmp(url, "/") == 0)
        return reply(MHD_HTTP_OK, m_page);
    if (std::strcmp(url, "/app.js") == 0)
        return reply(MHD_HTTP_OK, m_script);
    if (std::strcmp(url, "/style.css") == 0)
        return reply(MHD_HTTP_OK, m_style);
    if (std::strcmp(url, "/events") == 0)
        return head ? reply(MHD_HTTP_OK, m_streamHead) : openStream(connection);
    return reply(MHD_HTTP_NOT_FOUND, m_notFound);
}

bool WebView::openStream(MHD_Connection *connection)
{
    auto *viewer = new Viewer;
    viewer->owner = this;
    viewer->connection = connection;
    viewer->sending = QByteArrayLiteral("retry: 2000\n\n");
    bool room = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        room = !m_stopping && m_viewers.size() < size_t(MaxViewers);
        if (room) {
            // The empty event stands for a status, made when it is sent.
            for (const QByteArray &event : {m_helloEvent, m_optionsEvent, QByteArray()}) {
                viewer->queue.push_back({event, false});
                viewer->queuedBytes += event.size();
            }
            m_viewers.push_back(viewer);
        }
    }
    if (!room) {
        delete viewer;
        return MHD_queue_response(connection, MHD_HTTP_SERVICE_UNAVAILABLE, m_busy) == MHD_YES;
    }
    // From here on the response owns the viewer: Callbacks::free forgets it, whatever happens.
    MHD_Response *response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, StreamBlockSize, &Callbacks::read,
                                                               viewer, &Callbacks::free);
    if (!response) {
        forget(viewer);
        return false;
    }
    addHeaders(response, "text/event-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const bool queued = MHD_queue_response(connection, MHD_HTTP_OK, response) == MHD_YES;
    MHD_destroy_response(response);
    return queued;
}

long long WebView::read(Viewer &viewer, char *buffer, size_t max)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) {
        if (viewer.ending) {
            viewer.ending = false;
            --m_ending;
            m_ended.notify_all();
        }
        return -1;
    }
    size_t copied = 0;
    while (copied < max) {
        if (viewer.sent == viewer.sending.size()) {
            if (viewer.statusDue) {
                viewer.sending = statusEvent(viewer);
                viewer.statusDue = false;
            } else if (!viewer.queue.empty()) {
                Viewer::Event &next = viewer.queue.front();
                viewer.queuedBytes -= next.bytes.size();
                if (next.frame)
                    --viewer.queuedFrames;
                viewer.sending = next.bytes.isEmpty() ? statusEvent(viewer) : std::move(next.bytes);
                viewer.queue.pop_front();
            } else {
                viewer.sending = QByteArray();
                viewer.sent = 0;
                break;
            }
            viewer.sent = 0;
        }
        const size_t length = std::min(max - copied, size_t(viewer.sending.size() - viewer.sent));
        std::memcpy(buffer + copied, viewer.sending.constData() + viewer.sent, length);
        copied += length;
        viewer.sent += int(length);
    }
    if (copied == 0) {
        // Nothing to send: off libmicrohttpd's polling until queue() or the status wakes it. Under the
        // lock, so that the wake-up cannot come before the suspension.
        viewer.suspended = true;
        MHD_suspend_connection(viewer.connection);
    }
    return static_cast<long long>(copied);
}

void WebView::forget(Viewer *viewer)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_viewers.erase(std::remove(m_viewers.begin(), m_viewers.end(), viewer), m_viewers.end());
        if (viewer->ending) {
            --m_ending;
            m_ended.notify_all();
        }
    }
    delete viewer;
}

bool WebView::hostAllowed(MHD_Connection *connection) const
{
    // A page elsewhere whose host name is made to resolve to this machine (DNS rebinding) could read
    // the sensor through the browser of someone here; on a loopback address only requests addressed
    // by an IP address or as localhost are answered.
    if (!m_loopback)
        return true;
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
    if (host == "localhost" || host == "localhost.")
        return true;
    in_addr ip;
    return inet_pton(AF_INET, host.constData(), &ip) == 1;
}

} // namespace Vantrel
