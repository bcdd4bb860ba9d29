#include "tests/support/framestreams.h"

#include "tests/support/sampleframes.h"

#include <algorithm>
#include <cstring>

namespace Vantrel {
namespace Fixtures {

std::vector<uint8_t> sampleStream()
{
    std::vector<uint8_t> stream;
    for (const SampleFrame &sample : sampleFrames())
        stream.insert(stream.end(), sample.bytes.begin(), sample.bytes.end());
    return stream;
}

std::vector<uint8_t> sizePrefix(uint32_t size)
{
    std::vector<uint8_t> bytes(sizeof size);
    std::memcpy(bytes.data(), &size, sizeof size);
    return bytes;
}

std::vector<uint8_t> withOddLength(std::vector<uint8_t> frame)
{
    frame.insert(frame.end(), {0xA5, 0xA5, 0xA5});
    const std::vector<uint8_t> size = sizePrefix(static_cast<uint32_t>(frame.size() - sizeof(uint32_t)));
    std::copy(size.begin(), size.end(), frame.begin());
    return frame;
}

std::vector<uint8_t> concatenated(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t> &part : parts)
        bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

} // namespace Fixtures
} // namespace Vantrel
