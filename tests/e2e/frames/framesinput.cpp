#include "tests/e2e/frames/framesinput.h"

#include "platform/weavegraph/framevocabulary.h"
#include "tests/support/eventstreamtesting.h"
#include "tests/support/testframebuilder.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Vantrel::Test {

QByteArray presenceFrame(bool presence, uint32_t sequenceNumber, int32_t distance, int32_t confidence)
{
    namespace Key = Frames::Key;
    const std::vector<uint8_t> frame = Fixtures::singleSignalFrame(
        Key::SignalSemanticHumanPresence,
        {Fixtures::int32Array(Key::ArraySemanticHumanPresence, {presence ? 1 : 0, distance, 0, confidence})},
        sequenceNumber);
    return QByteArray(reinterpret_cast<const char *>(frame.data()), int(frame.size()));
}

FifoWriter::FifoWriter(QString path)
    : m_path(std::move(path))
{
}

bool FifoWriter::open()
{
    // Made anew after close(), as each run of vantrel-cli does.
    ::mkfifo(QFile::encodeName(m_path).constData(), 0600);
    // Without a reader, a non-blocking open fails with ENXIO: the reader may still be starting.
    return waitUntil([this] {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        return m_fd >= 0;
    });
}

bool FifoWriter::writePresence(bool presence, uint32_t sequenceNumber)
{
    const QByteArray frame = presenceFrame(presence, sequenceNumber);
    return m_fd >= 0 && ::write(m_fd, frame.constData(), size_t(frame.size())) == frame.size();
}

void FifoWriter::close()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    QFile::remove(m_path);
}

} // namespace Vantrel::Test
