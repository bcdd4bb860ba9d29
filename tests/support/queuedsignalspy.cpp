#include "tests/support/queuedsignalspy.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace Vantrel::Test {

QueuedSignalSpy::QueuedSignalSpy(const QObject *sender, const QMetaMethod &signal)
    : m_signal(signal)
{
    // The spy's one receiving method is the first index past QObject's own methods (see qt_metacall).
    m_connected = QMetaObject::connect(sender, signal.methodIndex(), this, QObject::staticMetaObject.methodCount(),
                                       Qt::QueuedConnection);
}

bool QueuedSignalSpy::wait(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (m_emissions.isEmpty() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return !m_emissions.isEmpty();
}

int QueuedSignalSpy::qt_metacall(QMetaObject::Call call, int id, void **arguments)
{
    id = QObject::qt_metacall(call, id, arguments);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod)
        return id;
    if (id == 0) {
        QVariantList values;
        for (int i = 0; i < m_signal.parameterCount(); ++i)
            values << QVariant(m_signal.parameterType(i), arguments[i + 1]);
        m_emissions << values;
    }
    return id - 1;
}

} // namespace Vantrel::Test
