// Records every log message written while it exists, for exact checks of texts, types and order.
#pragma once

#include "tests/support/qtprinters.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <ostream>
#include <vector>

namespace Vantrel::Test {

struct LogRecord
{
    QtMsgType type;
    QString text;

    bool operator==(const LogRecord &other) const { return type == other.type && text == other.text; }
};

void PrintTo(const LogRecord &record, std::ostream *out);

// Takes the place of the message handler while it exists; messages may come from any thread.
// A capture made while another exists takes over until it goes away.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<LogRecord> records() const;
    QStringList texts() const;
    QStringList texts(QtMsgType type) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    std::vector<LogRecord> m_records;
    LogCapture *m_outer;
    QtMessageHandler m_previous;
};

} // namespace Vantrel::Test
