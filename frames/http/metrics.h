#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace Vantrel {

class SensorState;

// The state of the stream for Prometheus, in its text format (0.0.4): frames read by kind, frames
// lost, when the last frame was read, the presence and occupancy, staleness, the broker connection
// and the viewers. Nothing is kept here: a scrape reads the sensor's state as it is, on the server's
// thread, from values that are atomics of their own, so that a scrape never makes the reading of
// frames wait, nor the other way round. A scrape may see one value a frame newer than another;
// Prometheus takes that in its stride.
class Metrics final
{
public:
    static constexpr const char *ContentType = "text/plain; version=0.0.4; charset=utf-8";

    // version: the program's, for vantrel_build_info. mqttConnected, when there is a broker: whether
    // it is connected now, callable from any thread.
    Metrics(const QString &version, const SensorState &state, std::function<bool()> mqttConnected = {});

    // Every metric, as the exposition format has it, with the web view's viewers now and the frames
    // skipped for them in all.
    std::string text(int viewers, uint64_t viewerDrops) const;

private:
    QByteArray m_version; // escaped for a label value
    const SensorState &m_state;
    std::function<bool()> m_mqttConnected;
};

} // namespace Vantrel
