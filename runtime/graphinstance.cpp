#include "runtime/graphinstance.h"

#include <QMutexLocker>

namespace Vantrel {

GraphInstance::GraphInstance()
    : m_handle(weavegraph_create(nullptr, nullptr))
{
}

GraphInstance::~GraphInstance()
{
    if (m_handle)
        weavegraph_delete(m_handle);
}

bool GraphInstance::isValid() const
{
    return m_handle != nullptr;
}

void GraphInstance::setFrameCallback(weavegraph_frame_fn callback, void *context)
{
    // The runtime copies the table; it need not outlive the call.
    const weavegraph_host_services_t services{callback, nullptr};
    weavegraph_set_host_services(m_handle, &services, context);
}

int GraphInstance::parseFlow(const QByteArray &flow)
{
    return weavegraph_parse_flow_linear(m_handle, reinterpret_cast<const uint8_t *>(flow.constData()),
                                        static_cast<size_t>(flow.size()));
}

int GraphInstance::setParameters(const QByteArray &parameters)
{
    return weavegraph_set_parameters(m_handle, reinterpret_cast<const uint8_t *>(parameters.constData()),
                                     static_cast<size_t>(parameters.size()));
}

int GraphInstance::run()
{
    return weavegraph_run(m_handle, &GraphInstance::shouldStopCallback, this);
}

void GraphInstance::requestStop()
{
    QMutexLocker locker(&m_mutex);
    m_stopRequested = true;
}

void GraphInstance::clearStopRequest()
{
    QMutexLocker locker(&m_mutex);
    m_stopRequested = false;
}

bool GraphInstance::shouldStop()
{
    QMutexLocker locker(&m_mutex);
    return m_stopRequested;
}

bool GraphInstance::shouldStopCallback(void *context)
{
    return static_cast<GraphInstance *>(context)->shouldStop();
}

} // namespace Vantrel
