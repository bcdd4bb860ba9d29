// Drives the runtime through its C interface and records what comes back: log lines, frames, results.
#ifndef VANTREL_TESTS_GRAPHHARNESS_H
#define VANTREL_TESTS_GRAPHHARNESS_H

#include "platform/weavegraph/frame_generated.h"
#include "platform/weavegraph/weavegraph.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace Vantrel::Tests {

struct LogLine
{
    uint32_t level;
    std::string message;
};

struct CapturedFrame
{
    uint32_t id;
    std::vector<uint8_t> bytes;
    std::chrono::steady_clock::time_point arrival;
};

class GraphHarness
{
public:
    GraphHarness();
    ~GraphHarness();
    GraphHarness(const GraphHarness &) = delete;
    GraphHarness &operator=(const GraphHarness &) = delete;

    int parse(const std::string &flow);
    int setParameters(const std::vector<uint8_t> &parb);
    // Runs with a should-stop callback that asks stopWhen after every poll; none means never stop.
    int run(std::function<bool(const GraphHarness &)> stopWhen = {});

    weavegraph_t *graph() const { return m_graph; }
    std::vector<CapturedFrame> frames() const;
    size_t frameCount() const;
    std::vector<LogLine> logs() const;
    bool logged(uint32_t level, const std::string &fragment) const;
    double runSeconds() const { return m_runSeconds; }

    int frameAnswer = 0; // what the frame callback returns
    std::function<void(GraphHarness &)> onEachFrame; // called inside the frame callback

private:
    static void onLog(void *context, uint32_t level, const char *message);
    static int onFrame(void *context, uint32_t id, const uint8_t *frame, int32_t length);
    static bool shouldStop(void *context);

    weavegraph_t *m_graph;
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_logs;
    std::vector<CapturedFrame> m_frames;
    std::function<bool(const GraphHarness &)> m_stopWhen;
    double m_runSeconds = 0;
};

// Frame reading as the host does it: first signal or array with the key.
const Frames::Frame *verifiedFrame(const std::vector<uint8_t> &bytes);
const Frames::Signal *findSignal(const Frames::Frame *frame, uint32_t key);
const Frames::ArrayData *findArray(const Frames::Signal *signal, uint32_t key);
// The int32 values of a frame's human-presence array; empty when the frame fails the verifier or lacks them.
std::vector<int32_t> humanPresenceValues(const std::vector<uint8_t> &bytes);

// Writes a parameter set as the documented layout has it, checksum by zlib.
struct ParbEntry
{
    uint32_t key;
    float value;
};
std::vector<uint8_t> encodeParb(const std::vector<ParbEntry> &entries);

constexpr uint32_t keyFrameRate = 1, keyThreshold = 2, keyMaxRange = 3, keySource = 4;

} // namespace Vantrel::Tests

#endif
