// Presence reports: the lifecycle step on the first one, the presence hold timer and the stdout line.
#include "application.h"

#include "standardoutput.h"
#include "timermilliseconds.h"

#include <QDateTime>
#include <QDebug>

namespace Vantrel {

void Application::updateState(bool state, uint32_t distance, uint32_t confidence, int64_t timestamp,
                              uint32_t sequenceNumber)
{
    if (m_stoppedState.active())
        return;
    updatePresenceTimerState(state);
    if (m_startingState.active())
        Q_EMIT started();
    setState(state);
    Q_EMIT updatePresenceState(state, state || m_presenceTimer.isActive());
    Q_EMIT newHpdData(state, distance, confidence, timestamp, sequenceNumber);
}

void Application::updatePresenceTimerState(bool newState)
{
    const double timeout = m_runInfo.timeout();
    if (timeout == 0)
        return;
    if (newState) {
        m_lastPresenceTime = QDateTime::currentMSecsSinceEpoch();
        if (m_presenceTimer.isActive())
            m_presenceTimer.stop();
    } else if (m_state && !m_presenceTimer.isActive()) {
        m_presenceTimer.start(toTimerMilliseconds(timeout * 1000));
    }
}

void Application::timeoutChanged(double timeout)
{
    if (!m_state) {
        const double elapsed = static_cast<double>(QDateTime::currentMSecsSinceEpoch() - m_lastPresenceTime);
        const double remaining = timeout * 1000 - elapsed;
        if (remaining > 0) {
            m_presenceTimer.start(toTimerMilliseconds(remaining));
            return;
        }
        if (m_presenceTimer.isActive())
            m_presenceTimer.stop();
    }
    m_presenceTimer.setInterval(toTimerMilliseconds(timeout * 1000));
}

void Application::logState(bool state, uint32_t distance, uint32_t, int64_t timestamp, uint32_t)
{
    static bool headerLogged = false;
    if (!headerLogged) {
        headerLogged = true;
        qInfo().noquote().nospace() << "timestamp"
                                    << ";\t"
                                    << "distance"
                                    << ";\t"
                                    << "state";
    }
    const QByteArray line = QByteArray::number(static_cast<qint64>(timestamp)) + ";\t"
                            + QByteArray::number(distance / 10) + ";\t" + (state ? "1" : "0") + ";\t\n";
    if (StandardOutput::instance().writeData(line))
        m_droppedLines.report();
    else
        m_droppedLines.drop();
}

} // namespace Vantrel
