#include "tests/e2e/runningcli.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <sys/types.h>

RunningCli::RunningCli() = default;

RunningCli::~RunningCli()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool RunningCli::start(const QStringList &arguments)
{
    QProcessEnvironment environment = m_home.environment();
    environment.insert(QStringLiteral("VANTREL_FT4222_SYSFS_ROOT"), m_sysfs.path());
    environment.insert(m_variables);
    m_process.setProcessEnvironment(environment);
    m_process.start(m_program, arguments);
    if (!m_process.waitForStarted(30000))
        return false;
    m_process.closeWriteChannel();
    return true;
}

void RunningCli::sendSignal(int signalNumber) const
{
    if (m_process.state() == QProcess::Running)
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
}

bool RunningCli::waitForOutput(const std::function<bool(const QByteArray &)> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        collectOutput();
        if (condition(m_out))
            return true;
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 100)));
    }
}

bool RunningCli::waitForExit(int timeoutMs)
{
    const bool finished = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    collectOutput();
    return finished;
}

bool RunningCli::hasEnded() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
    if (m_process.state() == QProcess::NotRunning || !stat.open(QIODevice::ReadOnly))
        return true;
    // The state follows the command name in parentheses; a process that has exited is a zombie until reaped.
    const QByteArray fields = stat.readAll();
    return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
}

bool RunningCli::exitedNormally() const
{
    return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit;
}

void RunningCli::collectOutput()
{
    m_out += m_process.readAllStandardOutput();
    m_err += m_process.readAllStandardError();
}
