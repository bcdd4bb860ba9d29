#include "tests/e2e/clirunner.h"

#include <QProcess>

CliRunner::CliRunner() = default;

QString CliRunner::bundle(const QString &name)
{
    return QStringLiteral(E2E_BUNDLE_DIR "/%1.hpd").arg(name);
}

QProcessEnvironment CliRunner::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/data"));
    // Tests run under a service manager must not have the program report to it or write for its journal.
    for (const char *variable : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID", "JOURNAL_STREAM"})
        environment.remove(QString::fromLatin1(variable));
    return environment;
}

CliRunner::Result CliRunner::run(const QStringList &arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(VANTREL_CLI), arguments);
    Result result;
    if (!process.waitForStarted(timeoutMs))
        return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}
