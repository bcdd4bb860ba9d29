#include "tests/e2e/cli/fiforeader.h"

#include "platform/weavegraph/frame_generated.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

bool waitForFifo(const QString &path, int timeoutMs)
{
    const QByteArray nativePath = QFile::encodeName(path);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        struct stat status = {};
        if (::stat(nativePath.constData(), &status) == 0 && S_ISFIFO(status.st_mode))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

FifoEnd::FifoEnd(const QString &path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
{
}

FifoEnd::~FifoEnd()
{
    if (m_fd != -1)
        ::close(m_fd);
}

bool FifoEnd::setCapacity(int bytes)
{
    return ::fcntl(m_fd, F_SETPIPE_SZ, bytes) >= bytes;
}

QByteArray FifoEnd::readAvailable(int most)
{
    QByteArray bytes;
    char buffer[4096];
    while (bytes.size() < most) {
        const ssize_t count = ::read(m_fd, buffer, std::min<size_t>(sizeof buffer, size_t(most - bytes.size())));
        if (count > 0)
            bytes.append(buffer, static_cast<int>(count));
        else if (count == 0 || errno != EINTR)
            return bytes;
    }
    return bytes;
}

QByteArray FifoEnd::readSome(int timeoutMs, int most)
{
    pollfd descriptor = {m_fd, POLLIN, 0};
    if (::poll(&descriptor, 1, timeoutMs) <= 0)
        return {};
    return readAvailable(most);
}

FifoReader::FifoReader(const QString &path, ReadPace pace)
    : m_end(path)
    , m_pace(pace)
{
    if (m_end.isOpen())
        m_thread = std::thread(&FifoReader::readLoop, this);
}

FifoReader::~FifoReader()
{
    finish();
}

QByteArray FifoReader::finish()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytes;
}

void FifoReader::readLoop()
{
    // Once the writer has come and gone, poll answers at once with a hang-up; the pause keeps the
    // loop from spinning until the test stops it.
    std::mt19937 random(24); // the same pace on every run
    std::uniform_int_distribution<int> pause(m_pace.pauseMs, std::max(m_pace.pauseMs, m_pace.pauseMaxMs));
    while (!m_stop) {
        const QByteArray bytes = m_end.readSome(50, m_pace.chunkBytes);
        if (bytes.isEmpty())
            QThread::msleep(5);
        else if (const int pauseMs = pause(random); pauseMs > 0)
            QThread::msleep(static_cast<unsigned long>(pauseMs));
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes += bytes;
    }
    const QByteArray rest = m_end.readAvailable();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bytes += rest;
}

std::vector<uint32_t> FrameStream::sequenceNumbers() const
{
    std::vector<uint32_t> numbers;
    for (const StreamFrame &frame : frames)
        numbers.push_back(frame.sequenceNumber);
    return numbers;
}

FrameStream readFrames(const QByteArray &bytes)
{
    FrameStream stream;
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const size_t size = static_cast<size_t>(bytes.size());
    size_t offset = 0;
    while (offset < size) {
        uint32_t length = 0;
        if (size - offset < sizeof length) {
            stream.endsInsideAFrame = true;
            break;
        }
        std::memcpy(&length, data + offset, sizeof length); // little-endian host, as the stream
        const size_t frameSize = sizeof length + length;
        if (size - offset < frameSize) {
            stream.endsInsideAFrame = true;
            break;
        }
        flatbuffers::Verifier verifier(data + offset, frameSize);
        if (!Vantrel::Frames::VerifySizePrefixedFrameBuffer(verifier)) {
            stream.wellFormed = false;
            break;
        }
        const Vantrel::Frames::Frame *frame = Vantrel::Frames::GetSizePrefixedFrame(data + offset);
        stream.frames.push_back({frame->sequenceNumber(), frame->timestamp()});
        offset += frameSize;
    }
    return stream;
}
