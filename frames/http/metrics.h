#pragma once

#include "decoding/framelistener.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace Vantrel {

// The state of the stream for Prometheus, in its text format (0.0.4): frames read by kind, frames
// lost, when the last frame was read, the presence and occupancy, staleness, the broker connection
// and the viewers.
//
// Frames and the setters arrive on the Qt thread, scrapes on the server's: every value is an atomic
// of its own, so that a scrape never makes the reading of frames wait, nor the other way round. A
// scrape may see one value a frame newer than another; Prometheus takes that in its stride.
class Metrics final : public FrameListener
{
public:
    static constexpr const char *ContentType = "text/plain; version=0.0.4; charset=utf-8";

    // version: the program's, for vantrel_build_info.
    explicit Metrics(const QString &version);
    ~Metrics() override;
    Metrics(const Metrics &) = delete;
    Metrics &operator=(const Metrics &) = delete;

    // --- The Qt thread

    void frame(const DecodedFrame &frame) override;
    // The held occupancy; not shown until it is first told.
    void setOccupancy(bool occupancy);
    void setStale(bool stale);
    // With --mqtt: vantrel_mqtt_connected is shown from now on.
    void setMqttEnabled(bool enabled);
    void setMqttConnected(bool connected);

    // --- Any thread

    // The web view's viewers now, and the frames they have skipped in all.
    void setViewers(int viewers, uint64_t droppedFrames);
    // Every metric, as the exposition format has it.
    std::string text() const;

private:
    struct KindCount;

    std::unique_ptr<KindCount[]> m_kinds; // every kind the decoders know, then "unknown"
    int m_kindCount = 0;
    QByteArray m_version; // escaped for a label value

    // The Qt thread's alone: the last sequence number, to tell the frame periods that never came.
    bool m_haveSequence = false;
    uint32_t m_lastSequence = 0;

    std::atomic<uint64_t> m_sequenceGaps{0};
    std::atomic<int64_t> m_lastFrameMs; // wall clock
    std::atomic<int> m_presence{-1}; // -1 before the first report
    std::atomic<uint32_t> m_distanceMm{0};
    std::atomic<int> m_occupancy{-1}; // -1 until told
    std::atomic<bool> m_stale{false};
    std::atomic<bool> m_mqttEnabled{false};
    std::atomic<bool> m_mqttConnected{false};
    std::atomic<int> m_viewers{0};
    std::atomic<uint64_t> m_viewerDrops{0};
};

} // namespace Vantrel
