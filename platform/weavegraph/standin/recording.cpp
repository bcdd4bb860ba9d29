#include "platform/weavegraph/standin/recording.h"

#include "platform/weavegraph/frame_generated.h"
#include "platform/weavegraph/standin/errors.h"
#include "platform/weavegraph/standin/files.h"

namespace Vantrel::Standin {

int loadRecording(const std::string &path, Recording &recording, std::string &error)
{
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, maxRecordingSize, bytes, error))
        return RecordingUnreadable;
    const int result = splitRecording(std::move(bytes), recording, error);
    if (result != Ok)
        error = path + ": " + error;
    return result;
}

int splitRecording(std::vector<uint8_t> bytes, Recording &recording, std::string &error)
{
    std::vector<RecordedFrame> frames;
    size_t offset = 0;
    while (offset < bytes.size()) {
        const size_t left = bytes.size() - offset;
        if (left < sizeof(flatbuffers::uoffset_t)) {
            error = "truncated size prefix at byte " + std::to_string(offset);
            return RecordingMalformed;
        }
        const uint8_t *frame = bytes.data() + offset;
        const size_t length = flatbuffers::GetPrefixedSize(frame);
        if (length > left - sizeof(flatbuffers::uoffset_t)) {
            error = "frame at byte " + std::to_string(offset) + " runs past the end";
            return RecordingMalformed;
        }
        const size_t whole = length + sizeof(flatbuffers::uoffset_t);
        flatbuffers::Verifier verifier(frame, whole);
        if (!Frames::VerifySizePrefixedFrameBuffer(verifier)) {
            error = "frame at byte " + std::to_string(offset) + " is not a valid frame";
            return RecordingMalformed;
        }
        frames.push_back({offset, whole, Frames::GetSizePrefixedFrame(frame)->timestamp()});
        offset += whole;
    }
    if (frames.empty()) {
        error = "recording holds no frames";
        return RecordingMalformed;
    }
    recording.bytes = std::move(bytes);
    recording.frames = std::move(frames);
    return Ok;
}

} // namespace Vantrel::Standin
