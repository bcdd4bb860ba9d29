#include "tests/support/testframebuilder.h"

#include "platform/weavegraph/frame_generated.h"

namespace Vantrel {
namespace Fixtures {

namespace {

template <typename T>
flatbuffers::Offset<flatbuffers::Vector<T>> vectorOf(flatbuffers::FlatBufferBuilder &builder,
                                                     const std::optional<std::vector<T>> &values)
{
    return values ? builder.CreateVector(*values) : 0;
}

flatbuffers::Offset<Frames::Array> buildArray(flatbuffers::FlatBufferBuilder &builder, const ArraySpec &layout)
{
    flatbuffers::Offset<Frames::ArrayData> data = 0;
    if (layout.hasData) {
        const auto shape = vectorOf(builder, layout.shape);
        const auto uint32Values = vectorOf(builder, layout.uint32Values);
        const auto int32Values = vectorOf(builder, layout.int32Values);
        const auto floatValues = vectorOf(builder, layout.floatValues);
        const auto uint16Values = vectorOf(builder, layout.uint16Values);
        const auto int16Values = vectorOf(builder, layout.int16Values);
        data = Frames::CreateArrayData(builder, 0, shape, uint32Values, int32Values, floatValues, uint16Values,
                                       int16Values);
    }
    Frames::ArrayBuilder array(builder);
    if (layout.semantic)
        builder.AddElement<uint32_t>(Frames::Array::VT_SEMANTIC, *layout.semantic);
    array.add_data(data);
    return array.Finish();
}

flatbuffers::Offset<Frames::Signal> buildSignal(flatbuffers::FlatBufferBuilder &builder, const SignalSpec &layout)
{
    flatbuffers::Offset<flatbuffers::Vector<flatbuffers::Offset<Frames::Array>>> arrays = 0;
    if (layout.arrays) {
        std::vector<flatbuffers::Offset<Frames::Array>> built;
        for (const ArraySpec &array : *layout.arrays)
            built.push_back(buildArray(builder, array));
        arrays = builder.CreateVector(built);
    }
    Frames::SignalBuilder signal(builder);
    if (layout.semantic)
        builder.AddElement<uint32_t>(Frames::Signal::VT_SEMANTIC, *layout.semantic);
    signal.add_arrays(arrays);
    return signal.Finish();
}

} // namespace

std::vector<uint8_t> buildFrame(const FrameSpec &layout)
{
    flatbuffers::FlatBufferBuilder builder;
    // Written even when 0, so that "absent" and "zero" are both exercised.
    builder.ForceDefaults(true);
    flatbuffers::Offset<flatbuffers::Vector<flatbuffers::Offset<Frames::Signal>>> signalList = 0;
    if (layout.signals) {
        std::vector<flatbuffers::Offset<Frames::Signal>> built;
        for (const SignalSpec &signal : *layout.signals)
            built.push_back(buildSignal(builder, signal));
        signalList = builder.CreateVector(built);
    }
    Frames::FrameBuilder frame(builder);
    if (layout.sequenceNumber)
        frame.add_sequenceNumber(*layout.sequenceNumber);
    if (layout.timestamp)
        frame.add_timestamp(*layout.timestamp);
    frame.add_signals(signalList);
    builder.FinishSizePrefixed(frame.Finish());
    return {builder.GetBufferPointer(), builder.GetBufferPointer() + builder.GetSize()};
}

ArraySpec int32Array(uint32_t key, std::vector<int32_t> values, std::optional<std::vector<uint16_t>> shape)
{
    ArraySpec layout{key};
    layout.int32Values = std::move(values);
    layout.shape = std::move(shape);
    return layout;
}

ArraySpec floatArray(uint32_t key, std::vector<float> values, std::optional<std::vector<uint16_t>> shape)
{
    ArraySpec layout{key};
    layout.floatValues = std::move(values);
    layout.shape = std::move(shape);
    return layout;
}

ArraySpec uint32Array(uint32_t key, std::vector<uint32_t> values)
{
    ArraySpec layout{key};
    layout.uint32Values = std::move(values);
    return layout;
}

ArraySpec uint16Array(uint32_t key, std::vector<uint16_t> values)
{
    ArraySpec layout{key};
    layout.uint16Values = std::move(values);
    return layout;
}

ArraySpec int16Array(uint32_t key, std::vector<int16_t> values, std::optional<std::vector<uint16_t>> shape)
{
    ArraySpec layout{key};
    layout.int16Values = std::move(values);
    layout.shape = std::move(shape);
    return layout;
}

std::vector<uint8_t> singleSignalFrame(uint32_t signalKey, std::vector<ArraySpec> arrays, uint32_t sequenceNumber,
                                       int64_t timestamp)
{
    FrameSpec layout;
    layout.sequenceNumber = sequenceNumber;
    layout.timestamp = timestamp;
    layout.signals = std::vector<SignalSpec>{SignalSpec{signalKey, std::move(arrays)}};
    return buildFrame(layout);
}

} // namespace Fixtures
} // namespace Vantrel
