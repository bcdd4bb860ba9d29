#pragma once

#include "framedispatcher.h"
#include "framesoptions.h"

#include <QObject>

#include <memory>

namespace Vantrel {

class FrameStream;
class JsonLines;

// vantrel-frames: the stream, the dispatcher and the outputs the options ask for, and how they end.
class FramesProgram : public QObject
{
    Q_OBJECT
public:
    explicit FramesProgram(FramesOptions options, QObject *parent = nullptr);
    ~FramesProgram() override;

    // Opens the stream and starts the outputs; false when that cannot be done (the message has
    // been logged).
    bool start();

Q_SIGNALS:
    // Everything has stopped; the program ends with this status.
    void finished(int status);

private:
    void finish(int status);
    void readSavedOptions();

    FramesOptions m_options;
    FrameDispatcher m_dispatcher;
    std::unique_ptr<JsonLines> m_json;
    FrameStream *m_stream = nullptr;
    bool m_finishing = false;
};

} // namespace Vantrel
