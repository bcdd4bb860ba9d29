// Splits the floor's cost per presence frame into what the stand-in runtime spends building the frame
// and what the floor spends copying, verifying, decoding and printing it.
#include "bench/e2e/presencefloor.h"
#include "platform/weavegraph/weavegraph.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int FramesPerRun = 10000;

std::string fullRateFlow(int frames)
{
    return "weaveflow 1\nrate 0\noutput human-presence\nrun frames " + std::to_string(frames) + "\n";
}

struct Graph
{
    weavegraph_t *handle = weavegraph_create(nullptr, nullptr);
    ~Graph() { weavegraph_delete(handle); }
};

// Runs a full-rate flow of the given length, handing every frame to the callback; the runtime's result.
int runFlow(int frames, weavegraph_frame_fn callback, void *context)
{
    Graph graph;
    const weavegraph_host_services_t services{callback, nullptr};
    weavegraph_set_host_services(graph.handle, &services, context);
    const std::string flow = fullRateFlow(frames);
    const int parsed =
        weavegraph_parse_flow_linear(graph.handle, reinterpret_cast<const uint8_t *>(flow.data()), flow.size());
    return parsed != 0 ? parsed : weavegraph_run(graph.handle, nullptr, nullptr);
}

int countFrame(void *context, uint32_t, const uint8_t *, int32_t)
{
    ++*static_cast<int64_t *>(context);
    return 0;
}

int keepFrame(void *context, uint32_t, const uint8_t *frame, int32_t length)
{
    static_cast<std::vector<uint8_t> *>(context)->assign(frame, frame + length);
    return 0;
}

int floorFrame(void *context, uint32_t, const uint8_t *frame, int32_t length)
{
    return static_cast<Vantrel::PresenceFloor *>(context)->handle(frame, length) ? 0 : 1;
}

struct NullOutput
{
    std::FILE *file = std::fopen("/dev/null", "w");
    ~NullOutput()
    {
        if (file)
            std::fclose(file);
    }
};

void BM_RuntimeOnly(benchmark::State &state)
{
    int64_t frames = 0;
    for (auto _ : state) {
        if (runFlow(FramesPerRun, countFrame, &frames) != 0) {
            state.SkipWithError("the runtime refused the flow");
            return;
        }
    }
    if (frames != FramesPerRun * state.iterations())
        state.SkipWithError("the runtime delivered a different number of frames");
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_RuntimeOnly)->Unit(benchmark::kMillisecond);

void BM_FloorHandle(benchmark::State &state)
{
    std::vector<uint8_t> frame;
    NullOutput out;
    if (!out.file || runFlow(1, keepFrame, &frame) != 0 || frame.empty()) {
        state.SkipWithError("no frame to handle");
        return;
    }
    Vantrel::PresenceFloor floor(out.file);
    for (auto _ : state)
        benchmark::DoNotOptimize(floor.handle(frame.data(), static_cast<int32_t>(frame.size())));
    if (floor.refused() != 0)
        state.SkipWithError("the floor refused the frame");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FloorHandle);

void BM_RuntimeAndFloor(benchmark::State &state)
{
    NullOutput out;
    if (!out.file) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    Vantrel::PresenceFloor floor(out.file);
    for (auto _ : state) {
        if (runFlow(FramesPerRun, floorFrame, &floor) != 0) {
            state.SkipWithError("the runtime refused the flow");
            return;
        }
    }
    if (floor.refused() != 0 || floor.printed() != uint64_t(FramesPerRun * state.iterations()))
        state.SkipWithError("the floor did not print every frame");
    state.SetItemsProcessed(int64_t(floor.printed()));
}
BENCHMARK(BM_RuntimeAndFloor)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
