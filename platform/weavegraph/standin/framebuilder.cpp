#include "platform/weavegraph/standin/framebuilder.h"

namespace Vantrel::Standin {
namespace {

// Each element type's code and the builder call that stores a vector of it.
template <typename T, ElementType Code,
          void (Frames::ArrayDataBuilder::*Add)(flatbuffers::Offset<flatbuffers::Vector<T>>)>
struct Elements
{
    static constexpr ElementType type = Code;
    static constexpr auto add = Add;
};

template <typename T>
struct ElementTraits;
template <>
struct ElementTraits<uint32_t> : Elements<uint32_t, UInt32Elements, &Frames::ArrayDataBuilder::add_uint32Values>
{
};
template <>
struct ElementTraits<int32_t> : Elements<int32_t, Int32Elements, &Frames::ArrayDataBuilder::add_int32Values>
{
};
template <>
struct ElementTraits<float> : Elements<float, FloatElements, &Frames::ArrayDataBuilder::add_floatValues>
{
};
template <>
struct ElementTraits<uint16_t> : Elements<uint16_t, UInt16Elements, &Frames::ArrayDataBuilder::add_uint16Values>
{
};
template <>
struct ElementTraits<int16_t> : Elements<int16_t, Int16Elements, &Frames::ArrayDataBuilder::add_int16Values>
{
};

} // namespace

template <typename T>
ArrayOffset makeArray(flatbuffers::FlatBufferBuilder &builder, uint32_t semantic, const std::vector<T> &values,
                      std::initializer_list<uint16_t> shape)
{
    // Vectors first: a table cannot be open while they are written.
    const auto valueVector = builder.CreateVector(values);
    flatbuffers::Offset<flatbuffers::Vector<uint16_t>> shapeVector;
    if (shape.size() > 0)
        shapeVector = builder.CreateVector(shape.begin(), shape.size());
    Frames::ArrayDataBuilder data(builder);
    data.add_elementType(ElementTraits<T>::type);
    if (shape.size() > 0)
        data.add_shape(shapeVector);
    (data.*ElementTraits<T>::add)(valueVector);
    const auto dataOffset = data.Finish();
    return Frames::CreateArray(builder, semantic, dataOffset);
}

template ArrayOffset makeArray(flatbuffers::FlatBufferBuilder &, uint32_t, const std::vector<uint32_t> &,
                               std::initializer_list<uint16_t>);
template ArrayOffset makeArray(flatbuffers::FlatBufferBuilder &, uint32_t, const std::vector<int32_t> &,
                               std::initializer_list<uint16_t>);
template ArrayOffset makeArray(flatbuffers::FlatBufferBuilder &, uint32_t, const std::vector<float> &,
                               std::initializer_list<uint16_t>);
template ArrayOffset makeArray(flatbuffers::FlatBufferBuilder &, uint32_t, const std::vector<uint16_t> &,
                               std::initializer_list<uint16_t>);
template ArrayOffset makeArray(flatbuffers::FlatBufferBuilder &, uint32_t, const std::vector<int16_t> &,
                               std::initializer_list<uint16_t>);

SignalOffset makeSignal(flatbuffers::FlatBufferBuilder &builder, uint32_t semantic,
                        const std::vector<ArrayOffset> &arrays)
{
    return Frames::CreateSignal(builder, semantic, builder.CreateVector(arrays));
}

void finishFrame(flatbuffers::FlatBufferBuilder &builder, uint32_t sequence, int64_t timestamp,
                 const std::vector<SignalOffset> &signals)
{
    const auto signalVector = builder.CreateVector(signals);
    builder.FinishSizePrefixed(Frames::CreateFrame(builder, sequence, timestamp, signalVector));
}

} // namespace Vantrel::Standin
