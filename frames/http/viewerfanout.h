#pragma once

#include "process/timermilliseconds.h"

#include <QByteArray>
#include <QtGlobal>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace Vantrel {

class SensorState;
struct SavedRunOptions;

// What each viewer of the live view is sent, as a Server-Sent Events stream: a retry time, hello,
// the run's options, the presence history of the last minute and a status first; then every frame's
// JSON line, occupancy changes, new options and a status whenever one is due (at once when the stream
// turns stale or comes back). The occupancy, hold and staleness it tells are the sensor's state's, read
// when an event is made. Nothing here knows how the bytes travel.
//
// Events are queued by one thread (line, history, occupancy, options, status) and taken by another, the
// server's. Each viewer's queue is bounded: one that falls behind skips the oldest frames, the few
// other events stay, and its status tells how many it skipped. A viewer with nothing left to take
// is parked, and woken when something is queued for it; both are the server's callbacks, so that the
// thread queueing never waits for a viewer.
class ViewerFanout
{
public:
    static constexpr int MaxViewers = 32;
    static constexpr int QueuedFrames = 256; // per viewer, and at most QueuedBytes
    static constexpr int QueuedBytes = 1 << 20;
    // The history a new viewer is sent: the presence reports of the last HistoryMilliseconds, at most
    // HistoryPoints of them (the newest).
    static constexpr int HistoryPoints = 3000;
    static constexpr qint64 HistoryMilliseconds = 60000;

    struct Viewer; // a viewer's handle
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    explicit ViewerFanout(const SensorState &state, Clock clock = steadyMilliseconds);
    ~ViewerFanout();
    ViewerFanout(const ViewerFanout &) = delete;
    ViewerFanout &operator=(const ViewerFanout &) = delete;

    // --- The queueing thread

    // Serving begins (again): frames are counted from 0, and the hello names this version.
    void beginServing(const QString &version);
    // Serving ends: every viewer's stream ends at its next take(); parked viewers are woken for it.
    // Waits up to `wait` for the server to let every viewer leave. No viewer joins from now on.
    void endServing(std::chrono::milliseconds wait);

    // One frame's JSON line (its line feed may follow), to every viewer.
    void line(std::string_view line);
    // One frame's presence report, kept for the history.
    void addToHistory(bool state, uint32_t distanceCm, uint32_t confidence);
    // The held occupancy has changed: every viewer is told it, with its hold time.
    void tellOccupancy();
    // The algorithm and its parameter files, sent to every viewer now and to each new one.
    void tellRunOptions(const SavedRunOptions &options);
    // Every viewer is sent a status next (at once when the stream turns stale or comes back).
    void statusDue();

    // --- The server's thread

    // A new viewer, or nothing when MaxViewers watch already or serving has ended. `park` is called
    // when it has nothing to take, with the fan-out locked so that no wake-up can come before it;
    // `wake` when something is queued for it after that, from the queueing thread, unlocked.
    Viewer *join(std::function<void()> park, std::function<void()> wake);
    // Up to max bytes of the viewer's stream copied into buffer; 0 after parking it, -1 at its end.
    long long take(Viewer &viewer, char *buffer, size_t max);
    // The viewer is gone; its handle is no longer valid.
    void leave(Viewer *viewer);

    int viewers() const;
    // Frames skipped for viewers that fell behind, in all since the program started.
    quint64 droppedFrames() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    using Wakes = std::vector<std::function<void()>>;

    struct HistoryPoint
    {
        qint64 time; // by m_clock
        uint32_t distanceCm;
        uint16_t confidence;
        bool presence;
    };

    // With m_mutex held.
    void queueAll(const QByteArray &event, bool frame, Wakes &wakes);
    void queue(Viewer &viewer, const QByteArray &event, bool frame, Wakes &wakes);
    static void wake(Viewer &viewer, Wakes &wakes);
    QByteArray statusEvent(const Viewer &viewer) const;
    QByteArray historyEvent() const;
    void statusDueLocked(Wakes &wakes);

    const SensorState &m_state;
    const Clock m_clock;

    std::atomic<quint64> m_dropped{0}; // read without m_mutex, by scrapes of the metrics
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    std::vector<Viewer *> m_viewers;
    bool m_stopping = false;
    int m_ending = 0; // viewers asked by end() to end that have not yet left
    QByteArray m_helloEvent;
    QByteArray m_optionsEvent;
    quint64 m_frames = 0;
    qint64 m_lastFrame = -1; // by m_clock; -1 before the first
    // A ring of the newest presence reports: written in place, so that a frame costs no allocation.
    std::vector<HistoryPoint> m_history;
    size_t m_historyFirst = 0;
    size_t m_historyCount = 0;
};

} // namespace Vantrel
