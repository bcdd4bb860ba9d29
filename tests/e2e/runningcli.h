#pragma once

#include "tests/e2e/clirunner.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// The real executable while it runs: the test watches its standard output as it arrives, sends it
// signals and waits for its end. Every run sees an empty USB tree, so no bridge is ever found
// unless the test supplies one.
class RunningCli
{
public:
    RunningCli();
    ~RunningCli();

    // The directory taken for /sys by the bridge library; empty by default.
    QString sysfsRoot() const { return m_sysfs.path(); }

    // Another program of the project to run in the same way (vantrel-frames).
    void setProgram(const QString &program) { m_program = program; }
    // A variable for the process's environment, set before start().
    void setEnvironmentVariable(const QString &name, const QString &value) { m_variables.insert(name, value); }
    bool start(const QStringList &arguments);
    void sendSignal(int signalNumber) const;
    qint64 processId() const { return m_process.processId(); }

    // Waits until the standard output seen so far satisfies the condition, or the process ends,
    // or the time is up; answers whether the condition holds.
    bool waitForOutput(const std::function<bool(const QByteArray &)> &condition, int timeoutMs);
    bool waitForExit(int timeoutMs);

    // Whether the process has ended, known without reading any of its output (so a test can keep its
    // standard output stalled meanwhile).
    bool hasEnded() const;
    bool exitedNormally() const;
    int exitCode() const { return m_process.exitCode(); }
    QByteArray out() const { return m_out; }
    QByteArray err() const { return m_err; }

private:
    void collectOutput();

    CliRunner m_home;
    QTemporaryDir m_sysfs;
    QString m_program = QStringLiteral(VANTREL_CLI);
    QProcessEnvironment m_variables;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};
