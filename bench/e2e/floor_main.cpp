// e2e_floor [--batch] <flow> [<parb>...]: runs a flow through libWeaveGraph.so's C interface and prints
// the presence line of every frame, as the program's -s does, with nothing else on the way: each line
// flushed, or with --batch in writes of up to PIPE_BUF bytes, as the program writes lines that pile up at
// full rate. A summary goes to standard error; the status is nonzero when a step failed or a frame could
// not be printed.
#include "bench/e2e/presencefloor.h"
#include "platform/weavegraph/weavegraph.h"

#include <atomic>
#include <cinttypes>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int)
{
    interrupted = true;
}

bool readFile(const char *path, std::vector<uint8_t> &bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

void logError(void *, uint32_t level, const char *message)
{
    if (level == 1)
        std::fprintf(stderr, "runtime: %s\n", message ? message : "");
}

int onFrame(void *context, uint32_t, const uint8_t *frame, int32_t length)
{
    return static_cast<Vantrel::PresenceFloor *>(context)->handle(frame, length) ? 0 : 1;
}

bool shouldStop(void *)
{
    return interrupted;
}

struct Graph
{
    weavegraph_t *handle = weavegraph_create(nullptr, nullptr);
    ~Graph()
    {
        if (handle)
            weavegraph_delete(handle);
    }
};

} // namespace

int main(int argc, char **argv)
{
    const bool batch = argc > 1 && std::strcmp(argv[1], "--batch") == 0;
    if (batch) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: e2e_floor [--batch] <flow> [<parb>...]\n");
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    weavegraph_set_logger(logError, nullptr);

    Graph graph;
    if (!graph.handle) {
        std::fprintf(stderr, "no runtime instance\n");
        return 1;
    }
    if (batch)
        std::setvbuf(stdout, nullptr, _IOFBF, PIPE_BUF);
    Vantrel::PresenceFloor floor(stdout, !batch);
    const weavegraph_host_services_t services{onFrame, nullptr};
    weavegraph_set_host_services(graph.handle, &services, &floor);

    // The runtime may point into these bytes until the run returns.
    std::vector<std::vector<uint8_t>> inputs(static_cast<size_t>(argc - 1));
    for (int i = 1; i < argc; ++i) {
        if (!readFile(argv[i], inputs[static_cast<size_t>(i - 1)])) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
    }
    int code = weavegraph_parse_flow_linear(graph.handle, inputs[0].data(), inputs[0].size());
    for (size_t i = 1; code == 0 && i < inputs.size(); ++i)
        code = weavegraph_set_parameters(graph.handle, inputs[i].data(), inputs[i].size());
    if (code == 0)
        code = weavegraph_run(graph.handle, shouldStop, nullptr);

    std::fprintf(stderr, "frames printed %" PRIu64 ", refused %" PRIu64 ", result %d\n", floor.printed(),
                 floor.refused(), code);
    return code == 0 && floor.refused() == 0 ? 0 : 1;
}
