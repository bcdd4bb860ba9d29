#include "frames/framesoptions.h"
#include "frames/framesprogram.h"
#include "process/standarddescriptors.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

// Messages go to standard error, one line each, named after the program; standard output carries
// only the JSON lines.
void messageHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::fprintf(stderr, "vantrel-frames: %s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
    Vantrel::openClosedStandardDescriptors();
    qInstallMessageHandler(messageHandler);
    // A reader of standard output or a broker that goes away is an error to handle, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    // A recording past the file size limit is a failed write to handle too, with the lines still to write.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-frames"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));

    const Vantrel::FramesCommandLine commandLine = Vantrel::parseFramesCommandLine(QCoreApplication::arguments());
    if (!commandLine.options)
        return commandLine.status;
    Vantrel::FramesProgram program(*commandLine.options);
    QObject::connect(&program, &Vantrel::FramesProgram::finished, &application, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    if (const std::optional<int> status = program.start())
        return *status;
    return QCoreApplication::exec();
}
