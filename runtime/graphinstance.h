#pragma once

#include "platform/weavegraph/weavegraph.h"

#include <QByteArray>
#include <QMutex>

namespace Vantrel {

// Owns one instance of the graph runtime and the flag that asks a run to end.
class GraphInstance
{
public:
    GraphInstance();
    ~GraphInstance();
    GraphInstance(const GraphInstance &) = delete;
    GraphInstance &operator=(const GraphInstance &) = delete;

    bool isValid() const;
    void setFrameCallback(weavegraph_frame_fn callback, void *context);

    int parseFlow(const QByteArray &flow);
    int setParameters(const QByteArray &parameters);
    // Blocks until the graph ends or a stop is requested.
    int run();

    void requestStop();
    void clearStopRequest();
    bool shouldStop();

private:
    static bool shouldStopCallback(void *context);

    weavegraph_t *m_handle;
    QMutex m_mutex;
    bool m_stopRequested = false;
};

} // namespace Vantrel
