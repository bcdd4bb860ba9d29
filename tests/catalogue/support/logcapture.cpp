#include "logcapture.h"

namespace Vantrel::Test {

namespace {
LogCapture *current = nullptr;
}

LogCapture::LogCapture()
{
    current = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    current = nullptr;
}

QStringList LogCapture::texts() const
{
    QStringList result;
    for (const LogRecord &record : m_records)
        result.append(record.text);
    return result;
}

QStringList LogCapture::texts(QtMsgType type) const
{
    QStringList result;
    for (const LogRecord &record : m_records) {
        if (record.type == type)
            result.append(record.text);
    }
    return result;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (current)
        current->m_records.append({type, text});
}

} // namespace Vantrel::Test
