// Records every log message written while it exists, for exact checks of texts and order.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <QtGlobal>

#include "qtprinters.h"

namespace Vantrel::Test {

struct LogRecord
{
    QtMsgType type;
    QString text;
};

class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const QVector<LogRecord> &records() const { return m_records; }
    QStringList texts() const;
    QStringList texts(QtMsgType type) const;
    void clear() { m_records.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QVector<LogRecord> m_records;
    QtMessageHandler m_previous;
};

} // namespace Vantrel::Test
