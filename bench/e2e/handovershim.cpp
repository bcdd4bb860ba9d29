// Preloaded into vantrel-cli by the latency benchmark: stamps every frame with the monotonic clock as the
// runtime hands it over, before the program sees it, and writes "<frame timestamp ms> <monotonic ns>"
// lines to the file that VANTREL_HANDOVER_LOG names.
#include "platform/weavegraph/frame_generated.h"
#include "platform/weavegraph/weavegraph.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>

namespace {

weavegraph_frame_fn programCallback = nullptr;
std::FILE *stamps = nullptr; // written by the runtime's frame callback alone; closed by exit()

int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int stampFrame(void *context, uint32_t outputId, const uint8_t *frame, int32_t length)
{
    const int64_t handedOver = monotonicNs();
    if (stamps && frame && length > 8) {
        std::fprintf(stamps, "%" PRId64 " %" PRId64 "\n",
                     static_cast<int64_t>(Vantrel::Frames::GetSizePrefixedFrame(frame)->timestamp()), handedOver);
    }
    return programCallback(context, outputId, frame, length);
}

} // namespace

extern "C" int weavegraph_set_host_services(weavegraph_t *graph, const weavegraph_host_services_t *services,
                                            void *context)
{
    using Real = int (*)(weavegraph_t *, const weavegraph_host_services_t *, void *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "weavegraph_set_host_services"));
    if (!stamps) {
        if (const char *path = std::getenv("VANTREL_HANDOVER_LOG"))
            stamps = std::fopen(path, "w");
    }
    programCallback = services->on_frame;
    weavegraph_host_services_t stamped = *services;
    stamped.on_frame = &stampFrame;
    return real(graph, &stamped, context);
}
