// Feeds arbitrary bytes through vantrel-frames' stream path: splitting into frames, dispatching,
// the sensor's state, JSON lines. Input: a configuration byte (bits 0-6 choose the output id frames are decoded under,
// 0 telling it from each frame; bit 7 narrows the wanted kinds), three 16-bit little-endian cut
// positions that split the stream into the chunks it arrives in, then the stream itself.
//
// Besides what the sanitizers see, it checks what readers of the stream rely on: frames come whole,
// aligned, in order and back to back, however the stream was chunked, and every JSON line is one line.

#include "frames/json/jsonline.h"
#include "frames/input/framedispatcher.h"
#include "frames/input/framesplitter.h"
#include "frames/json/jsonframes.h"
#include "frames/state/sensorstate.h"
#include "tests/fuzz/fuzzoutputids.h"

#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Vantrel::FrameSplitter;

constexpr size_t HeaderSize = 7;

void quiet(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// Fails the input the way a sanitizer would, with or without libFuzzer.
void check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "stream fuzzer: %s\n", what);
    std::abort();
}

uint32_t prefixOf(const uint8_t *bytes)
{
    uint32_t size;
    std::memcpy(&size, bytes, sizeof size);
    return size;
}

class CheckedLines final : public Vantrel::JsonLineSink
{
public:
    void line(std::string_view line, const Vantrel::DecodedFrame &) override
    {
        check(!line.empty() && line.back() == '\n', "a JSON line does not end with a line feed");
        check(line.find('\n') == line.size() - 1, "a JSON line holds a line feed before its end");
    }
};

struct Handed
{
    uint64_t offset;
    size_t length;
    bool operator==(const Handed &other) const { return offset == other.offset && length == other.length; }
};

// What a splitter handed over, and whether it gave up on the stream.
struct Outcome
{
    std::vector<Handed> frames;
    bool oversized = false;
};

// Splits the stream as it arrives in the given chunks (each cut is where one ends), checking each
// frame and each split against the stream; frames go on to the dispatcher, when there is one.
Outcome split(const uint8_t *stream, size_t length, const std::vector<size_t> &cuts,
              Vantrel::FrameDispatcher *dispatcher)
{
    Outcome outcome;
    FrameSplitter splitter([&](const uint8_t *frame, size_t frameLength, uint64_t offset) {
        check(reinterpret_cast<uintptr_t>(frame) % alignof(uint64_t) == 0, "a frame is handed over misaligned");
        check(frameLength >= sizeof(uint32_t) && frameLength - sizeof(uint32_t) <= FrameSplitter::MaxFrameSize,
              "a frame's length is out of bounds");
        const uint64_t expected =
            outcome.frames.empty() ? 0 : outcome.frames.back().offset + outcome.frames.back().length;
        check(offset == expected, "frames are not handed over back to back");
        check(offset + frameLength <= length, "a frame reaches past the stream");
        check(std::memcmp(frame, stream + offset, frameLength) == 0, "a frame differs from the stream's bytes");
        check(prefixOf(frame) == frameLength - sizeof(uint32_t), "a frame's length disagrees with its size prefix");
        outcome.frames.push_back({offset, frameLength});
        if (!dispatcher)
            return;
        // An allocation of the frame's exact size: the sanitizer then sees any read past its end.
        const std::unique_ptr<uint8_t[]> copy(new uint8_t[frameLength]);
        std::memcpy(copy.get(), frame, frameLength);
        dispatcher->frame(copy.get(), frameLength, offset);
    });
    size_t fed = 0;
    for (size_t end : cuts) {
        splitter.append(stream + fed, end - fed);
        fed = end;
        const uint64_t position = splitter.position();
        const FrameSplitter::Split taken = splitter.split();
        check(taken.length <= splitter.pending(), "a split hands over more than was read");
        check(taken.length == 0 || std::memcmp(taken.bytes, stream + position, taken.length) == 0,
              "the handed-over bytes differ from the stream's");
        splitter.discard(taken);
        check(splitter.position() == position + taken.length, "the stream position does not advance by the split");
        if (dispatcher)
            dispatcher->flush();
        if (taken.oversized) {
            check(taken.oversizedOffset == splitter.position(), "an oversized frame is reported elsewhere");
            check(taken.announcedSize > FrameSplitter::MaxFrameSize, "a frame within the limit is refused");
            check(prefixOf(stream + taken.oversizedOffset) == taken.announcedSize,
                  "the refused size is not the one announced");
            outcome.oversized = true;
            return outcome; // the stream cannot go on
        }
    }
    check(splitter.position() + splitter.pending() == length, "bytes of the stream were lost");
    const size_t pending = splitter.pending();
    check(pending < sizeof(uint32_t) || pending < sizeof(uint32_t) + prefixOf(stream + splitter.position()),
          "a whole frame was left in the buffer");
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Every skipped frame is logged; thousands of inputs a second would bury the fuzzer's own output.
    static const QtMessageHandler previous = qInstallMessageHandler(quiet);
    (void)previous;
    if (size < HeaderSize)
        return 0;
    const uint8_t config = data[0];
    const uint8_t *stream = data + HeaderSize;
    const size_t length = size - HeaderSize;

    constexpr size_t Choices = std::size(Vantrel::Fuzz::OutputIds) + 1;
    const size_t choice = (config & 0x7f) % Choices;
    const uint32_t outputId = choice == 0 ? 0 : Vantrel::Fuzz::OutputIds[choice - 1];
    const QStringList kinds =
        (config & 0x80) ? QStringList{QStringLiteral("human-presence"), QStringLiteral("presence3")} : QStringList{};

    std::vector<size_t> cuts;
    for (size_t i = 0; i < 3; ++i)
        cuts.push_back((data[1 + 2 * i] | size_t{data[2 + 2 * i]} << 8) % (length + 1));
    cuts.push_back(length);
    std::sort(cuts.begin(), cuts.end());

    Vantrel::SensorState state;
    Vantrel::FrameDispatcher dispatcher(kinds, outputId, state);
    Vantrel::JsonFrames json;
    CheckedLines lines;
    json.addSink(&lines);
    state.addObserver(&json);
    const Outcome chunked = split(stream, length, cuts, &dispatcher);

    // The same stream read at once is cut into the same frames.
    const Outcome whole = split(stream, length, {length}, nullptr);
    check(whole.frames == chunked.frames, "the frames depend on how the stream was chunked");
    check(whole.oversized == chunked.oversized, "refusing the stream depends on how it was chunked");
    return 0;
}
