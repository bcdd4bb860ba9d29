// The C entry points of the stand-in runtime: argument checks, instance state and logging.
#include "platform/weavegraph/weavegraph.h"

#include "platform/weavegraph/standin/errors.h"
#include "platform/weavegraph/standin/files.h"
#include "platform/weavegraph/standin/flow.h"
#include "platform/weavegraph/standin/flowrun.h"
#include "platform/weavegraph/standin/log.h"
#include "platform/weavegraph/standin/parb.h"
#include "platform/weavegraph/standin/textformat.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

using namespace Vantrel::Standin;

// Only the C interface leaves the library; the version script hides everything else too.
#define WG_EXPORT __attribute__((visibility("default")))

struct weavegraph
{
    weavegraph_frame_fn onFrame = nullptr;
    void *frameContext = nullptr;
    std::unique_ptr<Flow> flow;
    Settings settings;
    uint32_t parameterCalls = 0;
    std::atomic<bool> running{false};
};

namespace {

constexpr weavegraph_version_t version = {6, 4, 53};

int refuse(int code, const std::string &message)
{
    log(LogError, message + " (code " + std::to_string(code) + ")");
    return code;
}

// Marks the instance busy for the lifetime of the guard; a second user is refused.
class BusyGuard
{
public:
    explicit BusyGuard(weavegraph_t *graph)
        : m_graph(graph)
        , m_owned(!graph->running.exchange(true))
    {
    }
    ~BusyGuard()
    {
        if (m_owned)
            m_graph->running = false;
    }
    bool owned() const { return m_owned; }

private:
    weavegraph_t *m_graph;
    bool m_owned;
};

} // namespace

extern "C" {

WG_EXPORT weavegraph_t *weavegraph_create(const void *, const void *)
{
    return new weavegraph;
}

WG_EXPORT void weavegraph_delete(weavegraph_t *graph)
{
    delete graph;
}

WG_EXPORT weavegraph_version_t weavegraph_get_version(void)
{
    return version;
}

WG_EXPORT int weavegraph_set_logger(weavegraph_logger_fn logger, void *context)
{
    setLogger(logger, context);
    return Ok;
}

WG_EXPORT int weavegraph_set_host_services(weavegraph_t *graph, const weavegraph_host_services_t *services,
                                           void *context)
{
    if (!graph)
        return refuse(BadArgument, "set_host_services: no instance");
    BusyGuard guard(graph);
    if (!guard.owned())
        return refuse(Busy, "set_host_services: the instance is running");
    graph->onFrame = services ? services->on_frame : nullptr;
    graph->frameContext = context;
    return Ok;
}

WG_EXPORT int weavegraph_parse_flow_linear(weavegraph_t *graph, const uint8_t *flow, size_t size)
{
    if (!graph || (!flow && size > 0))
        return refuse(BadArgument, "parse_flow_linear: no instance or no flow bytes");
    BusyGuard guard(graph);
    if (!guard.owned())
        return refuse(Busy, "parse_flow_linear: the instance is running");
    // A refused flow leaves the instance without one, so a stale flow never runs by mistake.
    graph->flow.reset();
    graph->parameterCalls = 0;
    graph->settings = Settings();
    auto parsed = std::make_unique<Flow>();
    std::string error;
    const int result = parseFlow(std::string_view(reinterpret_cast<const char *>(flow), size), *parsed, error);
    if (result != Ok)
        return refuse(result, "flow rejected: " + error);
    if (parsed->loadSeconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(parsed->loadSeconds));
    if (parsed->frameRate)
        graph->settings.frameRate = *parsed->frameRate;
    graph->flow = std::move(parsed);
    log(LogDebug, "flow accepted");
    return Ok;
}

WG_EXPORT int weavegraph_load_flow_linear(weavegraph_t *graph, const char *path)
{
    if (!graph || !path)
        return refuse(BadArgument, "load_flow_linear: no instance or no path");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readWholeFile(path, maxFlowSize, bytes, error))
        return refuse(FlowUnreadable, "load_flow_linear: " + error);
    return weavegraph_parse_flow_linear(graph, bytes.data(), bytes.size());
}

WG_EXPORT int weavegraph_set_parameters(weavegraph_t *graph, const uint8_t *parameters, size_t size)
{
    if (!graph || (!parameters && size > 0))
        return refuse(BadArgument, "set_parameters: no instance or no parameter bytes");
    BusyGuard guard(graph);
    if (!guard.owned())
        return refuse(Busy, "set_parameters: the instance is running");
    if (!graph->flow)
        return refuse(NoFlow, "set_parameters: no flow has been accepted");
    const uint32_t call = ++graph->parameterCalls;
    const auto staged = graph->flow->parameterRejects.find(call);
    if (staged != graph->flow->parameterRejects.end())
        return refuse(staged->second, "parameter set " + std::to_string(call) + " refused as the flow asks");
    std::vector<ParbEntry> entries;
    std::string error;
    const int result = decodeParb(parameters, size, entries, error);
    if (result != Ok)
        return refuse(result, "parameter set " + std::to_string(call) + " rejected: " + error);
    applyParb(entries, graph->settings);
    log(LogDebug, "parameter set " + std::to_string(call) + " applied");
    return Ok;
}

WG_EXPORT int weavegraph_run(weavegraph_t *graph, weavegraph_should_stop_fn should_stop, void *context)
{
    if (!graph)
        return refuse(BadArgument, "run: no instance");
    BusyGuard guard(graph);
    if (!guard.owned())
        return refuse(Busy, "run: the instance is already running");
    if (!graph->flow)
        return refuse(NoFlow, "run: no flow has been accepted");
    std::set<uint32_t> refusedIds;
    FlowRun run(*graph->flow, graph->settings, [graph, &refusedIds](uint32_t id, const uint8_t *frame, size_t size) {
        if (!graph->onFrame)
            return;
        const int answer = graph->onFrame(graph->frameContext, id, frame, static_cast<int32_t>(size));
        if (answer != 0 && refusedIds.insert(id).second)
            log(LogDebug, "host answered " + std::to_string(answer) + " to a frame of output " + hexId(id));
    });
    return run.exec(should_stop, context);
}

} // extern "C"
