#pragma once

// Builds output frames the way the runtime does, with FlatBuffers' own builder, for tests, the
// benchmark and the fuzzer's seed corpus.

#include <cstdint>
#include <optional>
#include <vector>

namespace Vantrel {
namespace Fixtures {

struct ArraySpec
{
    explicit ArraySpec(std::optional<uint32_t> key = std::nullopt)
        : semantic(key)
    {
    }

    std::optional<uint32_t> semantic;
    bool hasData = true;
    std::optional<std::vector<uint16_t>> shape;
    std::optional<std::vector<uint32_t>> uint32Values;
    std::optional<std::vector<int32_t>> int32Values;
    std::optional<std::vector<float>> floatValues;
    std::optional<std::vector<uint16_t>> uint16Values;
    std::optional<std::vector<int16_t>> int16Values;
};

struct SignalSpec
{
    std::optional<uint32_t> semantic;
    std::optional<std::vector<ArraySpec>> arrays = std::vector<ArraySpec>{};
};

struct FrameSpec
{
    std::optional<uint32_t> sequenceNumber;
    std::optional<int64_t> timestamp;
    std::optional<std::vector<SignalSpec>> signals = std::vector<SignalSpec>{};
};

// A size-prefixed frame, as the runtime hands it over.
std::vector<uint8_t> buildFrame(const FrameSpec &layout);

// Shorthands for the common array forms; shape is optional.
ArraySpec int32Array(uint32_t key, std::vector<int32_t> values, std::optional<std::vector<uint16_t>> shape = {});
ArraySpec floatArray(uint32_t key, std::vector<float> values, std::optional<std::vector<uint16_t>> shape = {});
ArraySpec uint32Array(uint32_t key, std::vector<uint32_t> values);
ArraySpec uint16Array(uint32_t key, std::vector<uint16_t> values);
ArraySpec int16Array(uint32_t key, std::vector<int16_t> values, std::optional<std::vector<uint16_t>> shape = {});

// One frame holding one signal with the given arrays.
std::vector<uint8_t> singleSignalFrame(uint32_t signalKey, std::vector<ArraySpec> arrays, uint32_t sequenceNumber = 7,
                                       int64_t timestamp = 1700000000123);

} // namespace Fixtures
} // namespace Vantrel
