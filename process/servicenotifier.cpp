#include "process/servicenotifier.h"

#include <QThread>

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace Vantrel {

ServiceNotifier::ServiceNotifier()
{
    const char *socket = std::getenv("NOTIFY_SOCKET");
    m_enabled = socket && *socket;
    if (!m_enabled)
        return;
    uint64_t usec = 0;
    // Answers 0 when WATCHDOG_PID names another process: then the watchdog is not this one's to feed.
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    m_watchdogPeriod = std::chrono::microseconds(usec);
    // Half the period, as systemd advises, so one late tick does not cost the service its life.
    m_watchdog.setInterval(std::max<int>(1, int(std::min<uint64_t>(usec / 2000, uint64_t(INT_MAX)))));
    m_watchdog.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_watchdog, &QTimer::timeout, &m_watchdog, [this] { feedWatchdog(); });
    m_watchdog.start();
}

void ServiceNotifier::setReadyStatus(const QString &status)
{
    m_readyStatus = status.toUtf8();
    // One line of the notification: a line end would start a new assignment.
    m_readyStatus.replace('\n', ' ');
}

void ServiceNotifier::notifyReady()
{
    m_ready = true;
    QByteArray message = "READY=1";
    if (!m_readyStatus.isEmpty())
        message += "\nSTATUS=" + m_readyStatus;
    sd_notify(0, message.constData());
}

void ServiceNotifier::feedWatchdog()
{
    // A runtime that has stopped delivering gets no pings, so systemd ends it and starts it afresh.
    if (m_stopping || !m_ready || std::chrono::steady_clock::now() - m_lastFrame > m_watchdogPeriod)
        return;
    sd_notify(0, "WATCHDOG=1");
}

void ServiceNotifier::stopping()
{
    if (!m_enabled || m_stopping.exchange(true))
        return;
    // A timer stops only on its own thread; elsewhere the flag alone keeps the pings from going out.
    if (QThread::currentThread() == m_watchdog.thread())
        m_watchdog.stop();
    sd_notify(0, "STOPPING=1");
}

} // namespace Vantrel
