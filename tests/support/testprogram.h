// vantrel-cli and vantrel-frames as the tests run them: one way to start either, to its end or in
// the background, always in a home of its own.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace Vantrel::Test {

// The two programs, as built.
QString cliProgram();
QString framesProgram();

// A private home and an empty USB tree, so that no user's bundles or saved state, no service manager
// and no bridge reach a program unless the test puts them there.
class ProgramHome
{
public:
    QString path() const { return m_home.path(); }
    // The directory the bridge library takes for /sys.
    QString sysfsRoot() const { return m_sysfs.path(); }
    QProcessEnvironment environment() const;

private:
    QTemporaryDir m_home;
    QTemporaryDir m_sysfs;
};

// A program under test (or a wrapper that runs one, such as prlimit or a shell): run to its end, or
// started in the background while the test watches what it writes, signals it and waits for it.
// What it writes is collected by every wait here and whenever the event loop runs.
class TestProgram
{
public:
    struct Result
    {
        int exitCode = -1; // -1 unless it ended normally within the time
        bool crashed = false;
        QByteArray out;
        QByteArray err;
    };

    explicit TestProgram(QString program = cliProgram());
    ~TestProgram();
    TestProgram(const TestProgram &) = delete;
    TestProgram &operator=(const TestProgram &) = delete;

    const ProgramHome &home() const { return m_home; }

    // Set before start() or run().
    void setEnvironmentVariable(const QString &name, const QString &value) { m_variables.insert(name, value); }
    void setStandardInputFile(const QString &path)
    {
        m_process.setStandardInputFile(path);
        m_inputRedirected = true;
    }
    void setStandardOutputFile(const QString &path) { m_process.setStandardOutputFile(path); }
    // Standard input stays an open pipe that nobody writes into, a source that never ends; otherwise
    // it is closed at once.
    void keepInputOpen() { m_keepInputOpen = true; }

    // Starts it and waits for its end; killed when timeoutMs has passed.
    Result run(const QStringList &arguments, int timeoutMs = 30000);

    bool start(const QStringList &arguments);
    void sendSignal(int signalNumber) const;
    // SIGTERM, then the status it ends with: -1 when it does not end normally within timeoutMs.
    int terminate(int timeoutMs = 30000);
    // The status it ends with by itself: -1 when it does not end normally within timeoutMs.
    int finish(int timeoutMs = 30000);

    // Wait until what it wrote so far satisfies the condition, or it ends, or the time is up; answer
    // whether the condition holds.
    bool waitForOutput(const std::function<bool(const QByteArray &)> &condition, int timeoutMs);
    bool waitForError(const std::function<bool(const QByteArray &)> &condition, int timeoutMs);
    bool waitForExit(int timeoutMs);

    // Whether it has ended, known without reading any of its output (so a test can keep its standard
    // output stalled meanwhile).
    bool hasEnded() const;
    bool exitedNormally() const;
    int exitCode() const { return m_process.exitCode(); }
    qint64 processId() const { return m_process.processId(); }
    QByteArray out() const { return m_out; }
    QByteArray err() const { return m_err; }

private:
    bool waitFor(QProcess::ProcessChannel channel, const std::function<bool(const QByteArray &)> &condition,
                 int timeoutMs);
    void collect();

    QString m_program;
    ProgramHome m_home;
    QProcessEnvironment m_variables;
    bool m_inputRedirected = false;
    bool m_keepInputOpen = false;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

} // namespace Vantrel::Test
