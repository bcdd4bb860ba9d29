// The floor under vantrel-frames: a recording read whole into memory, then every frame verified,
// its kind recognised and its decoders run into a sink that keeps nothing. Prints the frames and
// the seconds the loop took.
#include "framedecoder.h"
#include "framelistener.h"
#include "framereader.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// Takes the decoded presence and keeps a sum of it, so that nothing is optimised away.
class SummingListener final : public Vantrel::FrameListener
{
public:
    void beginFrame(uint32_t, const Vantrel::Frames::Frame &, size_t) override {}
    void hpdData(bool state, uint32_t distance, uint32_t, int64_t, uint32_t) override { m_sum += state + distance; }

    uint64_t m_sum = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: frames_json_floor <recording>\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    // Aligned as the program's own read buffer is.
    std::vector<uint64_t> aligned(bytes.size() / sizeof(uint64_t) + 1);
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char *>(aligned.data()));
    const auto *data = reinterpret_cast<const uint8_t *>(aligned.data());

    SummingListener sink;
    const Vantrel::FrameDecoder decoder(sink);
    size_t frames = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t offset = 0; offset + 4 <= bytes.size();) {
        const size_t whole = 4 + flatbuffers::ReadScalar<uint32_t>(data + offset);
        if (whole > bytes.size() - offset)
            break;
        if (Vantrel::FrameReader::verify(data + offset, whole)) {
            const Vantrel::Frames::Frame &frame = *Vantrel::FrameReader::root(data + offset);
            decoder.decodeVerified(Vantrel::FrameDecoder::recognize(frame), frame);
        }
        ++frames;
        offset += whole;
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%zu %.6f %llu\n", frames, seconds.count(), static_cast<unsigned long long>(sink.m_sum));
    return 0;
}
