// Cutting a stream of size-prefixed frames, read in pieces of any size, into whole aligned frames.
#include "frames/input/framesplitter.h"
#include "tests/support/framestreams.h"
#include "tests/support/sampleframes.h"
#include "tests/support/tablerows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace Vantrel {
namespace {

using Bytes = std::vector<uint8_t>;
using Fixtures::concatenated;
using Fixtures::sizePrefix;
using Fixtures::withOddLength;

struct Handed
{
    uint64_t offset;
    Bytes bytes;
    bool aligned;

    bool operator==(const Handed &other) const
    {
        return offset == other.offset && bytes == other.bytes && aligned == other.aligned;
    }
};

void PrintTo(const Handed &frame, std::ostream *os)
{
    *os << frame.bytes.size() << " bytes at " << frame.offset << (frame.aligned ? "" : ", misaligned");
}

Bytes sample(size_t index)
{
    return Fixtures::sampleFrames().at(index).bytes;
}

// A splitter that keeps what it hands over: the frames, and the bytes of each split as they were read.
class Splitting
{
public:
    Splitting()
        : m_splitter([this](const uint8_t *frame, size_t length, uint64_t offset) {
            m_frames.push_back({offset, Bytes(frame, frame + length), reinterpret_cast<uintptr_t>(frame) % 8 == 0});
        })
    {
    }

    // Appends the bytes in pieces of at most the given size (0: at once), splitting after each, as
    // the stream's reader does; stops where the splitter gives up on the stream.
    FrameSplitter::Split feed(const Bytes &bytes, size_t piece = 0)
    {
        FrameSplitter::Split last;
        for (size_t at = 0; at < bytes.size() && !last.oversized;) {
            const size_t length = piece == 0 ? bytes.size() - at : std::min(piece, bytes.size() - at);
            m_splitter.append(bytes.data() + at, length);
            at += length;
            last = m_splitter.split();
            m_recorded.insert(m_recorded.end(), last.bytes, last.bytes + last.length);
            m_splitter.discard(last);
        }
        return last;
    }

    FrameSplitter m_splitter;
    std::vector<Handed> m_frames;
    Bytes m_recorded;
};

// Where each frame of the stream starts, as the splitter should hand it over.
std::vector<Handed> framesOf(const std::vector<Bytes> &frames)
{
    std::vector<Handed> handed;
    uint64_t offset = 0;
    for (const Bytes &frame : frames) {
        handed.push_back({offset, frame, true});
        offset += frame.size();
    }
    return handed;
}

struct StreamRow
{
    const char *name;
    std::function<std::vector<Bytes>()> frames;
    size_t piece; // bytes per read; 0: the whole stream at once
};

using Vantrel::Test::operator<<;

std::vector<Bytes> everySample()
{
    std::vector<Bytes> frames;
    for (const Fixtures::SampleFrame &frame : Fixtures::sampleFrames())
        frames.push_back(frame.bytes);
    return frames;
}

// Each behind a frame of odd length, so that it arrives at an odd place of the buffer.
std::vector<Bytes> oddLengths()
{
    return {withOddLength(sample(0)), sample(1), withOddLength(sample(2)), withOddLength(sample(3)), sample(4)};
}

std::vector<Bytes> emptyFrames()
{
    return {sizePrefix(0), sample(0), sizePrefix(0), sizePrefix(0)};
}

class WholeFrames : public ::testing::TestWithParam<StreamRow>
{};

TEST_P(WholeFrames, AreHandedOverAlignedInOrderWithTheirOffsets)
{
    const std::vector<Bytes> frames = GetParam().frames();
    Bytes stream;
    for (const Bytes &frame : frames)
        stream.insert(stream.end(), frame.begin(), frame.end());
    Splitting splitting;

    EXPECT_FALSE(splitting.feed(stream, GetParam().piece).oversized);

    EXPECT_EQ(splitting.m_frames, framesOf(frames));
    EXPECT_EQ(splitting.m_recorded, stream);
    EXPECT_EQ(splitting.m_splitter.pending(), 0u);
    EXPECT_EQ(splitting.m_splitter.position(), stream.size());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, WholeFrames,
    ::testing::Values(StreamRow{"EveryKindInOneRead", everySample, 0}, StreamRow{"EveryKindByteByByte", everySample, 1},
                      StreamRow{"EveryKindThreeBytesAtATime", everySample, 3},
                      StreamRow{"EveryKindInReadsOf100", everySample, 100},
                      StreamRow{"OddLengthsInOneRead", oddLengths, 0}, StreamRow{"OddLengthsByteByByte", oddLengths, 1},
                      StreamRow{"OddLengthsInReadsOf7", oddLengths, 7}, StreamRow{"EmptyFrames", emptyFrames, 0},
                      StreamRow{"EmptyFramesByteByByte", emptyFrames, 1}),
    Vantrel::Test::RowName());

TEST(FrameSplitter, RefusesASizePastTheLimitAfterHandingOverTheFramesBefore)
{
    const Bytes first = sample(0);
    const uint32_t announced = FrameSplitter::MaxFrameSize + 1;
    Splitting splitting;

    const FrameSplitter::Split split = splitting.feed(concatenated({first, sizePrefix(announced), sample(1)}));

    EXPECT_TRUE(split.oversized);
    EXPECT_EQ(split.oversizedOffset, first.size());
    EXPECT_EQ(split.announcedSize, announced);
    EXPECT_EQ(splitting.m_frames, framesOf({first}));
    EXPECT_EQ(splitting.m_recorded, first);
}

TEST(FrameSplitter, AwaitsAFrameOfTheLargestSize)
{
    const Bytes first = sample(0);
    Splitting splitting;

    const FrameSplitter::Split split =
        splitting.feed(concatenated({first, sizePrefix(FrameSplitter::MaxFrameSize), sample(1)}));

    EXPECT_FALSE(split.oversized);
    EXPECT_EQ(splitting.m_frames, framesOf({first}));
    EXPECT_EQ(splitting.m_splitter.position(), first.size());
    EXPECT_EQ(splitting.m_splitter.pending(), sizeof(uint32_t) + sample(1).size());
}

TEST(FrameSplitter, KeepsACutFrameUntilItsRestArrives)
{
    const Bytes first = sample(0);
    const Bytes second = sample(1);
    Splitting splitting;

    splitting.feed(concatenated({first, Bytes(second.begin(), second.begin() + 10)}));

    EXPECT_EQ(splitting.m_frames, framesOf({first}));
    EXPECT_EQ(splitting.m_splitter.position(), first.size());
    EXPECT_EQ(splitting.m_splitter.pending(), 10u);

    splitting.feed(Bytes(second.begin() + 10, second.end()));

    EXPECT_EQ(splitting.m_frames, framesOf({first, second}));
    EXPECT_EQ(splitting.m_splitter.pending(), 0u);
}

TEST(FrameSplitter, ResetStartsANewStreamAtOffsetZero)
{
    const Bytes first = sample(0);
    Splitting splitting;
    splitting.feed(concatenated({first, Bytes(first.begin(), first.begin() + 6)}));

    splitting.m_splitter.reset();

    EXPECT_EQ(splitting.m_splitter.pending(), 0u);
    EXPECT_EQ(splitting.m_splitter.position(), 0u);
    splitting.feed(first);
    // The bytes of the cut frame are gone: the frame read next is the new stream's first.
    EXPECT_EQ(splitting.m_frames, (std::vector<Handed>{{0, first, true}, {0, first, true}}));
}

TEST(FrameSplitter, HandsNothingOverBeforeAnythingIsRead)
{
    Splitting splitting;

    const FrameSplitter::Split split = splitting.m_splitter.split();
    splitting.m_splitter.discard(split);

    EXPECT_EQ(split.length, 0u);
    EXPECT_FALSE(split.oversized);
    EXPECT_TRUE(splitting.m_frames.empty());
    EXPECT_EQ(splitting.m_splitter.position(), 0u);
}

TEST(FrameSplitter, ReadsIntoTheSpaceItGives)
{
    const Bytes stream = Fixtures::sampleStream();
    Splitting splitting;

    const FrameSplitter::Space space = splitting.m_splitter.space(stream.size());
    ASSERT_GE(space.size, stream.size());
    std::copy(stream.begin(), stream.end(), space.bytes);
    splitting.m_splitter.commit(stream.size());
    const FrameSplitter::Split split = splitting.m_splitter.split();

    EXPECT_EQ(Bytes(split.bytes, split.bytes + split.length), stream);
    EXPECT_EQ(splitting.m_frames, framesOf(everySample()));
}

} // namespace
} // namespace Vantrel
