#pragma once

// Streams of size-prefixed frames, as vantrel-frames reads them, for its tests and the stream fuzzer's seeds.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace Vantrel {
namespace Fixtures {

// Every sample frame, back to back.
std::vector<uint8_t> sampleStream();

// A size prefix alone: the start of a frame announcing that many bytes.
std::vector<uint8_t> sizePrefix(uint32_t size);

// The frame with three bytes added at its end and its prefix grown to match: still sound, its length
// odd, so that the frame after it starts misaligned.
std::vector<uint8_t> withOddLength(std::vector<uint8_t> frame);

// The bytes one after the other.
std::vector<uint8_t> concatenated(std::initializer_list<std::vector<uint8_t>> parts);

} // namespace Fixtures
} // namespace Vantrel
