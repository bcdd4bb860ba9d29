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
// The same with the journal's priority in front of every line ("<4># ..."), so that journald files each
// line at its level.
QByteArray logLine(const QString &message, int journalPriority);
// The line as standard output takes it: with the priority only when standard output is the journal.
QByteArray outputLogLine(const QString &message, int journalPriority);

// The journal's (syslog's) priority of a message type.
int journalPriority(QtMsgType type);

// The priority of the record being logged on this thread. A record that did not come through the
// message handler is an error for the user (showError), and has that priority.
int currentJournalPriority();

// Gives the records logged on this thread within its lifetime a priority.
class JournalPriorityScope
{
public:
    explicit JournalPriorityScope(int priority);
    ~JournalPriorityScope();
    JournalPriorityScope(const JournalPriorityScope &) = delete;
    JournalPriorityScope &operator=(const JournalPriorityScope &) = delete;

private:
    int m_previous;
};

} // namespace Vantrel
