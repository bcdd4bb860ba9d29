// The command line: options, the log level and the positional grammar.
#include "application.h"

#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace Vantrel {

namespace {
const QString systemAlgorithmDirectory = QStringLiteral("/usr/share/vantrel/algorithms");
}

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
                            .arg(systemAlgorithmDirectory,
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
        const QByteArray line = "# " + tr("Wrong log level: %1").arg(text).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::exit(3);
    }
    m_logLevel = level;
}

} // namespace Vantrel
