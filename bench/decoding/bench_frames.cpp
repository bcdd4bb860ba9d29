// Verify-and-decode cost per output frame kind, into one reused value: the raw copy and signal
// delivery are left out.

#include "decoding/decodedframe.h"
#include "decoding/framedecoder.h"
#include "tests/support/sampleframes.h"

#include <benchmark/benchmark.h>

namespace {

void verifyAndDecode(benchmark::State &state, const Vantrel::Fixtures::SampleFrame &sample)
{
    Vantrel::DecodedFrame decoded;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Vantrel::FrameDecoder::decode(sample.outputId, sample.bytes.data(), sample.bytes.size(), decoded));
}

const int registered = [] {
    for (const Vantrel::Fixtures::SampleFrame &sample : Vantrel::Fixtures::sampleFrames())
        benchmark::RegisterBenchmark(("verifyAndDecode/" + sample.kind).c_str(), verifyAndDecode, sample);
    return 0;
}();

} // namespace

BENCHMARK_MAIN();
