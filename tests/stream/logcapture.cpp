#include "logcapture.h"

#include <mutex>

namespace {

std::mutex mutex;
std::vector<LogRecord> captured;

void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const std::lock_guard<std::mutex> lock(mutex);
    captured.push_back({type, text});
}

const char *typeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "?";
}

} // namespace

void PrintTo(const LogRecord &record, std::ostream *out)
{
    *out << typeName(record.type) << " \"" << record.text.toStdString() << '"';
}

namespace LogCapture {

void install()
{
    qInstallMessageHandler(handler);
}

void clear()
{
    const std::lock_guard<std::mutex> lock(mutex);
    captured.clear();
}

std::vector<LogRecord> records()
{
    const std::lock_guard<std::mutex> lock(mutex);
    return captured;
}

} // namespace LogCapture
