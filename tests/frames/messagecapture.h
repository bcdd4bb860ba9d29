#pragma once

// Collects the program's log records while it is alive, in place of the normal message handler.

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

namespace Vantrel {
namespace Fixtures {

class MessageCapture
{
public:
    MessageCapture()
    {
        current() = this;
        m_previous = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    QStringList warnings() const { return take(m_warnings); }
    QStringList infos() const { return take(m_infos); }

private:
    static MessageCapture *&current()
    {
        static MessageCapture *capture = nullptr;
        return capture;
    }

    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        MessageCapture *capture = current();
        if (!capture)
            return;
        QMutexLocker locker(&capture->m_mutex);
        if (type == QtWarningMsg)
            capture->m_warnings << message;
        else if (type == QtInfoMsg)
            capture->m_infos << message;
    }

    QStringList take(const QStringList &list) const
    {
        QMutexLocker locker(&m_mutex);
        return list;
    }

    mutable QMutex m_mutex;
    QStringList m_warnings;
    QStringList m_infos;
    QtMessageHandler m_previous;
};

} // namespace Fixtures
} // namespace Vantrel
