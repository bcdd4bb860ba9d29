// A recorded raw stream: size-prefixed frames back to back, as the host writes them to its pipe.
#ifndef WEAVEGRAPH_STANDIN_RECORDING_H
#define WEAVEGRAPH_STANDIN_RECORDING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vantrel::Standin {

struct RecordedFrame
{
    size_t offset = 0; // of the size prefix
    size_t size = 0; // with the size prefix
    int64_t timestamp = 0;
};

struct Recording
{
    std::vector<uint8_t> bytes;
    std::vector<RecordedFrame> frames;
};

constexpr size_t maxRecordingSize = 256u << 20;

// Reads and checks the whole file: every frame must verify, and at least one must be there.
int loadRecording(const std::string &path, Recording &recording, std::string &error);
int splitRecording(std::vector<uint8_t> bytes, Recording &recording, std::string &error);

} // namespace Vantrel::Standin

#endif
