#include "tests/platform/weavegraph/graphharness.h"

#include "platform/weavegraph/framevocabulary.h"

#include <zlib.h>

#include <cstring>

namespace Vantrel::Tests {

GraphHarness::GraphHarness()
    : m_graph(weavegraph_create(nullptr, nullptr))
{
    weavegraph_set_logger(&GraphHarness::onLog, this);
    const weavegraph_host_services_t services = {&GraphHarness::onFrame, nullptr};
    weavegraph_set_host_services(m_graph, &services, this);
}

GraphHarness::~GraphHarness()
{
    weavegraph_set_logger(nullptr, nullptr);
    weavegraph_delete(m_graph);
}

int GraphHarness::parse(const std::string &flow)
{
    return weavegraph_parse_flow_linear(m_graph, reinterpret_cast<const uint8_t *>(flow.data()), flow.size());
}

int GraphHarness::setParameters(const std::vector<uint8_t> &parb)
{
    return weavegraph_set_parameters(m_graph, parb.data(), parb.size());
}

int GraphHarness::run(std::function<bool(const GraphHarness &)> stopWhen)
{
    m_stopWhen = std::move(stopWhen);
    const auto start = std::chrono::steady_clock::now();
    const int result = weavegraph_run(m_graph, &GraphHarness::shouldStop, this);
    m_runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

std::vector<CapturedFrame> GraphHarness::frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

size_t GraphHarness::frameCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.size();
}

std::vector<LogLine> GraphHarness::logs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_logs;
}

bool GraphHarness::logged(uint32_t level, const std::string &fragment) const
{
    for (const LogLine &line : logs())
        if (line.level == level && line.message.find(fragment) != std::string::npos)
            return true;
    return false;
}

void GraphHarness::onLog(void *context, uint32_t level, const char *message)
{
    auto *self = static_cast<GraphHarness *>(context);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_logs.push_back({level, message});
}

int GraphHarness::onFrame(void *context, uint32_t id, const uint8_t *frame, int32_t length)
{
    auto *self = static_cast<GraphHarness *>(context);
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_frames.push_back({id, std::vector<uint8_t>(frame, frame + length), std::chrono::steady_clock::now()});
    }
    if (self->onEachFrame)
        self->onEachFrame(*self);
    return self->frameAnswer;
}

bool GraphHarness::shouldStop(void *context)
{
    auto *self = static_cast<GraphHarness *>(context);
    return self->m_stopWhen && self->m_stopWhen(*self);
}

const Frames::Frame *verifiedFrame(const std::vector<uint8_t> &bytes)
{
    flatbuffers::Verifier verifier(bytes.data(), bytes.size());
    if (!Frames::VerifySizePrefixedFrameBuffer(verifier))
        return nullptr;
    return Frames::GetSizePrefixedFrame(bytes.data());
}

const Frames::Signal *findSignal(const Frames::Frame *frame, uint32_t key)
{
    if (!frame || !frame->signals())
        return nullptr;
    for (const Frames::Signal *signal : *frame->signals())
        if (signal->semantic() == key)
            return signal;
    return nullptr;
}

const Frames::ArrayData *findArray(const Frames::Signal *signal, uint32_t key)
{
    if (!signal || !signal->arrays())
        return nullptr;
    for (const Frames::Array *array : *signal->arrays())
        if (array->semantic() == key)
            return array->data();
    return nullptr;
}

std::vector<int32_t> humanPresenceValues(const std::vector<uint8_t> &bytes)
{
    const Frames::Signal *signal = findSignal(verifiedFrame(bytes), Frames::Key::SignalSemanticHumanPresence);
    const Frames::ArrayData *data = findArray(signal, Frames::Key::ArraySemanticHumanPresence);
    if (!data || !data->int32Values())
        return {};
    return {data->int32Values()->begin(), data->int32Values()->end()};
}

namespace {

void appendU32(std::vector<uint8_t> &out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

} // namespace

std::vector<uint8_t> encodeParb(const std::vector<ParbEntry> &entries)
{
    std::vector<uint8_t> out = {'W', 'G', 'P', 'B', 1, 0, uint8_t(entries.size()), uint8_t(entries.size() >> 8)};
    for (const ParbEntry &entry : entries) {
        uint32_t bits;
        std::memcpy(&bits, &entry.value, sizeof bits);
        appendU32(out, entry.key);
        appendU32(out, bits);
    }
    appendU32(out, uint32_t(crc32(0L, out.data(), uInt(out.size()))));
    return out;
}

} // namespace Vantrel::Tests
