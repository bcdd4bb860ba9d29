// Records the emissions of one signal as they arrive through a queued connection in the spy's own
// thread. Unlike QSignalSpy, which records on the emitting thread, it sees what a receiver on
// another thread sees: an emission whose payload types cannot be queued never arrives.
#pragma once

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QVariantList>

namespace Vantrel::Test {

class QueuedSignalSpy : public QObject
{
public:
    QueuedSignalSpy(const QObject *sender, const QMetaMethod &signal);

    bool isConnected() const { return m_connected; }
    const QList<QVariantList> &emissions() const { return m_emissions; }
    // Processes events until an emission has arrived or the time is up.
    bool wait(int timeoutMs);

    int qt_metacall(QMetaObject::Call call, int id, void **arguments) override;

private:
    QMetaMethod m_signal;
    bool m_connected = false;
    QList<QVariantList> m_emissions;
};

} // namespace Vantrel::Test
