#include "platform/weavegraph/tools/flowhost.h"

#include <csignal>
#include <fstream>
#include <iterator>

namespace Vantrel::FlowHost {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int)
{
    interrupted = 1;
}

} // namespace

bool readFile(const char *path, std::vector<uint8_t> &bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

void stopOnSignals()
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

bool shouldStop(void *)
{
    return interrupted != 0;
}

} // namespace Vantrel::FlowHost
