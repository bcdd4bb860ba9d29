// Pacing of the stand-in runtime at 20 Hz over 5 s, and how long a stop request takes to end a run.
#include "platform/weavegraph/weavegraph.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Run
{
    std::vector<Clock::time_point> arrivals;
    std::atomic<bool> stop{false};
};

int onFrame(void *context, uint32_t, const uint8_t *, int32_t)
{
    static_cast<Run *>(context)->arrivals.push_back(Clock::now());
    return 0;
}

bool shouldStop(void *context)
{
    return static_cast<Run *>(context)->stop.load();
}

weavegraph_t *graphFor(const std::string &flow, Run &run)
{
    weavegraph_t *graph = weavegraph_create(nullptr, nullptr);
    const weavegraph_host_services_t services = {onFrame, nullptr};
    weavegraph_set_host_services(graph, &services, &run);
    weavegraph_parse_flow_linear(graph, reinterpret_cast<const uint8_t *>(flow.data()), flow.size());
    return graph;
}

void MeanFramePeriodAt20Hz(benchmark::State &state)
{
    double meanMs = 0, worstMs = 0;
    for (auto _ : state) {
        Run run;
        weavegraph_t *graph = graphFor("weaveflow 1\nrate 20\noutput human-presence\nrun seconds 5\n", run);
        const auto start = Clock::now();
        weavegraph_run(graph, shouldStop, &run);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        weavegraph_delete(graph);
        const auto &a = run.arrivals;
        meanMs = std::chrono::duration<double, std::milli>(a.back() - a.front()).count() / double(a.size() - 1);
        for (size_t i = 1; i < a.size(); ++i)
            worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(a[i] - a[i - 1]).count());
        state.counters["frames"] = double(a.size());
    }
    state.counters["mean_period_ms"] = meanMs;
    state.counters["deviation_pct"] = (meanMs - 50.0) / 50.0 * 100.0;
    state.counters["longest_period_ms"] = worstMs;
}
BENCHMARK(MeanFramePeriodAt20Hz)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The request lands at varied points of a long frame period; latency is request to return.
void StopLatency(benchmark::State &state)
{
    const std::string flow = "weaveflow 1\nrate " + std::to_string(state.range(0)) + "\noutput human-presence\n";
    std::vector<double> latencies;
    int round = 0;
    for (auto _ : state) {
        Run run;
        weavegraph_t *graph = graphFor(flow, run);
        Clock::time_point asked;
        std::thread stopper([&run, &asked, round] {
            std::this_thread::sleep_for(std::chrono::milliseconds(120 + 37 * (round % 11)));
            asked = Clock::now();
            run.stop = true;
        });
        weavegraph_run(graph, shouldStop, &run);
        const auto returned = Clock::now();
        stopper.join();
        weavegraph_delete(graph);
        const double ms = std::chrono::duration<double, std::milli>(returned - asked).count();
        state.SetIterationTime(ms / 1000.0);
        latencies.push_back(ms);
        ++round;
    }
    double sum = 0;
    for (double ms : latencies)
        sum += ms;
    state.counters["mean_latency_ms"] = sum / double(latencies.size());
    state.counters["max_latency_ms"] = *std::max_element(latencies.begin(), latencies.end());
}
BENCHMARK(StopLatency)->Arg(1)->Arg(20)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
