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

template <typename T>
ArraySpec arrayOf(uint32_t key, std::optional<std::vector<T>> ArraySpec::*field, std::vector<T> values,
                  std::optional<std::vector<uint16_t>> shape = std::nullopt)
{
    ArraySpec layout{key};
    layout.*field = std::move(values);
    layout.shape = std::move(shape);
    return layout;
}

// Each layout built in turn; no vector at all where the list is absent.
template <typename Table, typename Layout>
flatbuffers::Offset<flatbuffers::Vector<flatbuffers::Offset<Table>>>
tablesOf(flatbuffers::FlatBufferBuilder &builder, const std::optional<std::vector<Layout>> &layouts,
         flatbuffers::Offset<Table> (*build)(flatbuffers::FlatBufferBuilder &, const Layout &))
{
    if (!layouts)
        return 0;
    std::vector<flatbuffers::Offset<Table>> built;
    for (const Layout &layout : *layouts)
        built.push_back(build(builder, layout));
    return builder.CreateVector(built);
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
    const auto arrays = tablesOf(builder, layout.arrays, buildArray);
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
    const auto signalList = tablesOf(builder, layout.signals, buildSignal);
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
    return arrayOf(key, &ArraySpec::int32Values, std::move(values), std::move(shape));
}

ArraySpec floatArray(uint32_t key, std::vector<float> values, std::optional<std::vector<uint16_t>> shape)
{
    return arrayOf(key, &ArraySpec::floatValues, std::move(values), std::move(shape));
}

ArraySpec uint32Array(uint32_t key, std::vector<uint32_t> values)
{
    return arrayOf(key, &ArraySpec::uint32Values, std::move(values));
}

ArraySpec uint16Array(uint32_t key, std::vector<uint16_t> values)
{
    return arrayOf(key, &ArraySpec::uint16Values, std::move(values));
}

ArraySpec int16Array(uint32_t key, std::vector<int16_t> values, std::optional<std::vector<uint16_t>> shape)
{
    return arrayOf(key, &ArraySpec::int16Values, std::move(values), std::move(shape));
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
