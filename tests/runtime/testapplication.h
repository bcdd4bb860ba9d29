#pragma once

// The application side that the runner reaches through the Qt application instance: the log level
// property, the showError signal and the weaveGraphStopped slot.

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace Vantrel {
namespace Fixtures {

class TestApplication : public QCoreApplication
{
    Q_OBJECT
    Q_PROPERTY(int logLevel READ logLevel)
public:
    TestApplication(int &argc, char **argv)
        : QCoreApplication(argc, argv)
    {
        // Runs emit showError on their worker thread; record it there.
        connect(this, &TestApplication::showError, this, &TestApplication::recordError, Qt::DirectConnection);
    }

    static TestApplication *instance() { return static_cast<TestApplication *>(QCoreApplication::instance()); }

    int logLevel() const { return m_logLevel; }
    void setLogLevel(int level) { m_logLevel = level; }

    QStringList errors() const
    {
        QMutexLocker locker(&m_mutex);
        return m_errors;
    }
    void clearErrors()
    {
        QMutexLocker locker(&m_mutex);
        m_errors.clear();
    }

Q_SIGNALS:
    void showError(QString message);
    void stoppedSeen();

public Q_SLOTS:
    void weaveGraphStopped() { Q_EMIT stoppedSeen(); }

private:
    void recordError(const QString &message)
    {
        QMutexLocker locker(&m_mutex);
        m_errors << message;
    }

    mutable QMutex m_mutex;
    QStringList m_errors;
    int m_logLevel = 1;
};

} // namespace Fixtures
} // namespace Vantrel
