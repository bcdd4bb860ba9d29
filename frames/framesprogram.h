#pragma once

#include "frames/framesoptions.h"
#include "frames/input/framedispatcher.h"
#include "frames/state/holdpolicy.h"
#include "frames/state/sensorstate.h"

#include <QObject>

#include <memory>
#include <optional>

namespace Vantrel {

class FrameStream;
class JsonFrames;
class LineWriter;
class Metrics;
class MqttPublisher;
struct MqttSettings;
class WebView;

// vantrel-frames: starts the stream and the outputs the options ask for, wires them to the sensor's
// state, and ends them in order.
class FramesProgram : public QObject
{
    Q_OBJECT
public:
    explicit FramesProgram(FramesOptions options, QObject *parent = nullptr);
    ~FramesProgram() override;

    // Starts the outputs and opens the stream. When that cannot be done, the message has been
    // logged and the answer is the status to end with.
    std::optional<int> start();

Q_SIGNALS:
    // Everything has stopped; the program ends with this status.
    void finished(int status);

private:
    void startJsonLines();
    // The sensor's name on the broker: the host's unless one is given.
    QString sensorName() const;
    MqttSettings mqttSettings() const;
    // Where Home Assistant's hold is kept across restarts: in the state directory, with MQTT.
    HoldSetting keptHold() const;
    std::optional<int> startDiscoveryRemoval();
    // Each answers the status to end with when its output cannot start.
    std::optional<int> startMqtt();
    std::optional<int> startWebView();
    void finish(int status);

    FramesOptions m_options;
    SensorState m_state;
    FrameDispatcher m_dispatcher;
    HoldPolicy m_holdPolicy;
    // The outputs the options ask for, each an observer of the state.
    std::unique_ptr<JsonFrames> m_jsonFrames;
    std::unique_ptr<LineWriter> m_standardOutput;
    std::unique_ptr<MqttPublisher> m_mqtt;
    std::unique_ptr<Metrics> m_metrics; // served by the web view, so it outlives it
    std::unique_ptr<WebView> m_webView;
    FrameStream *m_stream = nullptr;
    bool m_finishing = false;
    bool m_streamEnded = false; // by itself, not by a signal
    bool m_mqttStopping = false;
};

} // namespace Vantrel
