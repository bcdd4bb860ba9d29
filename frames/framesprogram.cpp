#include "frames/framesprogram.h"

#include "frames/http/metrics.h"
#include "frames/http/webview.h"
#include "frames/input/framestream.h"
#include "frames/json/jsonframes.h"
#include "frames/json/linewriter.h"
#include "frames/mqtt/discoveryremoval.h"
#include "frames/mqtt/mqttpublisher.h"
#include "process/systemerror.h"
#include "process/terminationsignals.h"

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
    , m_dispatcher(m_options.kinds, m_options.outputId, m_state)
    , m_holdPolicy(m_state, keptHold())
{
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
    m_holdPolicy.start(!m_options.optionsPath.isEmpty());

    m_stream = new FrameStream(m_dispatcher, this);
    m_stream->setStaleAfter(m_options.staleAfterSeconds);
    if (!m_options.optionsPath.isEmpty())
        connect(m_stream, &FrameStream::opened, this, [this] { m_holdPolicy.readSavedOptions(m_options.optionsPath); });
    connect(m_stream, &FrameStream::staleChanged, &m_state, &SensorState::setStale);
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
        m_state.addObserver(m_jsonFrames.get());
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

QString FramesProgram::sensorName() const
{
    return m_options.name.isEmpty() ? QSysInfo::machineHostName() : m_options.name;
}

HoldSetting FramesProgram::keptHold() const
{
    if (m_options.mqttUrl.isEmpty() || m_options.stateDirectory.isEmpty())
        return HoldSetting(QString());
    return HoldSetting(QDir(m_options.stateDirectory).filePath(QStringLiteral("hold-%1.json").arg(sensorName())));
}

MqttSettings FramesProgram::mqttSettings() const
{
    QString error;
    MqttSettings settings;
    settings.url = *MqttUrl::parse(m_options.mqttUrl, error); // checked with the command line
    settings.name = sensorName();
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
    m_mqtt = std::make_unique<MqttPublisher>(mqttSettings(), m_state, m_holdPolicy);
    QString error;
    if (!m_mqtt->start(error)) {
        qWarning().noquote() << error;
        return 2;
    }
    m_state.addObserver(m_mqtt.get());
    return std::nullopt;
}

std::optional<int> FramesProgram::startWebView()
{
    if (!m_options.http)
        return std::nullopt;
    m_webView = std::make_unique<WebView>(
        WebViewSettings{m_options.httpAddress, m_options.httpPort, m_options.httpHosts}, m_state);
    std::function<bool()> mqttConnected;
    if (m_mqtt)
        mqttConnected = [mqtt = m_mqtt.get()] { return mqtt->isConnected(); };
    m_metrics = std::make_unique<Metrics>(QCoreApplication::applicationVersion(), m_state, std::move(mqttConnected));
    m_webView->setMetrics(m_metrics.get());
    QString error;
    if (!m_webView->start(error)) {
        qWarning().noquote() << tr("Can't serve the web view: %1").arg(error);
        return 1;
    }
    m_jsonFrames->addSink(m_webView.get());
    m_state.addObserver(m_webView.get());
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

} // namespace Vantrel
