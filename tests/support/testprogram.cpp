#include "tests/support/testprogram.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <sys/types.h>
#include <utility>

namespace Vantrel::Test {

QString cliProgram()
{
    return QStringLiteral(VANTREL_CLI);
}

QString framesProgram()
{
    return QStringLiteral(VANTREL_FRAMES);
}

QProcessEnvironment ProgramHome::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/data"));
    environment.insert(QStringLiteral("VANTREL_FT4222_SYSFS_ROOT"), m_sysfs.path());
    // Tests run under a service manager must not have the program report to it or write for its journal.
    for (const char *variable : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID", "JOURNAL_STREAM"})
        environment.remove(QString::fromLatin1(variable));
    return environment;
}

TestProgram::TestProgram(QString program)
    : m_program(std::move(program))
{
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { collect(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] { collect(); });
}

TestProgram::~TestProgram()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

TestProgram::Result TestProgram::run(const QStringList &arguments, int timeoutMs)
{
    Result result;
    if (!start(arguments))
        return result;
    if (!m_process.waitForFinished(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished();
        return result;
    }
    collect();
    result.crashed = !exitedNormally();
    result.exitCode = result.crashed ? -1 : exitCode();
    result.out = m_out;
    result.err = m_err;
    return result;
}

bool TestProgram::start(const QStringList &arguments)
{
    m_out.clear();
    m_err.clear();
    QProcessEnvironment environment = m_home.environment();
    environment.insert(m_variables);
    m_process.setProcessEnvironment(environment);
    m_process.start(m_program, arguments);
    if (!m_process.waitForStarted(30000))
        return false;
    if (!m_inputRedirected && !m_keepInputOpen)
        m_process.closeWriteChannel();
    return true;
}

void TestProgram::sendSignal(int signalNumber) const
{
    if (m_process.state() == QProcess::Running)
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
}

int TestProgram::terminate(int timeoutMs)
{
    sendSignal(SIGTERM);
    return finish(timeoutMs);
}

int TestProgram::finish(int timeoutMs)
{
    return waitForExit(timeoutMs) && exitedNormally() ? exitCode() : -1;
}

bool TestProgram::waitForOutput(const std::function<bool(const QByteArray &)> &condition, int timeoutMs)
{
    return waitFor(QProcess::StandardOutput, condition, timeoutMs);
}

bool TestProgram::waitForError(const std::function<bool(const QByteArray &)> &condition, int timeoutMs)
{
    return waitFor(QProcess::StandardError, condition, timeoutMs);
}

bool TestProgram::waitFor(QProcess::ProcessChannel channel, const std::function<bool(const QByteArray &)> &condition,
                          int timeoutMs)
{
    const QByteArray &written = channel == QProcess::StandardOutput ? m_out : m_err;
    m_process.setReadChannel(channel);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        collect();
        if (condition(written))
            return true;
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        // Takes in both channels, whichever one it waits on.
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 100)));
    }
}

bool TestProgram::waitForExit(int timeoutMs)
{
    const bool finished = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    collect();
    return finished;
}

bool TestProgram::hasEnded() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
    if (m_process.state() == QProcess::NotRunning || !stat.open(QIODevice::ReadOnly))
        return true;
    // The state follows the command name in parentheses; a process that has exited is a zombie until reaped.
    const QByteArray fields = stat.readAll();
    return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
}

bool TestProgram::exitedNormally() const
{
    return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit;
}

void TestProgram::collect()
{
    m_out += m_process.readAllStandardOutput();
    m_err += m_process.readAllStandardError();
}

} // namespace Vantrel::Test
