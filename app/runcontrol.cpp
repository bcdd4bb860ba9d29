// Run control: start-up from the command line to a running graph, and stopping it again.
#include "app/application.h"
#include "process/exitstatus.h"

#include "app/standardoutput.h"
#include "device/bridge.h"

#include <QDebug>
#include <QStandardPaths>
#include <QThread>

namespace Vantrel {

void Application::init()
{
    m_commandLine.setupOptions(m_pipeName, m_optionsPath);
    m_commandLine.parse();
    m_commandLine.leaveIf(m_commandLine.readLogLevel(m_logLevel));
    m_runner.setLogLevel(m_logLevel);
    loadCatalogue();
    m_commandLine.setupPositionalArgument(m_loader);
    m_commandLine.leaveIf(m_commandLine.processArguments(m_loader, m_runInfo));
    // Their defaults are the paths as they stand.
    m_pipeName = m_commandLine.value(QStringLiteral("pipe-name"));
    m_optionsPath = m_commandLine.value(QStringLiteral("options-path"));
    setStreamData(m_commandLine.isSet(QStringLiteral("pipe")));
    if (m_commandLine.isSet(QStringLiteral("stdout")))
        connect(this, &Application::newHpdData, this, &Application::logState);
    startCLI();
}

void Application::loadCatalogue()
{
    if (m_commandLine.isSet(QStringLiteral("file"))) {
        m_loader.loadFromFile(m_commandLine.value(QStringLiteral("file")));
    } else {
        m_loader.loadFromDirectory(AlgorithmLoader::defaultAlgorithmDirectory());
        m_loader.loadFromDirectory(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    }
}

void Application::startCLI()
{
    m_runInfo.applyDefaultValues();
    checkParams();
    int stopAfterSeconds = 0;
    m_commandLine.leaveIf(m_commandLine.readStopAfter(stopAfterSeconds));
    if (stopAfterSeconds > 0)
        QTimer::singleShot(stopAfterSeconds * 1000, [this] { finish(code(ExitStatus::Success)); });
    start();
}

void Application::start()
{
    if (!m_stoppedState.active()) {
        Q_EMIT showError(tr("Already running"));
        return;
    }

    const auto connection = m_runInfo.optionValues().constFind(QStringLiteral("connection"));
    const bool bridgeNeeded =
        connection == m_runInfo.optionValues().cend() || connection->valueName == QLatin1String("FTDI");
    if (bridgeNeeded && !bridgePresent()) {
        Q_EMIT showError(tr("Can't find FTDI USB dongle.\nMake sure the module is properly connected and FTDI "
                            "drivers installed."));
        finish(code(ExitStatus::NoBridge));
        return;
    }

    disconnectFlowRunner();
    connectFlowRunner();
    m_serviceNotifier.setReadyStatus(
        QStringLiteral("Running %1 with sensor %2").arg(m_runInfo.algorithm(), m_runInfo.sensor()));
    StandardOutput::instance().setRunning(true);
    if (m_runner.start())
        Q_EMIT starting();
    else
        finish(code(ExitStatus::RunnerFailed));
}

void Application::stop()
{
    if (!m_startedState.active() && !m_startingState.active())
        return;
    qInfo().noquote() << tr("Stopping WeaveGraphRunner");
    if (QThread::currentThread() == thread() && m_presenceTimer.isActive())
        m_presenceTimer.stop();
    // The runner's connections stay: it publishes no frame handed over after the stop request, and the
    // frames handed over before it still arrive, as they did when they were queued events.
    m_runner.stop();
    Q_EMIT stopping();
}

void Application::weaveGraphStopped()
{
    // No later line will go through to report the lines dropped at the end of the run.
    m_droppedLines.ended();
    setState(false);
    Q_EMIT stopped();
    finish(code(m_runner.exitCode() != 0 ? ExitStatus::RunnerFailed : ExitStatus::Success));
}

void Application::connectFlowRunner()
{
    m_runnerConnections = {
        connect(&m_runner, &WeaveGraphRunner::newHpdData, this, &Application::updateState),
        connect(&m_runner, &WeaveGraphRunner::newRawData, this, &Application::newRawData),
        connect(&m_runner, &WeaveGraphRunner::newPowerData, this, &Application::newPowerData),
        connect(&m_runner, &WeaveGraphRunner::newProximity2DData, this, &Application::newProximity2DData),
        connect(&m_runner, &WeaveGraphRunner::newDetectionStatistics, this, &Application::newDetectionStatistics),
        connect(&m_runner, &WeaveGraphRunner::newHeatmapBasicData, this, &Application::newHeatmapBasicData),
    };
}

void Application::disconnectFlowRunner()
{
    for (const QMetaObject::Connection &connection : qAsConst(m_runnerConnections))
        disconnect(connection);
    m_runnerConnections.clear();
}

FlowSelection Application::flowSelection() const
{
    const AlgorithmInfo &algorithm = m_runInfo.algorithmInfo();
    return {algorithm.name,
            algorithm.minimumSupportedWeaveGraphVersion,
            algorithm.maximumSupportedWeaveGraphVersion,
            m_runInfo.flowFilePath(),
            m_runInfo.parbFilePaths(),
            m_runInfo.dynamicOptions()};
}

void Application::openNamedPipe()
{
    if (!m_streamData)
        return;
    writeParametersToJson();
    if (!m_namedPipe.create(m_pipeName))
        Q_EMIT showError(tr("Couldn't open named pipe"));
}

void Application::setStreamData(bool on)
{
    if (m_streamData == on)
        return;
    m_streamData = on;
    if (!on) {
        disconnect(m_pipeFrames);
        Q_EMIT closeNamedPipe();
    } else {
        m_pipeFrames = connect(this, &Application::newRawData, &m_namedPipe, &NamedPipe::newRawData);
        if (m_startingState.active() || m_startedState.active())
            openNamedPipe();
    }
    Q_EMIT streamDataChanged();
}

void Application::setAlgorithmsLoadRequired(bool required)
{
    if (m_algorithmsLoadRequired == required)
        return;
    m_algorithmsLoadRequired = required;
    Q_EMIT algorithmsLoadRequiredChanged();
}

void Application::loadAlgorithms()
{
    m_loader.loadRegisteredAlgorithms();
    setAlgorithmsLoadRequired(false);
}

void Application::setLoadAlgorithms()
{
    loadAlgorithms();
}

} // namespace Vantrel
