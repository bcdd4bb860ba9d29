#pragma once

#include <QByteArray>
#include <QTimer>

#include <atomic>
#include <chrono>

namespace Vantrel {

// Tells systemd how the service is doing, through its notification socket: ready once the sensor
// delivers, alive while it keeps delivering, stopping when the program ends. Without NOTIFY_SOCKET
// (not started by systemd) it does nothing at all.
class ServiceNotifier
{
public:
    // Reads NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID; lives on the thread that frames arrive on.
    ServiceNotifier();

    bool enabled() const { return m_enabled; }

    // The STATUS= text that goes with readiness (what runs, on which sensor).
    void setReadyStatus(const QString &status);
    // A frame came from the runtime. Costs a clock read: this runs for every frame. The first one
    // makes the service ready, once per process.
    void frameArrived()
    {
        if (!m_enabled)
            return;
        m_lastFrame = std::chrono::steady_clock::now();
        if (!m_ready)
            notifyReady();
    }
    // The program begins to end: systemd hears it once, and the watchdog pings stop.
    void stopping();

private:
    void notifyReady();
    void feedWatchdog();

    bool m_enabled = false;
    bool m_ready = false;
    std::atomic<bool> m_stopping{false}; // finish() may come from another thread
    QByteArray m_readyStatus;
    std::chrono::microseconds m_watchdogPeriod{0};
    std::chrono::steady_clock::time_point m_lastFrame;
    QTimer m_watchdog;
};

} // namespace Vantrel
