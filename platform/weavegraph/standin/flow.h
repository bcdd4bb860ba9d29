// A parsed flow: what to emit, how often, from which scene or recording, for how long, and the
// faults to stage on the way.
#ifndef WEAVEGRAPH_STANDIN_FLOW_H
#define WEAVEGRAPH_STANDIN_FLOW_H

#include "platform/weavegraph/standin/outputkind.h"
#include "platform/weavegraph/standin/recording.h"
#include "platform/weavegraph/standin/scene.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Vantrel::Standin {

struct Output
{
    OutputKind kind;
    uint32_t id;
};

struct RunLength
{
    enum Kind { UntilStopped, Frames, Seconds };
    Kind kind = UntilStopped;
    uint64_t frames = 0;
    double seconds = 0;
};

struct Replay
{
    uint32_t id = 0;
    Recording recording;
};

struct LogDirective
{
    uint32_t level = 0;
    std::string message;
};

struct Flow
{
    std::optional<double> frameRate; // the flow's own rate; parameter sets may change it
    std::vector<Output> outputs;
    std::vector<ScenePhase> scene;
    RunLength length;
    int exitCode = 0;
    std::optional<Replay> replay;
    int rejectCode = 0; // nonzero: the flow itself is refused with it
    std::map<uint32_t, int> parameterRejects; // 1-based parameter set call -> code
    std::vector<LogDirective> logs;
    double lingerSeconds = 0;
    double loadSeconds = 0; // how long accepting this flow takes, as a slow runtime's loading would
};

constexpr size_t maxFlowSize = 1u << 20;

// Reads a whole flow. On failure returns a nonzero code with the reason, naming the line, in error.
// A well-formed flow with a "reject flow" directive returns that code.
int parseFlow(std::string_view text, Flow &flow, std::string &error);

} // namespace Vantrel::Standin

#endif
