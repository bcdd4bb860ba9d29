// The process-wide log sink of the stand-in: one logger for every instance, as the C interface has it.
#ifndef WEAVEGRAPH_STANDIN_LOG_H
#define WEAVEGRAPH_STANDIN_LOG_H

#include "platform/weavegraph/weavegraph.h"

#include <string>

namespace Vantrel::Standin {

// Smaller is more important, as the host expects.
enum LogLevel : uint32_t { LogError = 1, LogInfo = 2, LogDebug = 3 };

void setLogger(weavegraph_logger_fn logger, void *context);
void log(uint32_t level, const std::string &message);

} // namespace Vantrel::Standin

#endif
