#pragma once

#include <QString>
#include <QtGlobal>

#include <ostream>
#include <vector>

struct LogRecord
{
    QtMsgType type;
    QString text;

    bool operator==(const LogRecord &other) const { return type == other.type && text == other.text; }
};

void PrintTo(const LogRecord &record, std::ostream *out);

// Collects every log record of the process; records may come from any thread.
namespace LogCapture {
void install();
void clear();
std::vector<LogRecord> records();
} // namespace LogCapture
