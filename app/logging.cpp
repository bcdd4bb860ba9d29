#include "app/logging.h"

#include "process/exitstatus.h"

#include "app/application.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace Vantrel {

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
        std::fprintf(stderr, "# fatal error: %s\n", text.constData());
        _exit(code(ExitStatus::SyntaxError));
    }
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "# %s fatal error: %s\n", QCoreApplication::applicationName().toLocal8Bit().constData(),
                     text.constData());
        if (context.file && context.function)
            std::fprintf(stderr, "# Context: file: %s, function: %s\n", context.file, context.function);
        std::exit(code(ExitStatus::SyntaxError));
    }
    if (application->logLevel() >= leastLogLevel(type))
        Q_EMIT application->writeLogMessage(message);
}

QByteArray logLine(const QString &message)
{
    return "# " + QString(message).replace(QLatin1Char('\n'), QStringLiteral("\n# ")).toUtf8() + '\n';
}

} // namespace Vantrel
