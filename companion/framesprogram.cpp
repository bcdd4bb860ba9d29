#include "framesprogram.h"

#include "framestream.h"
#include "jsonlines.h"
#include "savedrunoptions.h"
#include "terminationsignals.h"

#include <QDebug>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Vantrel {

FramesProgram::FramesProgram(FramesOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_dispatcher(m_options.kinds, m_options.outputId)
{
}

FramesProgram::~FramesProgram() = default;

bool FramesProgram::start()
{
    if (m_options.json) {
        m_json = std::make_unique<JsonLines>(STDOUT_FILENO, [this](int error) {
            // A reader that has gone (as `head` does) is no fault; the program ends as it asked.
            if (error != EPIPE)
                qWarning().noquote()
                    << tr("Can't write to standard output: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
            QMetaObject::invokeMethod(
                this, [this, error] { finish(error == EPIPE ? 0 : 1); }, Qt::QueuedConnection);
        });
        m_dispatcher.addListener(m_json.get());
    }
    auto *signals_ = new TerminationSignals(this);
    connect(signals_, &TerminationSignals::terminationRequested, this, [this] { finish(0); });

    m_stream = new FrameStream(m_dispatcher, this);
    connect(m_stream, &FrameStream::opened, this, &FramesProgram::readSavedOptions);
    connect(m_stream, &FrameStream::finished, this, &FramesProgram::finish);
    QString error;
    if (!m_stream->open(m_options.source, m_options.follow, m_options.recordPath, error)) {
        qWarning().noquote() << error;
        return false;
    }
    return true;
}

void FramesProgram::finish(int status)
{
    if (m_finishing)
        return;
    m_finishing = true;
    if (m_json)
        m_json->flush();
    Q_EMIT finished(status);
}

void FramesProgram::readSavedOptions()
{
    if (m_options.optionsPath.isEmpty())
        return;
    QString error;
    const std::optional<SavedRunOptions> saved = SavedRunOptions::read(m_options.optionsPath, error);
    if (!saved) {
        qWarning().noquote() << tr("Can't read the saved options %1: %2").arg(m_options.optionsPath, error);
        return;
    }
}

} // namespace Vantrel
