#include "framesprogram.h"

#include "framestream.h"
#include "jsonlines.h"
#include "mqttpublisher.h"
#include "savedrunoptions.h"
#include "terminationsignals.h"

#include <QDebug>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Vantrel {

FramesProgram::FramesProgram(FramesOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_dispatcher(m_options.kinds, m_options.outputId)
{
}

FramesProgram::~FramesProgram() = default;

std::optional<int> FramesProgram::start()
{
    if (m_options.json) {
        m_json = std::make_unique<JsonLines>(STDOUT_FILENO, [this](int error) {
            // A reader that has gone (as `head` does) is no fault; the program ends as it asked.
            if (error != EPIPE)
                qWarning().noquote()
                    << tr("Can't write to standard output: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
            QMetaObject::invokeMethod(
                this, [this, error] { finish(error == EPIPE ? 0 : 1); }, Qt::QueuedConnection);
        });
        m_dispatcher.addListener(m_json.get());
    }
    QString error;
    if (!m_options.mqttUrl.isEmpty()) {
        MqttSettings settings;
        settings.url = *MqttUrl::parse(m_options.mqttUrl, error); // checked with the command line
        settings.name = m_options.name.isEmpty() ? QSysInfo::machineHostName() : m_options.name;
        settings.heartbeatSeconds = m_options.heartbeatSeconds;
        settings.discovery = m_options.discovery;
        m_mqtt = std::make_unique<MqttPublisher>(settings);
        if (!m_mqtt->start(error)) {
            qWarning().noquote() << error;
            return 2;
        }
        m_dispatcher.addListener(m_mqtt.get());
    }
    auto *signals_ = new TerminationSignals(this);
    connect(signals_, &TerminationSignals::terminationRequested, this, [this] { finish(0); });

    m_stream = new FrameStream(m_dispatcher, this);
    connect(m_stream, &FrameStream::opened, this, &FramesProgram::readSavedOptions);
    connect(m_stream, &FrameStream::finished, this, &FramesProgram::finish);
    if (!m_stream->open(m_options.source, m_options.follow, m_options.recordPath, error)) {
        qWarning().noquote() << error;
        return 1;
    }
    return std::nullopt;
}

void FramesProgram::finish(int status)
{
    if (m_finishing)
        return;
    m_finishing = true;
    if (m_json)
        m_json->flush();
    if (!m_mqtt) {
        Q_EMIT finished(status);
        return;
    }
    // The broker hears "offline" before the program ends.
    connect(m_mqtt.get(), &MqttPublisher::stopped, this, [this, status] { Q_EMIT finished(status); });
    m_mqtt->stop();
}

void FramesProgram::readSavedOptions()
{
    if (m_options.optionsPath.isEmpty())
        return;
    QString error;
    const std::optional<SavedRunOptions> saved = SavedRunOptions::read(m_options.optionsPath, error);
    if (!saved) {
        qWarning().noquote() << tr("Can't read the saved options %1: %2").arg(m_options.optionsPath, error);
        return;
    }
    if (m_mqtt)
        m_mqtt->setHoldSeconds(saved->timeout);
}

} // namespace Vantrel
