#pragma once

#include "decoding/framelistener.h"
#include "frames/framedispatcher.h"
#include "frames/framesoptions.h"
#include "frames/holdsetting.h"
#include "runinfo/heldoccupancy.h"

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

// vantrel-frames: the stream, the dispatcher and the outputs the options ask for, and how they end.
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
    MqttSettings mqttSettings() const;
    std::optional<int> startDiscoveryRemoval();
    // Each answers the status to end with when its output cannot start.
    std::optional<int> startMqtt();
    std::optional<int> startWebView();
    void finish(int status);
    void readSavedOptions();
    // The hold time: one that Home Assistant set wins over the saved options' until it sets another.
    void loadKeptHold();
    void holdRequested(const QByteArray &payload);
    void applyHold(double seconds);
    // Tells Home Assistant the hold in force, as a number it can set.
    void publishHold();
    // Hand every change on to the outputs that tell it.
    void occupancyChanged(bool occupancy);
    void staleChanged(bool stale);

    // Tells the held occupancy of every presence report before any output takes the frame.
    class OccupancyFeed final : public FrameListener
    {
    public:
        explicit OccupancyFeed(HeldOccupancy &occupancy)
            : m_occupancy(occupancy)
        {
        }
        void frame(const DecodedFrame &frame) override;

    private:
        HeldOccupancy &m_occupancy;
    };

    FramesOptions m_options;
    HeldOccupancy m_occupancy;
    OccupancyFeed m_occupancyFeed{m_occupancy};
    FrameDispatcher m_dispatcher;
    std::unique_ptr<JsonFrames> m_jsonFrames;
    std::unique_ptr<LineWriter> m_standardOutput;
    std::unique_ptr<MqttPublisher> m_mqtt;
    std::unique_ptr<Metrics> m_metrics; // served by the web view, so it outlives it
    std::unique_ptr<WebView> m_webView;
    FrameStream *m_stream = nullptr;
    HoldSetting m_holdSetting{QString()};
    bool m_holdFromHomeAssistant = false;
    bool m_finishing = false;
    bool m_streamEnded = false; // by itself, not by a signal
    bool m_mqttStopping = false;
};

} // namespace Vantrel
