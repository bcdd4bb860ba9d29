#pragma once

#include "frames/input/framelistener.h"
#include "frames/state/framecounters.h"
#include "frames/state/heldoccupancy.h"
#include "stream/savedoptions.h"

#include <QFlags>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace Vantrel {

class SensorObserver;

// What the sensor says now, kept once for every output: the last presence report, the held
// occupancy (on its own clock), whether the stream is stale, the hold time and where it comes from,
// the algorithm's zones, its targets, the effective range and the run's options. Each frame updates
// it first; then every observer is told once, with what changed. A hold that runs out, the stream
// going stale or a new hold time are told the same way, with no frame.
//
// Updated on the Qt thread. What the web view's server thread reads (presence, distance, occupancy,
// staleness, the hold, the frame counters) are atomics, so that it never waits for the frames.
class SensorState final : public QObject, public FrameListener
{
    Q_OBJECT

public:
    enum Change : unsigned {
        Frame = 1u << 0, // a frame came; it is handed to the observers with the change
        Report = 1u << 1, // a presence report came, changed or not
        Occupancy = 1u << 2,
        Stale = 1u << 3,
        Hold = 1u << 4, // the hold time or its source
        Zones = 1u << 5, // a zone turned, or one was seen for the first time
        Targets = 1u << 6,
        Power = 1u << 7, // the effective range
        RunOptions = 1u << 8,
    };
    Q_DECLARE_FLAGS(Changes, Change)

    // Where the hold time in force comes from.
    enum class HoldSource {
        None, // nothing yet: the saved options are awaited
        Default, // nothing will tell one (no options file, or it cannot be read): 0, occupancy is presence
        SavedOptions,
        HomeAssistant, // set there, or kept from an earlier run
    };

    struct Presence
    {
        bool state = false;
        uint32_t distance = 0; // millimetres
        uint32_t confidence = 0;
        int64_t timestamp = 0; // the frame's, milliseconds since the Epoch
    };

    // A proximity algorithm's targets: how many, and the nearest one's place.
    struct TargetReport
    {
        int count = 0;
        float nearestRange = 0.0f; // metres; 0 with none
        float nearestAngle = 0.0f; // degrees
        bool operator==(const TargetReport &other) const
        {
            return count == other.count && nearestRange == other.nearestRange && nearestAngle == other.nearestAngle;
        }
    };

    // A stream naming ever more zones must not grow the state (and what is told of it) without end.
    static constexpr size_t MaxZones = 64;

    explicit SensorState(QObject *parent = nullptr);
    ~SensorState() override;

    // Observers are told in the order they were added; each reads the state, none depends on another.
    void addObserver(SensorObserver *observer);

    // --- Changes

    void frame(const DecodedFrame &frame) override;
    void flush() override;
    void setStale(bool stale);
    void setHold(double seconds, HoldSource source);
    void setRunOptions(const SavedRunOptions &options);

    // --- The Qt thread

    // The last presence report; nothing before the first.
    std::optional<Presence> presence() const;
    HoldSource holdSource() const { return m_holdSource; }
    // Whether a hold time has been told (by the saved options or Home Assistant), so that outputs
    // tell the held occupancy beside presence.
    bool holdKnown() const { return m_holdSource == HoldSource::SavedOptions || m_holdSource == HoldSource::HomeAssistant; }
    // Zone index: occupied.
    const std::map<int, bool> &zones() const { return m_zones; }
    // Known once the algorithm has reported targets (none included).
    const std::optional<TargetReport> &targets() const { return m_targets; }
    // Centimetres; known once a power frame has told it.
    const std::optional<uint> &effectiveRange() const { return m_effectiveRange; }
    const std::optional<SavedRunOptions> &runOptions() const { return m_runOptions; }

    // --- Any thread

    // -1 before the first report, else 0 or 1.
    int presenceState() const { return m_presenceState.load(std::memory_order_relaxed); }
    // Of the last report, millimetres.
    uint32_t distance() const { return m_distance.load(std::memory_order_relaxed); }
    bool occupancy() const { return m_occupied.load(std::memory_order_relaxed); }
    bool stale() const { return m_stale.load(std::memory_order_relaxed); }
    double holdSeconds() const { return m_holdSeconds.load(std::memory_order_relaxed); }
    const FrameCounters &counters() const { return m_counters; }

private:
    // Changes made while it lives are told once, at its end.
    class Batch;

    void changed(Changes changes);
    void tell(Changes changes, const DecodedFrame *frame);
    void takeZones(const DecodedFrame &frame);
    void takeTargets(const DecodedFrame &frame);

    std::vector<SensorObserver *> m_observers;
    Batch *m_batch = nullptr;
    FrameCounters m_counters;
    HeldOccupancy m_heldOccupancy;

    std::atomic<int> m_presenceState{-1};
    std::atomic<uint32_t> m_distance{0};
    uint32_t m_confidence = 0;
    int64_t m_timestamp = 0;
    std::atomic<bool> m_occupied{false}; // as m_heldOccupancy judges it, for other threads
    std::atomic<bool> m_stale{false};
    std::atomic<double> m_holdSeconds{0};
    HoldSource m_holdSource = HoldSource::None;
    std::map<int, bool> m_zones;
    std::optional<TargetReport> m_targets;
    std::optional<uint> m_effectiveRange;
    std::optional<SavedRunOptions> m_runOptions;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SensorState::Changes)

// One of those who tell the sensor's state (JSON lines, MQTT, the web view). Each keeps only what is
// its own: what it last sent, its own rate limits.
class SensorObserver
{
public:
    virtual ~SensorObserver() = default;

    // The state has changed; frame is the frame that changed it (with SensorState::Frame), valid for
    // the call only.
    virtual void sensorChanged(const SensorState &state, SensorState::Changes changes, const DecodedFrame *frame) = 0;
    // Everything read so far has been told; the next frame may be a while. Output kept in a buffer
    // goes out now.
    virtual void flush() {}
};

} // namespace Vantrel
