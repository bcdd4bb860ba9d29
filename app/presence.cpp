// Presence reports: the lifecycle step on the first one, the presence hold timer and the stdout line.
#include "app/application.h"

#include "app/standardoutput.h"
#include "decoding/decodedframe.h"

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
    if (m_runInfo.timeout() == 0)
        return;
    m_hold.report(newState);
    if (!m_hold.holding())
        m_presenceTimer.stop();
    else if (!m_presenceTimer.isActive())
        m_presenceTimer.start(m_hold.remainingMilliseconds());
}

void Application::timeoutChanged(double timeout)
{
    m_hold.setHoldSeconds(timeout);
    if (m_hold.holding())
        m_presenceTimer.start(m_hold.remainingMilliseconds());
    else
        m_presenceTimer.stop();
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
                            + QByteArray::number(distanceCentimetres(distance)) + ";\t" + (state ? "1" : "0") + ";\t\n";
    if (StandardOutput::instance().writeData(line))
        m_droppedLines.passed();
    else
        m_droppedLines.drop();
}

} // namespace Vantrel
