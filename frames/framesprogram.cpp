#include "frames/framesprogram.h"

#include "decoding/decodedframe.h"
#include "frames/framestream.h"
#include "frames/http/metrics.h"
#include "frames/http/webview.h"
#include "frames/jsonframes.h"
#include "frames/linewriter.h"
#include "frames/mqtt/discoveryremoval.h"
#include "frames/mqtt/mqttpublisher.h"
#include "process/systemerror.h"
#include "process/terminationsignals.h"
#include "runinfo/savedoptions.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QSysInfo>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace Vantrel {

namespace {

// How long a finite stream's end waits for a broker not yet reached, so that its last state is told.
constexpr int BrokerWaitMs = 10000;

} // namespace

FramesProgram::FramesProgram(FramesOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_dispatcher(m_options.kinds, m_options.outputId)
{
    // First, so that the JSON line and MQTT of a frame see the occupancy its report makes.
    m_dispatcher.addListener(&m_occupancyFeed);
    connect(&m_occupancy, &HeldOccupancy::occupancyChanged, this, &FramesProgram::occupancyChanged);
}

FramesProgram::~FramesProgram() = default;

std::optional<int> FramesProgram::start()
{
    if (m_options.discoveryRemove)
        return startDiscoveryRemoval();
    // Before anything answers from a thread of its own (the web view does at once): a termination signal
    // that comes from then on ends the program in order, not by its default action.
    auto *signals_ = new TerminationSignals(this);
    connect(signals_, &TerminationSignals::terminationRequested, this, [this] { finish(0); });
    startJsonLines();
    if (const std::optional<int> status = startMqtt())
        return status;
    if (const std::optional<int> status = startWebView())
        return status;
    loadKeptHold();

    m_stream = new FrameStream(m_dispatcher, this);
    m_stream->setStaleAfter(m_options.staleAfterSeconds);
    connect(m_stream, &FrameStream::opened, this, &FramesProgram::readSavedOptions);
    connect(m_stream, &FrameStream::staleChanged, this, &FramesProgram::staleChanged);
    connect(m_stream, &FrameStream::finished, this, [this](int status) {
        m_streamEnded = true;
        finish(status);
    });
    QString error;
    if (!m_stream->open(m_options.source, m_options.follow, m_options.recordPath, error)) {
        qWarning().noquote() << error;
        return 1;
    }
    return std::nullopt;
}

void FramesProgram::startJsonLines()
{
    if (m_options.json || m_options.http) {
        m_jsonFrames = std::make_unique<JsonFrames>();
        m_dispatcher.addListener(m_jsonFrames.get());
    }
    if (!m_options.json)
        return;
    // A followed FIFO is live: a reader that stops costs lines, not the web view, MQTT or frames.
    const auto whenBehind = m_options.follow ? LineWriter::WhenBehind::Drop : LineWriter::WhenBehind::Wait;
    m_standardOutput = std::make_unique<LineWriter>(STDOUT_FILENO, whenBehind, [this](int error) {
        // A reader that has gone (as `head` does) is no fault; the program ends as it asked.
        if (error != EPIPE)
            qWarning().noquote() << tr("Can't write to standard output: %1").arg(systemErrorText(error));
        QMetaObject::invokeMethod(
            this, [this, error] { finish(error == EPIPE ? 0 : 1); }, Qt::QueuedConnection);
    });
    m_jsonFrames->addSink(m_standardOutput.get());
}

MqttSettings FramesProgram::mqttSettings() const
{
    QString error;
    MqttSettings settings;
    settings.url = *MqttUrl::parse(m_options.mqttUrl, error); // checked with the command line
    settings.name = m_options.name.isEmpty() ? QSysInfo::machineHostName() : m_options.name;
    settings.heartbeatSeconds = m_options.heartbeatSeconds;
    settings.discovery = m_options.discovery;
    settings.discoveryPrefix = m_options.discoveryPrefix;
    settings.distanceStepCm = uint32_t(m_options.distanceStepCm);
    settings.distanceIntervalSeconds = m_options.distanceIntervalSeconds;
    if (m_options.http) {
        // Listening on every address, the web view is reached by the host's name.
        const QString &address = m_options.httpAddress;
        QString host = address == QLatin1String("0.0.0.0") || address == QLatin1String("::")
                           ? QSysInfo::machineHostName()
                           : address;
        if (host.contains(QLatin1Char(':')))
            host = QLatin1Char('[') + host + QLatin1Char(']');
        settings.configurationUrl = QStringLiteral("http://%1:%2/").arg(host).arg(m_options.httpPort);
    }
    return settings;
}

std::optional<int> FramesProgram::startDiscoveryRemoval()
{
    auto *removal = new DiscoveryRemoval(mqttSettings(), this);
    connect(removal, &DiscoveryRemoval::finished, this, &FramesProgram::finished);
    QString error;
    if (!removal->start(error)) {
        qWarning().noquote() << error;
        return 2;
    }
    return std::nullopt;
}

std::optional<int> FramesProgram::startMqtt()
{
    if (m_options.mqttUrl.isEmpty())
        return std::nullopt;
    const MqttSettings settings = mqttSettings();
    m_mqtt = std::make_unique<MqttPublisher>(settings);
    QString error;
    if (!m_mqtt->start(error)) {
        qWarning().noquote() << error;
        return 2;
    }
    m_dispatcher.addListener(m_mqtt.get());
    if (!m_options.stateDirectory.isEmpty())
        m_holdSetting =
            HoldSetting(QDir(m_options.stateDirectory).filePath(QStringLiteral("hold-%1.json").arg(settings.name)));
    connect(m_mqtt.get(), &MqttPublisher::holdRequested, this, &FramesProgram::holdRequested);
    return std::nullopt;
}

std::optional<int> FramesProgram::startWebView()
{
    if (!m_options.http)
        return std::nullopt;
    m_webView =
        std::make_unique<WebView>(WebViewSettings{m_options.httpAddress, m_options.httpPort, m_options.httpHosts});
    m_metrics = std::make_unique<Metrics>(QCoreApplication::applicationVersion());
    m_metrics->setOccupancy(m_occupancy.occupancy());
    if (m_mqtt) {
        m_metrics->setMqttEnabled(true);
        connect(m_mqtt.get(), &MqttPublisher::connectedChanged, this,
                [this](bool connected) { m_metrics->setMqttConnected(connected); });
    }
    m_webView->setMetrics(m_metrics.get());
    QString error;
    if (!m_webView->start(error)) {
        qWarning().noquote() << tr("Can't serve the web view: %1").arg(error);
        return 1;
    }
    m_jsonFrames->addSink(m_webView.get());
    m_dispatcher.addListener(m_webView.get());
    m_dispatcher.addListener(m_metrics.get());
    return std::nullopt;
}

void FramesProgram::finish(int status)
{
    if (m_finishing)
        return;
    m_finishing = true;
    // Frames read from here on would reach outputs that are stopping.
    if (m_stream)
        m_stream->close();
    if (m_jsonFrames)
        m_jsonFrames->flush();
    if (m_standardOutput)
        m_standardOutput->finish();
    if (m_webView)
        m_webView->stop();
    if (!m_mqtt) {
        Q_EMIT finished(status);
        return;
    }
    // The broker hears "offline" before the program ends.
    connect(m_mqtt.get(), &MqttPublisher::stopped, this, [this, status] { Q_EMIT finished(status); });
    if (!m_streamEnded || m_mqtt->isConnected()) {
        m_mqtt->stop();
        return;
    }
    // A recording read before the broker took the connection: its last state goes out first, once the
    // connection is made (queued, after what is published on it), or not at all after a while.
    const auto stopOnce = [this] {
        if (!m_mqttStopping)
            m_mqtt->stop();
        m_mqttStopping = true;
    };
    connect(m_mqtt.get(), &MqttPublisher::connectedChanged, this, stopOnce, Qt::QueuedConnection);
    QTimer::singleShot(BrokerWaitMs, this, stopOnce);
}

void FramesProgram::readSavedOptions()
{
    if (m_options.optionsPath.isEmpty())
        return;
    QString error;
    const std::optional<SavedRunOptions> saved = SavedRunOptions::read(m_options.optionsPath, error);
    if (!saved) {
        qWarning().noquote() << tr("Can't read the saved options %1: %2").arg(m_options.optionsPath, error);
        // Home Assistant can still set the hold.
        if (m_mqtt)
            publishHold();
        return;
    }
    if (!m_holdFromHomeAssistant)
        applyHold(saved->timeout);
    if (m_webView)
        m_webView->setRunOptions(*saved);
}

void FramesProgram::loadKeptHold()
{
    if (!m_mqtt)
        return;
    QString error;
    if (const std::optional<double> kept = m_holdSetting.load(error)) {
        m_holdFromHomeAssistant = true;
        applyHold(*kept);
        return;
    }
    if (!error.isEmpty())
        qWarning().noquote() << tr("Can't read the hold time kept in %1: %2").arg(m_holdSetting.stateFile(), error);
    // With an options file, Home Assistant hears the hold once the file is read, and not a 0 before it.
    if (m_options.optionsPath.isEmpty())
        publishHold();
}

void FramesProgram::publishHold()
{
    m_mqtt->setHold(m_occupancy.holdSeconds(), HoldSetting::Minimum, HoldSetting::Maximum);
}

void FramesProgram::holdRequested(const QByteArray &payload)
{
    QString error;
    const std::optional<double> seconds = HoldSetting::parse(payload, error);
    if (!seconds) {
        qWarning().noquote() << tr("MQTT: refused the hold time: %1").arg(error);
        // Home Assistant shows the value it sent until it hears the one in force.
        publishHold();
        return;
    }
    m_holdFromHomeAssistant = true;
    applyHold(*seconds);
    if (!m_holdSetting.keep(*seconds, error))
        qWarning().noquote() << tr("Can't keep the hold time in %1: %2").arg(m_holdSetting.stateFile(), error);
}

void FramesProgram::applyHold(double seconds)
{
    m_occupancy.setHoldSeconds(seconds);
    // With a hold time known, the JSON lines tell the held occupancy too.
    if (m_jsonFrames)
        m_jsonFrames->setOccupancy(&m_occupancy);
    if (m_webView)
        m_webView->setHoldSeconds(seconds);
    if (m_mqtt)
        publishHold();
}

void FramesProgram::occupancyChanged(bool occupancy)
{
    if (m_metrics)
        m_metrics->setOccupancy(occupancy);
    if (m_mqtt)
        m_mqtt->setOccupancy(occupancy);
    if (m_webView)
        m_webView->setOccupancy(occupancy);
}

void FramesProgram::staleChanged(bool stale)
{
    if (m_metrics)
        m_metrics->setStale(stale);
    if (m_mqtt)
        m_mqtt->setStale(stale);
    if (m_webView)
        m_webView->setStale(stale);
}

void FramesProgram::OccupancyFeed::frame(const DecodedFrame &frame)
{
    if (frame.presence)
        m_occupancy.report(frame.presence->state);
}

} // namespace Vantrel
