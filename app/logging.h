#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace Vantrel {

// The least log level at which a message of this type is printed.
int leastLogLevel(QtMsgType type);

// The process-wide message handler: filters by the application's log level and hands the
// survivors to the application for printing; fatal messages go to standard error and end the process.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// A message as a log line on standard output: "# " before each of its lines, UTF-8, and a line end,
// so that no line of a message can pass for a data line.
QByteArray logLine(const QString &message);

} // namespace Vantrel
