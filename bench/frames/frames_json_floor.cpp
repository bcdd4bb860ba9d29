// The floor under vantrel-frames: a recording read whole into memory, then every frame verified,
// its kind recognised and decoded into one reused value. Prints the frames and
// the seconds the loop took.
#include "decoding/decodedframe.h"
#include "decoding/framedecoder.h"
#include "decoding/framereader.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

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

    Vantrel::DecodedFrame decoded;
    uint64_t sum = 0; // of the presence read, so that nothing is optimised away
    size_t frames = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t offset = 0; offset + 4 <= bytes.size();) {
        const size_t whole = 4 + flatbuffers::ReadScalar<uint32_t>(data + offset);
        if (whole > bytes.size() - offset)
            break;
        if (Vantrel::FrameReader::verify(data + offset, whole)) {
            const Vantrel::Frames::Frame &frame = *Vantrel::FrameReader::root(data + offset);
            Vantrel::FrameDecoder::decodeVerified(Vantrel::FrameDecoder::recognize(frame), frame, decoded);
            if (decoded.presence)
                sum += decoded.presence->state + decoded.presence->distance;
        }
        ++frames;
        offset += whole;
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%zu %.6f %llu\n", frames, seconds.count(), static_cast<unsigned long long>(sum));
    return 0;
}
