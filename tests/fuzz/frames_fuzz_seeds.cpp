// Writes the fuzzers' seed corpora in their input forms: one well-formed frame of every kind, and the
// whole set back to back as a stream, each with a few damaged variants that start the fuzzers near
// the edges (cut frames, sizes past the limit, odd lengths, bytes that are no frame). The corpora kept
// in tests/fuzz/corpus/ began as this program's output.
// Usage: frames_fuzz_seeds <frames-corpus> [<stream-corpus>]

#include "tests/fuzz/fuzzoutputids.h"
#include "tests/support/framestreams.h"
#include "tests/support/sampleframes.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Vantrel::Fixtures::concatenated;
using Vantrel::Fixtures::SampleFrame;
using Vantrel::Fixtures::sizePrefix;
using Vantrel::Fixtures::withOddLength;

bool write(const QDir &corpus, const std::string &name, const Bytes &bytes)
{
    QFile file(corpus.filePath(QString::fromStdString(name)));
    return file.open(QIODevice::WriteOnly)
           && file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()))
                  == static_cast<qint64>(bytes.size());
}

uint8_t selectorOf(uint32_t outputId)
{
    uint8_t selector = 0;
    while (Vantrel::Fuzz::OutputIds[selector] != outputId)
        ++selector;
    return selector;
}

// The frames fuzzer's form: output id selector, misalignment, frame.
Bytes frameInput(uint8_t selector, uint8_t misalignment, const Bytes &frame)
{
    return concatenated({{selector, misalignment}, frame});
}

// The stream fuzzer's form: configuration, three cut positions, stream.
Bytes streamInput(uint8_t config, uint16_t first, uint16_t second, uint16_t third, const Bytes &stream)
{
    Bytes header{config};
    for (uint16_t cut : {first, second, third}) {
        header.push_back(static_cast<uint8_t>(cut));
        header.push_back(static_cast<uint8_t>(cut >> 8));
    }
    return concatenated({header, stream});
}

bool writeFrameSeeds(const QDir &corpus, const std::vector<SampleFrame> &samples)
{
    bool written = true;
    for (const SampleFrame &sample : samples)
        written &= write(corpus, sample.kind, frameInput(selectorOf(sample.outputId), 0, sample.bytes));
    const SampleFrame &presence = samples.front();
    const uint8_t selector = selectorOf(presence.outputId);
    const Bytes cut(presence.bytes.begin(), presence.bytes.end() - 7);
    const Bytes body(presence.bytes.begin() + sizeof(uint32_t), presence.bytes.end());
    const uint8_t unknown = static_cast<uint8_t>(std::size(Vantrel::Fuzz::OutputIds) - 1);
    written &= write(corpus, "cut-" + presence.kind, frameInput(selector, 0, cut));
    written &= write(corpus, "misaligned-" + presence.kind, frameInput(selector, 3, presence.bytes));
    written &= write(corpus, "odd-length-" + presence.kind, frameInput(selector, 0, withOddLength(presence.bytes)));
    written &= write(corpus, "unknown-output-" + presence.kind, frameInput(unknown, 0, presence.bytes));
    written &= write(corpus, "huge-prefix-" + presence.kind,
                     frameInput(selector, 0, concatenated({sizePrefix(0xFFFFFFFFu), body})));
    written &= write(corpus, "prefix-only", frameInput(selector, 0, sizePrefix(0)));
    // Every other kind's frame read by the heatmap's decoders.
    for (const SampleFrame &sample : samples) {
        if (sample.kind != "heatmap")
            written &= write(corpus, "as-heatmap-" + sample.kind,
                             frameInput(selectorOf(Vantrel::Frames::Output::HeatmapBasic), 0, sample.bytes));
    }
    return written;
}

bool writeStreamSeeds(const QDir &corpus, const std::vector<SampleFrame> &samples)
{
    const Bytes all = Vantrel::Fixtures::sampleStream();
    const Bytes &first = samples.front().bytes;
    const auto half = static_cast<uint16_t>(all.size() / 2);
    // Bit 7 narrows the wanted kinds; the rest picks an output id, 0 telling it from each frame.
    const uint8_t everyKind = 0;
    const uint8_t someKinds = 0x80;
    const auto heatmap = static_cast<uint8_t>(1 + selectorOf(Vantrel::Frames::Output::HeatmapBasic));
    bool written = true;
    written &= write(corpus, "all-kinds", streamInput(everyKind, 0, 0, 0, all));
    written &= write(corpus, "all-kinds-wanted-few", streamInput(someKinds, 0, 0, 0, all));
    written &= write(corpus, "all-kinds-as-heatmap", streamInput(heatmap, 0, 0, 0, all));
    // Chunks that end inside a size prefix, between two frames and inside a frame.
    written &= write(
        corpus, "all-kinds-chunked",
        streamInput(everyKind, 2, static_cast<uint16_t>(first.size()), static_cast<uint16_t>(first.size() + 9), all));
    written &=
        write(corpus, "odd-length-first", streamInput(everyKind, 0, 0, 0, concatenated({withOddLength(first), all})));
    written &= write(corpus, "cut-in-a-frame", streamInput(everyKind, half, 0, 0, Bytes(all.begin(), all.end() - 9)));
    written &= write(corpus, "cut-in-a-prefix", streamInput(everyKind, 0, 0, 0, concatenated({all, {0x10, 0x00}})));
    written &= write(corpus, "announces-past-the-limit",
                     streamInput(everyKind, 0, 0, 0, concatenated({first, sizePrefix((16u << 20) + 1), first})));
    written &= write(corpus, "announces-the-limit",
                     streamInput(everyKind, 0, 0, 0, concatenated({first, sizePrefix(16u << 20), first})));
    written &=
        write(corpus, "garbage-after-a-frame",
              streamInput(everyKind, 0, 0, 0,
                          concatenated({first, sizePrefix(11), {0xde, 0xad, 0xbe, 0xef, 1, 2, 3, 4, 5, 6, 7, 0xff}})));
    written &=
        write(corpus, "empty-frames",
              streamInput(everyKind, 5, 0, 0, concatenated({sizePrefix(0), sizePrefix(0), first, sizePrefix(0)})));
    return written;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <frames-corpus> [<stream-corpus>]\n", argv[0]);
        return 2;
    }
    const std::vector<SampleFrame> samples = Vantrel::Fixtures::sampleFrames();
    const QDir frames(QString::fromLocal8Bit(argv[1]));
    if (!frames.mkpath(QStringLiteral(".")) || !writeFrameSeeds(frames, samples))
        return 1;
    if (argc == 3) {
        const QDir stream(QString::fromLocal8Bit(argv[2]));
        if (!stream.mkpath(QStringLiteral(".")) || !writeStreamSeeds(stream, samples))
            return 1;
    }
    return 0;
}
