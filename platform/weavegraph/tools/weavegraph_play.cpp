// weavegraph-play <flow> [<parb>...]: runs a flow through libWeaveGraph.so and prints one line per
// frame (output id, size, sequence number) until the flow ends or Ctrl-C. Runtime log lines start with "#".
#include "platform/weavegraph/frame_generated.h"
#include "platform/weavegraph/tools/flowhost.h"
#include "platform/weavegraph/weavegraph.h"

#include <cstdio>
#include <vector>

namespace {

using Vantrel::FlowHost::readFile;

void printLog(void *, uint32_t level, const char *message)
{
    std::printf("# %u %s\n", level, message);
    std::fflush(stdout);
}

int printFrame(void *, uint32_t id, const uint8_t *frame, int32_t length)
{
    flatbuffers::Verifier verifier(frame, size_t(length));
    if (Vantrel::Frames::VerifySizePrefixedFrameBuffer(verifier))
        std::printf("0x%08X %d %u\n", id, length, Vantrel::Frames::GetSizePrefixedFrame(frame)->sequenceNumber());
    else
        std::printf("0x%08X %d invalid\n", id, length);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: weavegraph-play <flow> [<parb>...]\n");
        return 2;
    }
    Vantrel::FlowHost::stopOnSignals();
    weavegraph_set_logger(printLog, nullptr);
    weavegraph_t *graph = weavegraph_create(nullptr, nullptr);
    const weavegraph_host_services_t services = {printFrame, nullptr};
    weavegraph_set_host_services(graph, &services, nullptr);
    const weavegraph_version_t version = weavegraph_get_version();
    std::printf("# runtime %u.%u.%u\n", version.major, version.minor, version.patch);

    int result = 0;
    std::vector<uint8_t> bytes;
    if (!readFile(argv[1], bytes)) {
        std::fprintf(stderr, "weavegraph-play: cannot read %s\n", argv[1]);
        result = -1;
    } else {
        result = weavegraph_parse_flow_linear(graph, bytes.data(), bytes.size());
    }
    for (int i = 2; i < argc && result == 0; ++i) {
        if (!readFile(argv[i], bytes)) {
            std::fprintf(stderr, "weavegraph-play: cannot read %s\n", argv[i]);
            result = -1;
        } else {
            result = weavegraph_set_parameters(graph, bytes.data(), bytes.size());
        }
    }
    if (result == 0)
        result = weavegraph_run(graph, Vantrel::FlowHost::shouldStop, nullptr);
    std::printf("# result %d\n", result);
    weavegraph_delete(graph);
    return result == 0 ? 0 : 1;
}
