#include "platform/weavegraph/standin/framebuilder.h"

namespace Vantrel::Standin {
namespace {

template <typename T>
struct ElementTraits;
template <>
struct ElementTraits<uint32_t>
{
    static constexpr ElementType type = UInt32Elements;
    static void add(Frames::ArrayDataBuilder &b, flatbuffers::Offset<flatbuffers::Vector<uint32_t>> v)
    {
        b.add_uint32Values(v);
    }
};
template <>
struct ElementTraits<int32_t>
{
    static constexpr ElementType type = Int32Elements;
    static void add(Frames::ArrayDataBuilder &b, flatbuffers::Offset<flatbuffers::Vector<int32_t>> v)
    {
        b.add_int32Values(v);
    }
};
template <>
struct ElementTraits<float>
{
    static constexpr ElementType type = FloatElements;
    static void add(Frames::ArrayDataBuilder &b, flatbuffers::Offset<flatbuffers::Vector<float>> v)
    {
        b.add_floatValues(v);
    }
};
template <>
struct ElementTraits<uint16_t>
{
    static constexpr ElementType type = UInt16Elements;
    static void add(Frames::ArrayDataBuilder &b, flatbuffers::Offset<flatbuffers::Vector<uint16_t>> v)
    {
        b.add_uint16Values(v);
    }
};
template <>
struct ElementTraits<int16_t>
{
    static constexpr ElementType type = Int16Elements;
    static void add(Frames::ArrayDataBuilder &b, flatbuffers::Offset<flatbuffers::Vector<int16_t>> v)
    {
        b.add_int16Values(v);
    }
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
    ElementTraits<T>::add(data, valueVector);
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
