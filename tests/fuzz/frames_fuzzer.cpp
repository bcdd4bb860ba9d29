// Feeds arbitrary bytes through the frame path: raw copy, verification, decoding by output id.
// Input: one byte choosing the output id, one byte choosing the frame's misalignment, then the frame.

#include "framedecoder.h"
#include "weavegraphrunner.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

const uint32_t OutputIds[] = {0x07BD8EC3, 0x23E70800, 0x4CC44127, 0xD45D6362, 0x25D81213, 0x2A556650,
                              0x769537BE, 0x2D1B1A98, 0x3A9F8F01, 0x7B9595C4, 0x7CA17FFA, 0xAF4D52A1,
                              0xCE4599EC, 0xEC4C60BA, 0xE40C906F, 0x12345678};

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Vantrel::WeaveGraphRunner *const runner = [] {
        qInstallMessageHandler(quiet);
        return new Vantrel::WeaveGraphRunner;
    }();
    if (size < 2)
        return 0;
    const uint32_t outputId = OutputIds[data[0] % (sizeof OutputIds / sizeof OutputIds[0])];
    const size_t offset = data[1] % 8;
    std::vector<uint8_t> buffer(offset + size - 2);
    std::copy(data + 2, data + size, buffer.begin() + static_cast<std::ptrdiff_t>(offset));
    Vantrel::FrameDecoder(*runner).onFrame(outputId, buffer.data() + offset, static_cast<int32_t>(size - 2));
    return 0;
}
