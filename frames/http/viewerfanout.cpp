#include "frames/http/viewerfanout.h"

#include "frames/state/sensorstate.h"
#include "stream/savedoptions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>

namespace Vantrel {

namespace {

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

} // namespace

struct ViewerFanout::Viewer
{
    enum class Kind { Frame, Other, Status };
    struct Event
    {
        QByteArray bytes; // none for a status, made when it is sent
        Kind kind;
    };

    std::function<void()> park;
    std::function<void()> wake;
    std::deque<Event> queue;
    qsizetype queuedBytes = 0;
    int queuedFrames = 0;
    QByteArray sending; // the event being taken, taken bytes of it
    int sent = 0;
    quint64 dropped = 0;
    bool statusDue = false;
    bool parked = false;
    bool ending = false; // asked by end() to end its stream
};

ViewerFanout::ViewerFanout(const SensorState &state, Clock clock)
    : m_state(state)
    , m_clock(std::move(clock))
    , m_optionsEvent(optionsEvent(nullptr))
    , m_history(HistoryPoints)
{
}

ViewerFanout::~ViewerFanout()
{
    for (Viewer *viewer : m_viewers)
        delete viewer;
}

void ViewerFanout::beginServing(const QString &version)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = false;
    m_ending = 0;
    m_frames = 0;
    m_helloEvent = sseEvent("hello", QJsonObject{{QStringLiteral("version"), version}});
}

void ViewerFanout::endServing(std::chrono::milliseconds wait)
{
    Wakes wakes;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopping = true;
    // Each stream is over once the server lets its viewer go, its closing chunk written: only then
    // may the server stop without cutting a stream short in the browser.
    for (Viewer *viewer : m_viewers) {
        viewer->ending = true;
        ++m_ending;
        if (viewer->parked)
            wake(*viewer, wakes);
    }
    lock.unlock();
    for (const auto &wakeUp : wakes)
        wakeUp();
    lock.lock();
    m_ended.wait_for(lock, wait, [this] { return m_ending == 0; });
}

void ViewerFanout::line(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    Wakes wakes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_frames;
        m_lastFrame = m_clock();
        if (m_viewers.empty())
            return;
        queueAll(sseEvent("frame", line), true, wakes);
    }
    for (const auto &wakeUp : wakes)
        wakeUp();
}

void ViewerFanout::addToHistory(bool state, uint32_t distanceCm, uint32_t confidence)
{
    const qint64 now = m_clock();
    std::lock_guard<std::mutex> lock(m_mutex);
    const size_t capacity = m_history.size();
    // Reports older than the span go first; the ring holds at most its capacity of the newest.
    while (m_historyCount > 0 && now - m_history[m_historyFirst].time > HistoryMilliseconds) {
        m_historyFirst = (m_historyFirst + 1) % capacity;
        --m_historyCount;
    }
    if (m_historyCount == capacity) {
        m_historyFirst = (m_historyFirst + 1) % capacity;
        --m_historyCount;
    }
    m_history[(m_historyFirst + m_historyCount) % capacity] =
        HistoryPoint{now, distanceCm, uint16_t(std::min<uint32_t>(confidence, 0xffff)), state};
    ++m_historyCount;
}

void ViewerFanout::tellOccupancy()
{
    const QByteArray event = occupancyEvent(m_state.occupancy(), m_state.holdSeconds());
    Wakes wakes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        queueAll(event, false, wakes);
    }
    for (const auto &wakeUp : wakes)
        wakeUp();
}

void ViewerFanout::tellRunOptions(const SavedRunOptions &options)
{
    const QByteArray event = optionsEvent(&options);
    Wakes wakes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_optionsEvent = event;
        queueAll(event, false, wakes);
    }
    for (const auto &wakeUp : wakes)
        wakeUp();
}

void ViewerFanout::statusDue()
{
    Wakes wakes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        statusDueLocked(wakes);
    }
    for (const auto &wakeUp : wakes)
        wakeUp();
}

void ViewerFanout::statusDueLocked(Wakes &wakes)
{
    for (Viewer *viewer : m_viewers) {
        viewer->statusDue = true;
        wake(*viewer, wakes);
    }
}

void ViewerFanout::queueAll(const QByteArray &event, bool frame, Wakes &wakes)
{
    for (Viewer *viewer : m_viewers)
        queue(*viewer, event, frame, wakes);
}

void ViewerFanout::queue(Viewer &viewer, const QByteArray &event, bool frame, Wakes &wakes)
{
    viewer.queue.push_back({event, frame ? Viewer::Kind::Frame : Viewer::Kind::Other});
    viewer.queuedBytes += event.size();
    if (frame)
        ++viewer.queuedFrames;
    // Behind: the oldest frames make room; the few other events stay.
    while (viewer.queuedFrames > QueuedFrames || viewer.queuedBytes > QueuedBytes) {
        const auto oldest = std::find_if(viewer.queue.begin(), viewer.queue.end(), [](const Viewer::Event &queued) {
            return queued.kind == Viewer::Kind::Frame;
        });
        if (oldest == viewer.queue.end())
            break;
        viewer.queuedBytes -= oldest->bytes.size();
        --viewer.queuedFrames;
        ++viewer.dropped;
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        viewer.queue.erase(oldest);
    }
    wake(viewer, wakes);
}

void ViewerFanout::wake(Viewer &viewer, Wakes &wakes)
{
    // Woken after the lock is released, by this thread only; a parked viewer takes nothing meanwhile.
    if (!viewer.parked)
        return;
    viewer.parked = false;
    wakes.push_back(viewer.wake);
}

QByteArray ViewerFanout::statusEvent(const Viewer &viewer) const
{
    // Whole seconds since the last frame, as the page shows them; null before the first.
    const QJsonValue frameAge = m_lastFrame < 0 ? QJsonValue() : QJsonValue((m_clock() - m_lastFrame) / 1000);
    return sseEvent("status", QJsonObject{
                                  {QStringLiteral("viewers"), int(m_viewers.size())},
                                  {QStringLiteral("frames"), qint64(m_frames)},
                                  {QStringLiteral("dropped"), qint64(viewer.dropped)},
                                  {QStringLiteral("occupancy"), m_state.occupancy()},
                                  {QStringLiteral("hold"), m_state.holdSeconds()},
                                  {QStringLiteral("stale"), m_state.stale()},
                                  {QStringLiteral("frame_age_s"), frameAge},
                              });
}

QByteArray ViewerFanout::historyEvent() const
{
    // [milliseconds ago, presence, distance (cm), confidence], oldest first: ages rather than times,
    // so that a viewer's clock need not agree with this machine's.
    const qint64 now = m_clock();
    QByteArray json;
    json.reserve(int(m_historyCount) * 20 + 16);
    json += "{\"points\":[";
    bool first = true;
    for (size_t i = 0; i < m_historyCount; ++i) {
        const HistoryPoint &point = m_history[(m_historyFirst + i) % m_history.size()];
        if (now - point.time > HistoryMilliseconds)
            continue;
        json += first ? "[" : ",[";
        first = false;
        json += QByteArray::number(now - point.time);
        json += point.presence ? ",1," : ",0,";
        json += QByteArray::number(point.distanceCm);
        json += ',';
        json += QByteArray::number(point.confidence);
        json += ']';
    }
    json += "]}";
    return sseEvent("history", std::string_view(json.constData(), size_t(json.size())));
}

ViewerFanout::Viewer *ViewerFanout::join(std::function<void()> park, std::function<void()> wake)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping || m_viewers.size() >= size_t(MaxViewers))
        return nullptr;
    auto *viewer = new Viewer;
    viewer->park = std::move(park);
    viewer->wake = std::move(wake);
    viewer->sending = QByteArrayLiteral("retry: 2000\n\n");
    for (const QByteArray &event : {m_helloEvent, m_optionsEvent, historyEvent()}) {
        viewer->queue.push_back({event, Viewer::Kind::Other});
        viewer->queuedBytes += event.size();
    }
    viewer->queue.push_back({QByteArray(), Viewer::Kind::Status});
    m_viewers.push_back(viewer);
    return viewer;
}

long long ViewerFanout::take(Viewer &viewer, char *buffer, size_t max)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping)
        return -1;
    size_t copied = 0;
    while (copied < max) {
        if (viewer.sent == viewer.sending.size()) {
            if (viewer.statusDue) {
                viewer.sending = statusEvent(viewer);
                viewer.statusDue = false;
            } else if (!viewer.queue.empty()) {
                Viewer::Event &next = viewer.queue.front();
                viewer.queuedBytes -= next.bytes.size();
                if (next.kind == Viewer::Kind::Frame)
                    --viewer.queuedFrames;
                viewer.sending = next.kind == Viewer::Kind::Status ? statusEvent(viewer) : std::move(next.bytes);
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
        // Parked under the lock, so that the wake-up cannot come before it.
        viewer.parked = true;
        viewer.park();
    }
    return static_cast<long long>(copied);
}

void ViewerFanout::leave(Viewer *viewer)
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

int ViewerFanout::viewers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_viewers.size());
}

} // namespace Vantrel
