#pragma once

// One well-formed frame of every output kind, as the runtime sends them: the benchmark's workload and
// the fuzzer's seeds.

#include <cstdint>
#include <string>
#include <vector>

namespace Vantrel {
namespace Fixtures {

struct SampleFrame
{
    std::string kind;
    uint32_t outputId;
    std::vector<uint8_t> bytes;
};

std::vector<SampleFrame> sampleFrames();

} // namespace Fixtures
} // namespace Vantrel
