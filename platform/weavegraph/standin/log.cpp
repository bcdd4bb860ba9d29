#include "platform/weavegraph/standin/log.h"

#include <mutex>

namespace Vantrel::Standin {
namespace {

std::mutex loggerMutex;
weavegraph_logger_fn currentLogger = nullptr;
void *currentContext = nullptr;

} // namespace

void setLogger(weavegraph_logger_fn logger, void *context)
{
    std::lock_guard<std::mutex> lock(loggerMutex);
    currentLogger = logger;
    currentContext = context;
}

void log(uint32_t level, const std::string &message)
{
    weavegraph_logger_fn logger;
    void *context;
    {
        std::lock_guard<std::mutex> lock(loggerMutex);
        logger = currentLogger;
        context = currentContext;
    }
    // Called outside the lock so that a logger may itself call back into the runtime.
    if (logger)
        logger(context, level, message.c_str());
}

} // namespace Vantrel::Standin
