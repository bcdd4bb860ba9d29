// Verify-and-decode cost per output frame kind, without the raw copy and with nothing connected, so
// signal delivery is left out.

#include "framedecoder.h"
#include "runnersignals.h"
#include "sampleframes.h"
#include "weavegraphrunner.h"

#include <benchmark/benchmark.h>

namespace {

void verifyAndDecode(benchmark::State &state, const Vantrel::Fixtures::SampleFrame &sample)
{
    Vantrel::WeaveGraphRunner runner;
    Vantrel::RunnerSignals sink(runner);
    const Vantrel::FrameDecoder decoder(sink);
    for (auto _ : state)
        benchmark::DoNotOptimize(decoder.decode(sample.outputId, sample.bytes.data(), sample.bytes.size()));
}

const int registered = [] {
    for (const Vantrel::Fixtures::SampleFrame &sample : Vantrel::Fixtures::sampleFrames())
        benchmark::RegisterBenchmark(("verifyAndDecode/" + sample.kind).c_str(), verifyAndDecode, sample);
    return 0;
}();

} // namespace

BENCHMARK_MAIN();
