// e2e_floor [--batch] [--fifo PATH] <flow> [<parb>...]: runs a flow through libWeaveGraph.so's C interface
// and prints the presence line of every frame, as the program's -s does, with nothing else on the way:
// each line flushed, or with --batch in writes of up to PIPE_BUF bytes, as the program writes lines that
// pile up at full rate. With --fifo, every frame's bytes are also written to the named pipe at PATH (made
// by the caller, opened once a reader has it), as the program's -p does. A summary goes to standard
// error; the status is nonzero when a step failed or a frame could not be printed.
#include "bench/e2e/presencefloor.h"
#include "platform/weavegraph/tools/flowhost.h"
#include "platform/weavegraph/weavegraph.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

void logError(void *, uint32_t level, const char *message)
{
    if (level == 1)
        std::fprintf(stderr, "runtime: %s\n", message ? message : "");
}

struct Outputs
{
    Vantrel::PresenceFloor floor;
    int fifo = -1;
};

// The whole frame, or nothing more once the reader has gone.
void writeAll(int &fd, const uint8_t *bytes, size_t size)
{
    while (fd >= 0 && size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

int onFrame(void *context, uint32_t, const uint8_t *frame, int32_t length)
{
    auto *outputs = static_cast<Outputs *>(context);
    if (!outputs->floor.handle(frame, length))
        return 1;
    writeAll(outputs->fifo, frame, static_cast<size_t>(length));
    return 0;
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
    const char *fifoPath = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "--fifo") == 0) {
        fifoPath = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: e2e_floor [--batch] [--fifo PATH] <flow> [<parb>...]\n");
        return 2;
    }
    Vantrel::FlowHost::stopOnSignals();
    weavegraph_set_logger(logError, nullptr);

    Graph graph;
    if (!graph.handle) {
        std::fprintf(stderr, "no runtime instance\n");
        return 1;
    }
    if (batch)
        std::setvbuf(stdout, nullptr, _IOFBF, PIPE_BUF);
    Outputs outputs{Vantrel::PresenceFloor(stdout, !batch)};
    if (fifoPath) {
        std::signal(SIGPIPE, SIG_IGN);
        outputs.fifo = ::open(fifoPath, O_WRONLY | O_CLOEXEC);
        if (outputs.fifo < 0) {
            std::perror(fifoPath);
            return 1;
        }
    }
    const weavegraph_host_services_t services{onFrame, nullptr};
    weavegraph_set_host_services(graph.handle, &services, &outputs);

    // The runtime may point into these bytes until the run returns.
    std::vector<std::vector<uint8_t>> inputs(static_cast<size_t>(argc - 1));
    for (int i = 1; i < argc; ++i) {
        if (!Vantrel::FlowHost::readFile(argv[i], inputs[static_cast<size_t>(i - 1)])) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
    }
    int code = weavegraph_parse_flow_linear(graph.handle, inputs[0].data(), inputs[0].size());
    for (size_t i = 1; code == 0 && i < inputs.size(); ++i)
        code = weavegraph_set_parameters(graph.handle, inputs[i].data(), inputs[i].size());
    if (code == 0)
        code = weavegraph_run(graph.handle, Vantrel::FlowHost::shouldStop, nullptr);

    std::fprintf(stderr, "frames printed %" PRIu64 ", refused %" PRIu64 ", result %d\n", outputs.floor.printed(),
                 outputs.floor.refused(), code);
    if (outputs.fifo >= 0)
        ::close(outputs.fifo);
    return code == 0 && outputs.floor.refused() == 0 ? 0 : 1;
}
