#include "bench/e2e/presencefloor.h"

#include "platform/weavegraph/frame_generated.h"
#include "platform/weavegraph/framevocabulary.h"

#include <cinttypes>

namespace Vantrel {

namespace {

const flatbuffers::Vector<int32_t> *presenceValues(const Frames::Frame &frame)
{
    const auto *signalList = frame.signals();
    if (!signalList)
        return nullptr;
    for (const Frames::Signal *signal : *signalList) {
        if (signal->semantic() != Frames::Key::SignalSemanticHumanPresence || !signal->arrays())
            continue;
        for (const Frames::Array *array : *signal->arrays()) {
            if (array->semantic() == Frames::Key::ArraySemanticHumanPresence)
                return array->data() ? array->data()->int32Values() : nullptr;
        }
    }
    return nullptr;
}

} // namespace

PresenceFloor::PresenceFloor(std::FILE *out, bool flushEachLine)
    : m_out(out)
    , m_flushEachLine(flushEachLine)
{
}

bool PresenceFloor::handle(const uint8_t *frame, int32_t length)
{
    if (!frame || length <= 0) {
        ++m_refused;
        return false;
    }
    // The program hands every frame on as its own copy; so does the floor. A vector's storage is
    // aligned for the frame's 8-byte scalars.
    m_copy.assign(frame, frame + length);
    flatbuffers::Verifier verifier(m_copy.data(), m_copy.size());
    if (!Frames::VerifySizePrefixedFrameBuffer(verifier)) {
        ++m_refused;
        return false;
    }
    const Frames::Frame *root = Frames::GetSizePrefixedFrame(m_copy.data());
    const auto *values = presenceValues(*root);
    if (!values || values->size() < 4) {
        ++m_refused;
        return false;
    }
    const float distance = static_cast<float>(values->Get(1)) * 100.0f;
    uint32_t scaled = 0;
    if (distance >= 4294967296.0f)
        scaled = UINT32_MAX;
    else if (distance > 0.0f)
        scaled = static_cast<uint32_t>(distance);
    std::fprintf(m_out, "%" PRId64 ";\t%" PRIu32 ";\t%d;\t\n", static_cast<int64_t>(root->timestamp()), scaled / 10,
                 values->Get(0) != 0 ? 1 : 0);
    if (m_flushEachLine)
        std::fflush(m_out);
    ++m_printed;
    return true;
}

} // namespace Vantrel
