#include "platform/weavegraph/standin/flow.h"

#include "platform/weavegraph/standin/errors.h"
#include "platform/weavegraph/standin/textformat.h"

#include <cstdint>
#include <limits>

namespace Vantrel::Standin {
namespace {

constexpr double maxRate = 1000.0;
constexpr double maxSeconds = 1e6;
constexpr double maxDistance = 100.0;
constexpr double maxAngle = 90.0;

class FlowParser
{
public:
    explicit FlowParser(Flow &flow)
        : m_flow(flow)
    {
    }

    int parse(std::string_view text, std::string &error);

private:
    using Words = std::vector<std::string>;
    using Handler = bool (FlowParser::*)(const Words &);

    bool rate(const Words &w);
    bool output(const Words &w);
    bool scene(const Words &w);
    bool run(const Words &w);
    bool exitCode(const Words &w);
    bool replay(const Words &w);
    bool reject(const Words &w);
    bool log(const Words &w);
    bool linger(const Words &w);
    bool load(const Words &w);

    bool fail(const std::string &reason);
    bool once(const std::string &directive);
    template <typename Target>
    bool setOnce(const Words &w, const char *valueName, double maximum, Target &target);
    std::optional<double> number(const std::string &word, double minimum, double maximum, const char *what);
    std::optional<int64_t> integer(const std::string &word, int64_t minimum, int64_t maximum, const char *what);
    int check(std::string &error);

    Flow &m_flow;
    std::string m_reason;
    int m_code = Ok;
    std::vector<std::string> m_seen;
};

int FlowParser::parse(std::string_view text, std::string &error)
{
    if (text.size() > maxFlowSize) {
        error = "flow is larger than " + std::to_string(maxFlowSize) + " bytes";
        return FlowTooLarge;
    }
    std::vector<TextLine> lines;
    if (!splitLines(text, lines, error))
        return FlowSyntax;
    if (lines.empty() || lines.front().words != Words{"weaveflow", "1"}) {
        error = "flow must begin with \"weaveflow 1\"";
        return FlowIncomplete;
    }
    static const std::pair<const char *, Handler> handlers[] = {
        {"rate", &FlowParser::rate},     {"output", &FlowParser::output}, {"scene", &FlowParser::scene},
        {"run", &FlowParser::run},       {"exit", &FlowParser::exitCode}, {"replay", &FlowParser::replay},
        {"reject", &FlowParser::reject}, {"log", &FlowParser::log},       {"linger", &FlowParser::linger},
        {"load", &FlowParser::load},
    };
    for (size_t i = 1; i < lines.size(); ++i) {
        const TextLine &line = lines[i];
        Handler handler = nullptr;
        for (const auto &[name, candidate] : handlers)
            if (line.words[0] == name)
                handler = candidate;
        m_code = FlowSyntax;
        const bool ok = handler ? (this->*handler)(line.words) : fail("unknown directive \"" + line.words[0] + "\"");
        if (!ok) {
            error = "line " + std::to_string(line.number) + ": " + m_reason;
            return m_code;
        }
    }
    return check(error);
}

int FlowParser::check(std::string &error)
{
    if (m_flow.replay && !m_flow.outputs.empty()) {
        error = "a flow either replays a recording or simulates outputs, not both";
        return FlowIncomplete;
    }
    if (m_flow.replay && (m_flow.frameRate || !m_flow.scene.empty())) {
        error = "rate and scene have no meaning in a replaying flow";
        return FlowIncomplete;
    }
    if (!m_flow.replay && m_flow.outputs.empty()) {
        error = "flow has no output and no replay";
        return FlowIncomplete;
    }
    if (m_flow.rejectCode != 0) {
        error = "flow refused as its reject directive asks";
        return m_flow.rejectCode;
    }
    return Ok;
}

bool FlowParser::fail(const std::string &reason)
{
    m_reason = reason;
    return false;
}

bool FlowParser::once(const std::string &directive)
{
    for (const std::string &seen : m_seen)
        if (seen == directive)
            return fail("\"" + directive + "\" given twice");
    m_seen.push_back(directive);
    return true;
}

std::optional<double> FlowParser::number(const std::string &word, double minimum, double maximum, const char *what)
{
    const auto value = parseNumber(word);
    if (!value || *value < minimum || *value > maximum) {
        fail(std::string(what) + " must be a number from " + formatNumber(minimum) + " to " + formatNumber(maximum)
             + ", not \"" + word + "\"");
        return std::nullopt;
    }
    return value;
}

std::optional<int64_t> FlowParser::integer(const std::string &word, int64_t minimum, int64_t maximum, const char *what)
{
    const auto value = parseInteger(word);
    if (!value || *value < minimum || *value > maximum) {
        fail(std::string(what) + " must be an integer from " + std::to_string(minimum) + " to "
             + std::to_string(maximum) + ", not \"" + word + "\"");
        return std::nullopt;
    }
    return value;
}

// A "<directive> <value>" line that may come once, its value from 0 to maximum.
template <typename Target>
bool FlowParser::setOnce(const Words &w, const char *valueName, double maximum, Target &target)
{
    if (w.size() != 2)
        return fail("expected \"" + w[0] + " <" + valueName + ">\"");
    const auto value = number(w[1], 0.0, maximum, w[0].c_str());
    if (!value || !once(w[0]))
        return false;
    target = *value;
    return true;
}

bool FlowParser::rate(const Words &w)
{
    return setOnce(w, "frames per second", maxRate, m_flow.frameRate);
}

bool FlowParser::output(const Words &w)
{
    if (w.size() != 2 && w.size() != 3)
        return fail("expected \"output <kind> [<id>]\"");
    const OutputKindInfo *info = findOutputKind(w[1]);
    if (!info)
        return fail("unknown output kind \"" + w[1] + "\"");
    uint32_t id = info->ids.front();
    if (w.size() == 3) {
        const auto value = integer(w[2], 0, std::numeric_limits<uint32_t>::max(), "output id");
        if (!value)
            return false;
        id = static_cast<uint32_t>(*value);
    }
    for (const Output &existing : m_flow.outputs)
        if (existing.id == id)
            return fail("output id " + hexId(id) + " given twice");
    m_flow.outputs.push_back({info->kind, id});
    return true;
}

bool FlowParser::scene(const Words &w)
{
    ScenePhase phase;
    const bool standing = w.size() >= 2 && w[1] == "present";
    const bool walking = w.size() >= 2 && w[1] == "walk";
    const bool absent = w.size() >= 2 && w[1] == "absent";
    if (!((standing && (w.size() == 4 || w.size() == 5)) || (walking && (w.size() == 5 || w.size() == 6))
          || (absent && w.size() == 3)))
        return fail("expected \"scene present <seconds> <metres> [<degrees>]\", "
                    "\"scene walk <seconds> <from metres> <to metres> [<degrees>]\" or \"scene absent <seconds>\"");
    const auto seconds = number(w[2], 0.001, maxSeconds, "phase length");
    if (!seconds)
        return false;
    phase.seconds = *seconds;
    phase.kind = standing ? ScenePhase::Present : walking ? ScenePhase::Walk : ScenePhase::Absent;
    if (!absent) {
        const auto from = number(w[3], 0.0, maxDistance, "distance");
        if (!from)
            return false;
        phase.from = phase.to = *from;
        size_t next = 4;
        if (walking) {
            const auto to = number(w[next++], 0.0, maxDistance, "distance");
            if (!to)
                return false;
            phase.to = *to;
        }
        if (next < w.size()) {
            const auto angle = number(w[next], -maxAngle, maxAngle, "angle");
            if (!angle)
                return false;
            phase.angle = *angle;
        }
    }
    m_flow.scene.push_back(phase);
    return true;
}

bool FlowParser::run(const Words &w)
{
    if (w.size() != 3 || (w[1] != "frames" && w[1] != "seconds"))
        return fail("expected \"run frames <count>\" or \"run seconds <seconds>\"");
    if (w[1] == "frames") {
        const auto frames = integer(w[2], 1, std::numeric_limits<int64_t>::max(), "frame count");
        if (!frames)
            return false;
        m_flow.length = {RunLength::Frames, static_cast<uint64_t>(*frames), 0};
    } else {
        const auto seconds = number(w[2], 0.001, maxSeconds, "run length");
        if (!seconds)
            return false;
        m_flow.length = {RunLength::Seconds, 0, *seconds};
    }
    return once("run");
}

bool FlowParser::exitCode(const Words &w)
{
    if (w.size() != 2)
        return fail("expected \"exit <code>\"");
    const auto code =
        integer(w[1], std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), "exit code");
    if (!code || !once("exit"))
        return false;
    m_flow.exitCode = static_cast<int>(*code);
    return true;
}

bool FlowParser::replay(const Words &w)
{
    if (w.size() != 3)
        return fail("expected \"replay <output id> <recording path>\"");
    const auto id = integer(w[1], 0, std::numeric_limits<uint32_t>::max(), "output id");
    if (!id || !once("replay"))
        return false;
    Replay replay;
    replay.id = static_cast<uint32_t>(*id);
    std::string error;
    const int result = loadRecording(w[2], replay.recording, error);
    if (result != Ok) {
        m_code = result;
        return fail(error);
    }
    m_flow.replay = std::move(replay);
    return true;
}

bool FlowParser::reject(const Words &w)
{
    const int32_t lowest = std::numeric_limits<int32_t>::min();
    const int32_t highest = std::numeric_limits<int32_t>::max();
    if (w.size() == 3 && w[1] == "flow") {
        const auto code = integer(w[2], lowest, highest, "reject code");
        if (!code || !once("reject flow"))
            return false;
        if (*code == 0)
            return fail("reject code must not be 0");
        m_flow.rejectCode = static_cast<int>(*code);
        return true;
    }
    if (w.size() == 4 && w[1] == "parameters") {
        const auto call = integer(w[2], 1, highest, "parameter set number");
        const auto code = call ? integer(w[3], lowest, highest, "reject code") : std::nullopt;
        if (!code)
            return false;
        if (*code == 0)
            return fail("reject code must not be 0");
        if (!m_flow.parameterRejects.emplace(static_cast<uint32_t>(*call), static_cast<int>(*code)).second)
            return fail("parameter set " + w[2] + " rejected twice");
        return true;
    }
    return fail("expected \"reject flow <code>\" or \"reject parameters <set number> <code>\"");
}

bool FlowParser::log(const Words &w)
{
    if (w.size() < 3)
        return fail("expected \"log <level> <message>\"");
    const auto level = integer(w[1], 1, 7, "log level");
    if (!level)
        return false;
    std::string message = w[2];
    for (size_t i = 3; i < w.size(); ++i)
        message += " " + w[i];
    m_flow.logs.push_back({static_cast<uint32_t>(*level), message});
    return true;
}

bool FlowParser::linger(const Words &w)
{
    return setOnce(w, "seconds", maxSeconds, m_flow.lingerSeconds);
}

bool FlowParser::load(const Words &w)
{
    return setOnce(w, "seconds", maxSeconds, m_flow.loadSeconds);
}

} // namespace

int parseFlow(std::string_view text, Flow &flow, std::string &error)
{
    Flow parsed;
    FlowParser parser(parsed);
    const int result = parser.parse(text, error);
    if (result == Ok)
        flow = std::move(parsed);
    return result;
}

} // namespace Vantrel::Standin
