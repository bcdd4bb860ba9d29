#include "tests/support/logcapture.h"

#include <mutex>

namespace Vantrel::Test {

namespace {

// Guards the current capture and its records: the handler runs on whichever thread logs.
std::mutex guard;
LogCapture *current = nullptr;

const char *typeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

} // namespace

void PrintTo(const LogRecord &record, std::ostream *out)
{
    *out << typeName(record.type) << " \"" << record.text.toStdString() << '"';
}

LogCapture::LogCapture()
{
    {
        const std::lock_guard<std::mutex> lock(guard);
        m_outer = current;
        current = this;
    }
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    const std::lock_guard<std::mutex> lock(guard);
    current = m_outer;
}

std::vector<LogRecord> LogCapture::records() const
{
    const std::lock_guard<std::mutex> lock(guard);
    return m_records;
}

QStringList LogCapture::texts() const
{
    const std::lock_guard<std::mutex> lock(guard);
    QStringList result;
    for (const LogRecord &record : m_records)
        result.append(record.text);
    return result;
}

QStringList LogCapture::texts(QtMsgType type) const
{
    const std::lock_guard<std::mutex> lock(guard);
    QStringList result;
    for (const LogRecord &record : m_records) {
        if (record.type == type)
            result.append(record.text);
    }
    return result;
}

void LogCapture::clear()
{
    const std::lock_guard<std::mutex> lock(guard);
    m_records.clear();
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const std::lock_guard<std::mutex> lock(guard);
    if (current)
        current->m_records.push_back({type, text});
}

} // namespace Vantrel::Test
