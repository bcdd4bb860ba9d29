// Run control: start-up from the command line to a running graph, and stopping it again.
#include "application.h"

namespace Vantrel {

void Application::init()
{
    setupOptions();
    m_parser.parse(arguments());
    readLogLevel();
    m_parser.process(arguments());
}

// The bodies below arrive with the runner, the catalogue and the output.
void Application::startCLI() {}
bool Application::start() { return false; }
void Application::stop() {}
void Application::weaveGraphStopped() {}
void Application::openNamedPipe() {}
void Application::setLoadAlgorithms() {}
void Application::loadAlgorithms() {}
void Application::connectFlowRunner() {}
void Application::disconnectFlowRunner() {}
void Application::checkParams() {}
void Application::writeParametersToJson() {}
void Application::updateState(bool, uint32_t, uint32_t, int64_t, uint32_t) {}
void Application::logState(bool, uint32_t, uint32_t, int64_t, uint32_t) {}
void Application::updatePresenceTimerState(bool) {}
void Application::timeoutChanged(double) {}

} // namespace Vantrel
