#include "frames/state/sensorstate.h"

#include "decoding/decodedframe.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace Vantrel {

class SensorState::Batch
{
public:
    Batch(SensorState &state, const DecodedFrame *frame)
        : m_state(state)
        , m_frame(frame)
        , m_outer(std::exchange(state.m_batch, this))
    {
    }
    ~Batch()
    {
        m_state.m_batch = m_outer;
        if (m_outer)
            m_outer->add(m_changes);
        else if (m_changes)
            m_state.tell(m_changes, m_frame);
    }
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    void add(Changes changes) { m_changes |= changes; }

private:
    SensorState &m_state;
    const DecodedFrame *m_frame;
    Batch *m_outer;
    Changes m_changes;
};

SensorState::SensorState(QObject *parent)
    : QObject(parent)
{
    connect(&m_heldOccupancy, &HeldOccupancy::occupancyChanged, this, [this](bool occupancy) {
        m_occupied.store(occupancy, std::memory_order_relaxed);
        changed(Occupancy);
    });
}

SensorState::~SensorState() = default;

void SensorState::addObserver(SensorObserver *observer)
{
    m_observers.push_back(observer);
}

void SensorState::frame(const DecodedFrame &frame)
{
    Batch batch(*this, &frame);
    batch.add(Frame);
    m_counters.count(frame);
    if (const std::optional<PresenceReport> &report = frame.presence) {
        m_presenceState.store(report->state ? 1 : 0, std::memory_order_relaxed);
        m_distance.store(report->distance, std::memory_order_relaxed);
        m_confidence = report->confidence;
        m_timestamp = frame.timestamp;
        batch.add(Report);
        m_heldOccupancy.report(report->state);
    }
    takeZones(frame);
    takeTargets(frame);
    if (frame.power && m_effectiveRange != frame.power->effectiveRange) {
        m_effectiveRange = frame.power->effectiveRange;
        batch.add(Power);
    }
}

void SensorState::takeZones(const DecodedFrame &frame)
{
    for (const HeatmapZone &zone : frame.zones) {
        const bool occupied = zone.state != 0;
        const auto known = m_zones.find(zone.zoneIndex);
        if (known != m_zones.end()) {
            if (known->second == occupied)
                continue;
            known->second = occupied;
        } else {
            if (m_zones.size() >= MaxZones)
                continue;
            m_zones.emplace(zone.zoneIndex, occupied);
        }
        changed(Zones);
    }
}

void SensorState::takeTargets(const DecodedFrame &frame)
{
    // Frames of the proximity kinds tell the targets, none included.
    if (!frame.kind || std::strncmp(frame.kind, "proximity", 9) != 0)
        return;
    TargetReport targets;
    targets.count = int(frame.targets.size());
    const auto nearest =
        std::min_element(frame.targets.begin(), frame.targets.end(),
                         [](const ProximityTarget &a, const ProximityTarget &b) { return a.range < b.range; });
    if (nearest != frame.targets.end()) {
        targets.nearestRange = nearest->range;
        targets.nearestAngle = nearest->angle;
    }
    if (m_targets == targets)
        return;
    m_targets = targets;
    changed(Targets);
}

void SensorState::flush()
{
    m_counters.read();
    for (SensorObserver *observer : m_observers)
        observer->flush();
}

void SensorState::setStale(bool stale)
{
    if (stale == m_stale.load(std::memory_order_relaxed))
        return;
    m_stale.store(stale, std::memory_order_relaxed);
    changed(Stale);
}

void SensorState::setHold(double seconds, HoldSource source)
{
    if (seconds == holdSeconds() && source == m_holdSource)
        return;
    Batch batch(*this, nullptr);
    batch.add(Hold);
    m_holdSeconds.store(seconds, std::memory_order_relaxed);
    m_holdSource = source;
    // A running hold is judged anew from the last presence.
    m_heldOccupancy.setHoldSeconds(seconds);
}

void SensorState::setRunOptions(const SavedRunOptions &options)
{
    m_runOptions = options;
    changed(RunOptions);
}

std::optional<SensorState::Presence> SensorState::presence() const
{
    const int state = presenceState();
    if (state < 0)
        return std::nullopt;
    return Presence{state == 1, distance(), m_confidence, m_timestamp};
}

void SensorState::changed(Changes changes)
{
    if (m_batch)
        m_batch->add(changes);
    else
        tell(changes, nullptr);
}

void SensorState::tell(Changes changes, const DecodedFrame *frame)
{
    for (SensorObserver *observer : m_observers)
        observer->sensorChanged(*this, changes, frame);
}

} // namespace Vantrel
