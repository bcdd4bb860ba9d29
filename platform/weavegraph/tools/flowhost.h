// What the small programs that drive libWeaveGraph.so through its C interface share: reading the flow
// and parameter set files, and ending a run on SIGINT or SIGTERM.
#pragma once

#include <cstdint>
#include <vector>

namespace Vantrel::FlowHost {

bool readFile(const char *path, std::vector<uint8_t> &bytes);

// From now on SIGINT and SIGTERM ask the run to stop instead of ending the process at once.
void stopOnSignals();

// The runtime's should-stop callback: whether one of those signals has come.
bool shouldStop(void *);

} // namespace Vantrel::FlowHost
