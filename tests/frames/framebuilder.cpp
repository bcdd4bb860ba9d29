#include "framebuilder.h"

#include "frame_generated.h"

namespace Vantrel {
namespace Fixtures {

namespace {

template <typename T>
flatbuffers::Offset<flatbuffers::Vector<T>> vectorOf(flatbuffers::FlatBufferBuilder &builder,
                                                     const std::optional<std::vector<T>> &values)
{
    return values ? builder.CreateVector(*values) : 0;
}

flatbuffers::Offset<Frames::Array> buildArray(flatbuffers::FlatBufferBuilder &builder, const ArraySpec &spec)
{
    flatbuffers::Offset<Frames::ArrayData> data = 0;
    if (spec.hasData) {
        const auto shape = vectorOf(builder, spec.shape);
        const auto uint32Values = vectorOf(builder, spec.uint32Values);
        const auto int32Values = vectorOf(builder, spec.int32Values);
        const auto floatValues = vectorOf(builder, spec.floatValues);
        const auto uint16Values = vectorOf(builder, spec.uint16Values);
        const auto int16Values = vectorOf(builder, spec.int16Values);
        data = Frames::CreateArrayData(builder, 0, shape, uint32Values, int32Values, floatValues, uint16Values,
                                       int16Values);
    }
    Frames::ArrayBuilder array(builder);
    if (spec.semantic)
        builder.AddElement<uint32_t>(Frames::Array::VT_SEMANTIC, *spec.semantic);
    array.add_data(data);
    return array.Finish();
}

flatbuffers::Offset<Frames::Signal> buildSignal(flatbuffers::FlatBufferBuilder &builder, const SignalSpec &spec)
{
    flatbuffers::Offset<flatbuffers::Vector<flatbuffers::Offset<Frames::Array>>> arrays = 0;
    if (spec.arrays) {
        std::vector<flatbuffers::Offset<Frames::Array>> built;
        for (const ArraySpec &array : *spec.arrays)
            built.push_back(buildArray(builder, array));
        arrays = builder.CreateVector(built);
    }
    Frames::SignalBuilder signal(builder);
    if (spec.semantic)
        builder.AddElement<uint32_t>(Frames::Signal::VT_SEMANTIC, *spec.semantic);
    signal.add_arrays(arrays);
    return signal.Finish();
}

} // namespace

std::vector<uint8_t> buildFrame(const FrameSpec &spec)
{
    flatbuffers::FlatBufferBuilder builder;
    // Written even when 0, so that "absent" and "zero" are both exercised.
    builder.ForceDefaults(true);
    flatbuffers::Offset<flatbuffers::Vector<flatbuffers::Offset<Frames::Signal>>> signalList = 0;
    if (spec.signals) {
        std::vector<flatbuffers::Offset<Frames::Signal>> built;
        for (const SignalSpec &signal : *spec.signals)
            built.push_back(buildSignal(builder, signal));
        signalList = builder.CreateVector(built);
    }
    Frames::FrameBuilder frame(builder);
    if (spec.sequenceNumber)
        frame.add_sequenceNumber(*spec.sequenceNumber);
    if (spec.timestamp)
        frame.add_timestamp(*spec.timestamp);
    frame.add_signals(signalList);
    builder.FinishSizePrefixed(frame.Finish());
    return {builder.GetBufferPointer(), builder.GetBufferPointer() + builder.GetSize()};
}

ArraySpec int32Array(uint32_t key, std::vector<int32_t> values, std::optional<std::vector<uint16_t>> shape)
{
    ArraySpec spec{key};
    spec.int32Values = std::move(values);
    spec.shape = std::move(shape);
    return spec;
}

ArraySpec floatArray(uint32_t key, std::vector<float> values, std::optional<std::vector<uint16_t>> shape)
{
    ArraySpec spec{key};
    spec.floatValues = std::move(values);
    spec.shape = std::move(shape);
    return spec;
}

ArraySpec uint32Array(uint32_t key, std::vector<uint32_t> values)
{
    ArraySpec spec{key};
    spec.uint32Values = std::move(values);
    return spec;
}

ArraySpec uint16Array(uint32_t key, std::vector<uint16_t> values)
{
    ArraySpec spec{key};
    spec.uint16Values = std::move(values);
    return spec;
}

ArraySpec int16Array(uint32_t key, std::vector<int16_t> values, std::optional<std::vector<uint16_t>> shape)
{
    ArraySpec spec{key};
    spec.int16Values = std::move(values);
    spec.shape = std::move(shape);
    return spec;
}

std::vector<uint8_t> singleSignalFrame(uint32_t signalKey, std::vector<ArraySpec> arrays, uint32_t sequenceNumber,
                                       int64_t timestamp)
{
    FrameSpec spec;
    spec.sequenceNumber = sequenceNumber;
    spec.timestamp = timestamp;
    spec.signals = std::vector<SignalSpec>{SignalSpec{signalKey, std::move(arrays)}};
    return buildFrame(spec);
}

} // namespace Fixtures
} // namespace Vantrel
