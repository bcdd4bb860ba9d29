#pragma once

#include "runinfo/presencehold.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace Vantrel {

struct SavedRunOptions;

// What each viewer of the live view is sent, as a Server-Sent Events stream: a retry time, hello,
// the run's options and a status first; then every frame's JSON line, occupancy changes, new options
// and a status whenever one is due. Nothing here knows how the bytes travel.
//
// Events are queued by one thread (line, presence, options, status) and taken by another, the
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

    struct Viewer; // a viewer's handle

    ViewerFanout();
    ~ViewerFanout();
    ViewerFanout(const ViewerFanout &) = delete;
    ViewerFanout &operator=(const ViewerFanout &) = delete;

    // --- The queueing thread

    // Serving begins (again): frames are counted from 0, and the hello names this version.
    void begin(const QString &version);
    // Serving ends: every viewer's stream ends at its next take(); parked viewers are woken for it,
    // and waited for up to `wait`. No viewer joins from now on.
    void end(std::chrono::milliseconds wait);

    // One frame's JSON line (its line feed may follow), to every viewer.
    void line(std::string_view line);
    // One presence report; viewers are told when the occupancy changes.
    void presence(bool state);
    // The presence hold time of the occupancy (the main program's "timeout").
    void setHoldSeconds(double seconds);
    // The algorithm and its parameter files, sent to every viewer now and to each new one.
    void setRunOptions(const SavedRunOptions &options);
    // Every viewer is sent a status next.
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

private:
    using Wakes = std::vector<std::function<void()>>;

    // With m_mutex held.
    void queueAll(const QByteArray &event, bool frame, Wakes &wakes);
    void queue(Viewer &viewer, const QByteArray &event, bool frame, Wakes &wakes);
    static void wake(Viewer &viewer, Wakes &wakes);
    QByteArray statusEvent(const Viewer &viewer) const;

    PresenceHold m_hold; // the queueing thread's

    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    std::vector<Viewer *> m_viewers;
    bool m_stopping = false;
    int m_ending = 0; // viewers woken by end() that have not yet ended their stream
    QByteArray m_helloEvent;
    QByteArray m_optionsEvent;
    quint64 m_frames = 0;
    bool m_occupancy = false;
    double m_holdSeconds = 0;
};

} // namespace Vantrel
