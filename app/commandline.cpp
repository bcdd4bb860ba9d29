// The command line: options, the log level and the positional grammar.
#include "application.h"

#include "helptexts.h"
#include "standardoutput.h"
#include "logging.h"

#include <QDebug>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace Vantrel {

namespace {

// Every command-line message is a warning, so it is printed whatever the log level.
[[noreturn]] void exitAfter(const QString &message, int status)
{
    qWarning().noquote() << message;
    std::exit(status);
}

} // namespace

void Application::setupOptions()
{
    const QString valueName = QStringLiteral("value");
    m_parser.addOption({{QStringLiteral("s"), QStringLiteral("stdout")},
                        tr("Print algorithm output to the standard output.\nAlgorithm output:\ntimestamp; distance; "
                           "presence;\ntimestamp - ms since Epoch\ndistance - cm\npresence - [0,1], 0 - 'no "
                           "presence', 1 - 'presence'\nExample:\n1634552761952;  738;      1;\nOther log messages "
                           "are prefixed with '#'")});
    m_parser.addOption({{QStringLiteral("l"), QStringLiteral("loglevel")},
                        tr("Log level: [1-7]\n1 - errors and warning only (default),\n2 - info,\n3-7 - debug"),
                        valueName, QString::number(m_logLevel)});
    m_parser.addOption({{QStringLiteral("p"), QStringLiteral("pipe")},
                        tr("Open named pipe/local socket to stream raw WeaveGraph frames. Default name: %1.")
                            .arg(m_pipeName)});
    m_parser.addOption({{QStringLiteral("f"), QStringLiteral("file")},
                        tr("Load algorithm definition from a specified file. If no file is specified .hpd files from "
                           "default locations would be loaded. Default locations are: %1, %2")
                            .arg(AlgorithmLoader::defaultAlgorithmDirectory(),
                                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)),
                        valueName});
    m_parser.addOption({QStringLiteral("print-options"), tr("Print all possible positional arguments")});
    m_parser.addOption({QStringLiteral("pipe-name"),
                        tr("Named pipe/local socket name. If not specified the default name will be used (%1).")
                            .arg(m_pipeName),
                        valueName, m_pipeName});
    m_parser.addOption({QStringLiteral("stop-after"),
                        tr("If all parameters necessary to start Product have been provided stop application after X "
                           "seconds."),
                        valueName});
    m_parser.addOption({QStringLiteral("options-path"),
                        tr("Full path to a file where start options will be saved if pipe/socket is open. If not "
                           "specified the default name will be used (%1).")
                            .arg(m_optionsPath),
                        valueName, m_optionsPath});
    m_parser.addOption({{QStringLiteral("t"), QStringLiteral("timeout")},
                        tr("Detection timeout in seconds. Default, min and max values depend on an algorithm. "
                           "Affects GUI only."),
                        valueName, QStringLiteral("0")});

    m_parser.setApplicationDescription(tr("%1 shows data from a human presence radar sensor.").arg(applicationName()));
    m_parser.addVersionOption();
    m_parser.addHelpOption();
}

void Application::readLogLevel()
{
    const QString text = m_parser.value(QStringLiteral("loglevel"));
    bool ok = false;
    const int level = text.toInt(&ok, 10);
    if (!ok || level < 1 || level > 7) {
        const QByteArray line = logLine(tr("Wrong log level: %1").arg(text));
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::exit(3);
    }
    m_logLevel = level;
    m_runner.setLogLevel(level);
}

void Application::setupPositionalArgument()
{
    m_parser.addPositionalArgument(QStringLiteral("<algorithm> <sensor> [<algorithm's options>]"),
                                   tr("%1\nType <algorithm> -h/--help to see supported sensors.")
                                       .arg(m_loader.supportedAlgorithmsHelp()),
                                   QString());
}

void Application::processArguments()
{
    parsePositionalArguments();
    // The parser prints its help, version and errors itself: the log lines before them go first.
    StandardOutput::instance().flush();
    m_parser.process(arguments());
    if (m_parser.isSet(QStringLiteral("print-options"))) {
        for (const QString &line : optionLines(m_loader.algorithms()))
            qWarning().noquote() << line;
        std::exit(0);
    }
    readTimeout();
    if (m_parser.isSet(QStringLiteral("pipe-name")))
        m_pipeName = m_parser.value(QStringLiteral("pipe-name"));
    if (m_parser.isSet(QStringLiteral("options-path")))
        m_optionsPath = m_parser.value(QStringLiteral("options-path"));
}

void Application::parsePositionalArguments()
{
    QStringList words = m_parser.positionalArguments();
    if (words.isEmpty())
        return;

    m_helpParser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    m_helpParser.parse(arguments());
    const bool helpAsked = m_helpParser.isSet(QStringLiteral("help"));

    const QString algorithmName = words.takeFirst();
    if (!m_runInfo.setAlgorithm(algorithmName))
        std::exit(3);
    // An empty word selects no algorithm: it has no sensors to show or to default to, and a sensor word
    // after it is refused by the run configuration.
    const std::optional<AlgorithmOption> algorithm = m_loader.findAlgorithm(algorithmName);
    const QString sensorsHelp = algorithm ? Vantrel::sensorsHelp(*algorithm) : QString();
    if (helpAsked && words.isEmpty()) {
        exitAfter(tr("%1: %2\n%3\nType %1 <sensor_name> -h/--help to get sensor specific options.")
                      .arg(algorithmName, m_runInfo.algorithmInfo().description, sensorsHelp),
                  0);
    }

    const QString sensorName =
        !words.isEmpty() ? words.takeFirst() : algorithm ? algorithm->defaultSensorName() : QString();
    if (sensorName.isEmpty())
        return;
    if (!m_runInfo.setSensor(sensorName))
        std::exit(3);
    const SensorOption sensor = *algorithm->findSensor(sensorName);
    const int parameterCount = sensor.options().size();
    const QString parametersHelp = Vantrel::parametersHelp(sensor);
    if (helpAsked && words.isEmpty()) {
        if (parameterCount == 0)
            exitAfter(tr("%1: %2: %3\nDoesn't have any parameters").arg(algorithmName, sensorName, sensor.description()), 0);
        exitAfter(tr("%1: %2\n%3\nType %4 %1 <parameter> -h/--help to get parameter options.")
                      .arg(sensorName, sensor.description(), parametersHelp, algorithmName),
                  0);
    }

    for (int pairs = 0;; ++pairs) {
        if (pairs == parameterCount && !words.isEmpty())
            exitAfter(tr("Unknown parameter: %1.\n%2").arg(words.first(), parametersHelp), 3);
        if (words.isEmpty())
            return;

        const QString parameterName = words.takeFirst();
        const std::optional<ParameterOption> parameter = sensor.findParameter(parameterName);
        if (!parameter)
            exitAfter(tr("Unknown parameter: %1.\n%2").arg(parameterName, parametersHelp), 3);
        const QString valuesHelp = Vantrel::valuesHelp(*parameter);
        if (words.isEmpty()) {
            if (helpAsked) {
                exitAfter(tr("%1: %2\n%3\nType %4 %5 %1 <parameter_option> -h/--help to get options details.")
                              .arg(parameterName, parameter->description(), valuesHelp, algorithmName, sensorName),
                          0);
            }
            exitAfter(tr("Parameter value must be specified for %1.\n%2").arg(parameterName, valuesHelp), 3);
        }

        const QString valueName = words.takeFirst();
        const std::optional<ParameterValueOption> value = parameter->findValue(valueName);
        if (!value)
            exitAfter(tr("Unknown parameter value: %1.\n%2").arg(valueName, valuesHelp), 3);
        if (helpAsked && words.isEmpty()) {
            const QString description = value->description().isEmpty() ? tr("no descripion") : value->description();
            exitAfter(tr("%1: %2\n").arg(valueName, description), 0);
        }
        m_runInfo.setOptionValue(parameterName, valueName, value->info().parb, parameter->index(), true);
    }
}

void Application::readTimeout()
{
    const QString text = m_parser.value(QStringLiteral("timeout"));
    // Read wider than the option's 32 bits, so that a huge value meets the range check instead of wrapping.
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok)
        exitAfter(tr("Invalid value for presence timeout: %1").arg(text), 3);
    if (value == 0) {
        m_runInfo.setTimeout(m_runInfo.timeoutDefaultValue());
        return;
    }
    if (m_runInfo.algorithm().isEmpty())
        exitAfter(tr("Algortithm name must be specified for timeout"), 3);

    const double seconds = static_cast<double>(value);
    if (seconds < m_runInfo.timeoutStart()) {
        qWarning().noquote() << tr("Presence timeout can't be less than %1 seconds. Provided value:").arg(m_runInfo.timeoutStart())
                             << text;
        std::exit(3);
    }
    if (seconds > m_runInfo.timeoutEnd()) {
        qWarning().noquote() << tr("Presence timeout can't be more than %1 seconds. Provided value:").arg(m_runInfo.timeoutEnd())
                             << text;
        std::exit(3);
    }
    m_runInfo.setTimeout(seconds);
}

void Application::checkParams()
{
    if (!m_runInfo.isValid())
        exitAfter(tr("Not all mandatory parameters have been provided"), 3);
    if (!m_parser.isSet(QStringLiteral("pipe")) && !m_parser.isSet(QStringLiteral("stdout")))
        exitAfter(tr("At least one output should be enabled: GUI, standart output or named pipe (fifo)"), 3);
}

} // namespace Vantrel
