#include "app/logging.h"

#include "process/exitstatus.h"
#include "process/journalstream.h"

#include "app/application.h"

#include <cstdio>
#include <cstdlib>
#include <syslog.h>
#include <unistd.h>

namespace Vantrel {

namespace {

thread_local int recordPriority = LOG_ERR;

// The fatal lines' prefix, when standard error is the journal.
const char *fatalPrefix()
{
    return isJournalStream(STDERR_FILENO) ? "<2>" : "";
}

} // namespace

int journalPriority(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_ERR;
    case QtFatalMsg:
        return LOG_CRIT;
    case QtInfoMsg:
    default:
        return LOG_INFO;
    }
}

int currentJournalPriority()
{
    return recordPriority;
}

JournalPriorityScope::JournalPriorityScope(int priority)
    : m_previous(recordPriority)
{
    recordPriority = priority;
}

JournalPriorityScope::~JournalPriorityScope()
{
    recordPriority = m_previous;
}

int leastLogLevel(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 3;
    case QtWarningMsg:
        return 1;
    case QtCriticalMsg:
        return 0;
    case QtInfoMsg:
    default:
        return 2;
    }
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray text = message.toLocal8Bit();
    auto *application = qobject_cast<Application *>(QCoreApplication::instance());
    if (!application) {
        std::fprintf(stderr, "%s# fatal error: %s\n", fatalPrefix(), text.constData());
        _exit(code(ExitStatus::SyntaxError));
    }
    if (type == QtFatalMsg) {
        const char *prefix = fatalPrefix();
        std::fprintf(stderr, "%s# %s fatal error: %s\n", prefix,
                     QCoreApplication::applicationName().toLocal8Bit().constData(), text.constData());
        if (context.file && context.function)
            std::fprintf(stderr, "%s# Context: file: %s, function: %s\n", prefix, context.file, context.function);
        std::exit(code(ExitStatus::SyntaxError));
    }
    if (application->logLevel() >= leastLogLevel(type)) {
        const JournalPriorityScope priority(journalPriority(type));
        Q_EMIT application->writeLogMessage(message);
    }
}

QByteArray logLine(const QString &message)
{
    return "# " + QString(message).replace(QLatin1Char('\n'), QStringLiteral("\n# ")).toUtf8() + '\n';
}

QByteArray logLine(const QString &message, int journalPriority)
{
    const QString prefix = QStringLiteral("<%1># ").arg(journalPriority);
    return (prefix + QString(message).replace(QLatin1Char('\n'), QLatin1Char('\n') + prefix)).toUtf8() + '\n';
}

QByteArray outputLogLine(const QString &message, int journalPriority)
{
    return standardOutputIsJournal() ? logLine(message, journalPriority) : logLine(message);
}

} // namespace Vantrel
