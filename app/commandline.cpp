// The command line: options, the log level, the positional grammar and the checks before a run.
#include "app/commandline.h"

#include "app/logging.h"
#include "app/standardoutput.h"
#include "catalogue/algorithmloader.h"
#include "catalogue/helptexts.h"
#include "runinfo/runinfo.h"

#include <QDebug>
#include <QStandardPaths>

#include <cstdlib>
#include <limits>
#include <syslog.h>

namespace Vantrel {

namespace {

// A stop-after time is armed as a signed 32-bit millisecond count.
constexpr qulonglong maximumRunningSeconds = std::numeric_limits<int>::max() / 1000;

// Every message of the command line is a warning, so it is printed whatever the log level.
CommandLineExit warning(ExitStatus status, const QString &message)
{
    return {status, CommandLineExit::Output::Warnings, {message}};
}

} // namespace

CommandLine::CommandLine(QStringList arguments)
    : m_arguments(std::move(arguments))
{
}

void CommandLine::setupOptions(const QString &pipeName, const QString &optionsPath)
{
    const QString valueName = QStringLiteral("value");
    m_parser.addOption({{QStringLiteral("s"), QStringLiteral("stdout")},
                        tr("Print algorithm output to the standard output.\nAlgorithm output:\ntimestamp; distance; "
                           "presence;\ntimestamp - ms since Epoch\ndistance - cm\npresence - [0,1], 0 - 'no "
                           "presence', 1 - 'presence'\nExample:\n1634552761952;  738;      1;\nOther log messages "
                           "are prefixed with '#'")});
    m_parser.addOption({{QStringLiteral("l"), QStringLiteral("loglevel")},
                        tr("Log level: [1-7]\n1 - errors and warning only (default),\n2 - info,\n3-7 - debug"),
                        valueName,
                        QStringLiteral("1")});
    m_parser.addOption(
        {{QStringLiteral("p"), QStringLiteral("pipe")},
         tr("Open named pipe/local socket to stream raw WeaveGraph frames. Default name: %1.").arg(pipeName)});
    m_parser.addOption({{QStringLiteral("f"), QStringLiteral("file")},
                        tr("Load algorithm definition from a specified file. If no file is specified .hpd files from "
                           "default locations would be loaded. Default locations are: %1, %2")
                            .arg(AlgorithmLoader::defaultAlgorithmDirectory(),
                                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)),
                        valueName});
    m_parser.addOption({QStringLiteral("print-options"), tr("Print all possible positional arguments")});
    m_parser.addOption(
        {QStringLiteral("pipe-name"),
         tr("Named pipe/local socket name. If not specified the default name will be used (%1).").arg(pipeName),
         valueName, pipeName});
    m_parser.addOption({QStringLiteral("stop-after"),
                        tr("If all parameters necessary to start Product have been provided stop application after X "
                           "seconds."),
                        valueName});
    m_parser.addOption({QStringLiteral("options-path"),
                        tr("Full path to a file where start options will be saved if pipe/socket is open. If not "
                           "specified the default name will be used (%1).")
                            .arg(optionsPath),
                        valueName, optionsPath});
    m_parser.addOption({{QStringLiteral("t"), QStringLiteral("timeout")},
                        tr("Detection timeout in seconds. Default, min and max values depend on an algorithm. "
                           "Affects GUI only."),
                        valueName,
                        QStringLiteral("0")});

    m_parser.setApplicationDescription(
        tr("%1 shows data from a human presence radar sensor.").arg(QCoreApplication::applicationName()));
    m_parser.addVersionOption();
    m_parser.addHelpOption();
}

void CommandLine::parse()
{
    // Errors surface when the arguments are processed, after the positional words.
    m_parser.parse(m_arguments);
}

CommandLineOutcome CommandLine::readLogLevel(int &level) const
{
    const QString text = m_parser.value(QStringLiteral("loglevel"));
    bool ok = false;
    const int read = text.toInt(&ok, 10);
    if (!ok || read < 1 || read > 7)
        return CommandLineExit{
            ExitStatus::BadCommandLine, CommandLineExit::Output::LogLine, {tr("Wrong log level: %1").arg(text)}};
    level = read;
    return std::nullopt;
}

void CommandLine::setupPositionalArgument(const AlgorithmLoader &loader)
{
    m_parser.addPositionalArgument(
        QStringLiteral("<algorithm> <sensor> [<algorithm's options>]"),
        tr("%1\nType <algorithm> -h/--help to see supported sensors.").arg(loader.supportedAlgorithmsHelp()),
        QString());
}

CommandLineOutcome CommandLine::processArguments(const AlgorithmLoader &loader, RunInfo &runInfo)
{
    if (CommandLineOutcome outcome = parsePositionalArguments(loader, runInfo))
        return outcome;
    const bool parsed = m_parser.parse(m_arguments);
    if (!parsed)
        return CommandLineExit{ExitStatus::SyntaxError, CommandLineExit::Output::Parser, {m_parser.errorText()}};
    for (const char *option : {"version", "help", "help-all"}) {
        if (m_parser.isSet(QLatin1String(option)))
            return CommandLineExit{ExitStatus::Success, CommandLineExit::Output::Parser, {}};
    }
    if (m_parser.isSet(QStringLiteral("print-options")))
        return CommandLineExit{ExitStatus::Success, CommandLineExit::Output::Warnings,
                               optionLines(loader.algorithms())};
    return readTimeout(runInfo);
}

CommandLineOutcome CommandLine::parsePositionalArguments(const AlgorithmLoader &loader, RunInfo &runInfo)
{
    QStringList words = m_parser.positionalArguments();
    if (words.isEmpty())
        return std::nullopt;

    m_helpParser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    m_helpParser.parse(m_arguments);
    const bool helpAsked = m_helpParser.isSet(QStringLiteral("help"));

    const QString algorithmName = words.takeFirst();
    if (!runInfo.setAlgorithm(algorithmName))
        return CommandLineExit{ExitStatus::BadCommandLine, CommandLineExit::Output::AlreadyLogged, {}};
    // An empty word selects no algorithm: it has no sensors to show or to default to, and a sensor word
    // after it is refused by the run configuration.
    const std::optional<AlgorithmOption> algorithm = loader.findAlgorithm(algorithmName);
    const QString sensorsHelp = algorithm ? Vantrel::sensorsHelp(*algorithm) : QString();
    if (helpAsked && words.isEmpty()) {
        return warning(ExitStatus::Success,
                       tr("%1: %2\n%3\nType %1 <sensor_name> -h/--help to get sensor specific options.")
                           .arg(algorithmName, runInfo.algorithmInfo().description, sensorsHelp));
    }

    const QString sensorName = !words.isEmpty() ? words.takeFirst()
                               : algorithm      ? algorithm->defaultSensorName()
                                                : QString();
    if (sensorName.isEmpty())
        return std::nullopt;
    if (!runInfo.setSensor(sensorName))
        return CommandLineExit{ExitStatus::BadCommandLine, CommandLineExit::Output::AlreadyLogged, {}};
    const SensorOption sensor = *algorithm->findSensor(sensorName);
    const int parameterCount = sensor.options().size();
    const QString parametersHelp = Vantrel::parametersHelp(sensor);
    if (helpAsked && words.isEmpty()) {
        if (parameterCount == 0)
            return warning(
                ExitStatus::Success,
                tr("%1: %2: %3\nDoesn't have any parameters").arg(algorithmName, sensorName, sensor.description()));
        return warning(ExitStatus::Success, tr("%1: %2\n%3\nType %4 %1 <parameter> -h/--help to get parameter options.")
                                                .arg(sensorName, sensor.description(), parametersHelp, algorithmName));
    }

    for (int pairs = 0;; ++pairs) {
        if (pairs == parameterCount && !words.isEmpty())
            return warning(ExitStatus::BadCommandLine,
                           tr("Unknown parameter: %1.\n%2").arg(words.first(), parametersHelp));
        if (words.isEmpty())
            return std::nullopt;

        const QString parameterName = words.takeFirst();
        const std::optional<ParameterOption> parameter = sensor.findParameter(parameterName);
        if (!parameter)
            return warning(ExitStatus::BadCommandLine,
                           tr("Unknown parameter: %1.\n%2").arg(parameterName, parametersHelp));
        const QString valuesHelp = Vantrel::valuesHelp(*parameter);
        if (words.isEmpty()) {
            if (helpAsked) {
                return warning(
                    ExitStatus::Success,
                    tr("%1: %2\n%3\nType %4 %5 %1 <parameter_option> -h/--help to get options details.")
                        .arg(parameterName, parameter->description(), valuesHelp, algorithmName, sensorName));
            }
            return warning(ExitStatus::BadCommandLine,
                           tr("Parameter value must be specified for %1.\n%2").arg(parameterName, valuesHelp));
        }

        const QString valueName = words.takeFirst();
        const std::optional<ParameterValueOption> value = parameter->findValue(valueName);
        if (!value)
            return warning(ExitStatus::BadCommandLine,
                           tr("Unknown parameter value: %1.\n%2").arg(valueName, valuesHelp));
        if (helpAsked && words.isEmpty()) {
            const QString description = value->description().isEmpty() ? tr("no descripion") : value->description();
            return warning(ExitStatus::Success, tr("%1: %2\n").arg(valueName, description));
        }
        runInfo.setOptionValue(parameterName, valueName, value->info().parb, parameter->index(), true);
    }
}

CommandLineOutcome CommandLine::readTimeout(RunInfo &runInfo) const
{
    const QString text = m_parser.value(QStringLiteral("timeout"));
    // Read wider than the option's 32 bits, so that a huge value meets the range check instead of wrapping.
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok)
        return warning(ExitStatus::BadCommandLine, tr("Invalid value for presence timeout: %1").arg(text));
    if (value == 0) {
        runInfo.setTimeout(runInfo.timeoutDefaultValue());
        return std::nullopt;
    }
    if (runInfo.algorithm().isEmpty())
        return warning(ExitStatus::BadCommandLine, tr("Algortithm name must be specified for timeout"));

    const double seconds = static_cast<double>(value);
    if (seconds < runInfo.timeoutStart()) {
        return warning(ExitStatus::BadCommandLine,
                       tr("Presence timeout can't be less than %1 seconds. Provided value:").arg(runInfo.timeoutStart())
                           + QLatin1Char(' ') + text);
    }
    if (seconds > runInfo.timeoutEnd()) {
        return warning(ExitStatus::BadCommandLine,
                       tr("Presence timeout can't be more than %1 seconds. Provided value:").arg(runInfo.timeoutEnd())
                           + QLatin1Char(' ') + text);
    }
    runInfo.setTimeout(seconds);
    return std::nullopt;
}

CommandLineOutcome CommandLine::checkParams(const RunInfo &runInfo) const
{
    if (!runInfo.isValid())
        return warning(ExitStatus::BadCommandLine, tr("Not all mandatory parameters have been provided"));
    if (!isSet(QStringLiteral("pipe")) && !isSet(QStringLiteral("stdout")))
        return warning(ExitStatus::BadCommandLine,
                       tr("At least one output should be enabled: GUI, standart output or named pipe (fifo)"));
    return std::nullopt;
}

CommandLineOutcome CommandLine::readStopAfter(int &seconds) const
{
    seconds = 0;
    if (!isSet(QStringLiteral("stop-after")))
        return std::nullopt;
    bool ok = false;
    const qulonglong read = value(QStringLiteral("stop-after")).toULongLong(&ok, 10);
    if (!ok || read == 0 || read > maximumRunningSeconds)
        return warning(ExitStatus::BadCommandLine, tr("Bad value for running time"));
    seconds = static_cast<int>(read);
    return std::nullopt;
}

void CommandLine::leaveIf(const CommandLineOutcome &outcome)
{
    if (!outcome)
        return;
    switch (outcome->output) {
    case CommandLineExit::Output::AlreadyLogged:
        break;
    case CommandLineExit::Output::Warnings:
        for (const QString &message : outcome->messages)
            qWarning().noquote() << message;
        break;
    case CommandLineExit::Output::LogLine:
        StandardOutput::instance().writeLog(outputLogLine(outcome->messages.constFirst(), LOG_ERR));
        break;
    case CommandLineExit::Output::Parser:
        // The parser prints these itself and ends the process; the log lines before them go first.
        StandardOutput::instance().flush();
        m_parser.process(m_arguments);
        break;
    }
    std::exit(code(outcome->status));
}

} // namespace Vantrel
