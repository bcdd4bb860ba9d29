// Presence reports: the lifecycle step on the first one, the presence hold timer and the stdout line.
#include "app/application.h"

#include "app/standardoutput.h"
#include "decoding/decodedframe.h"

#include <QDebug>

#include <algorithm>
#include <charconv>

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
    // Formatted in place, with one allocation, since it runs for every frame. Room for the longest
    // line: 20 + 2 + 10 + 6 characters.
    QByteArray line(38, Qt::Uninitialized);
    char *const lineEnd = line.data() + line.size();
    char *end = std::to_chars(line.data(), lineEnd, static_cast<qint64>(timestamp)).ptr;
    end = std::copy_n(";\t", 2, end);
    end = std::to_chars(end, lineEnd, distanceCentimetres(distance)).ptr;
    end = std::copy_n(state ? ";\t1;\t\n" : ";\t0;\t\n", 6, end);
    line.truncate(int(end - line.constData()));
    if (StandardOutput::instance().writeData(std::move(line)))
        m_droppedLines.passed();
    else
        m_droppedLines.drop();
}

} // namespace Vantrel
