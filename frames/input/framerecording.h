#pragma once

#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace Vantrel {

// A recording of the stream: whole frames appended to a regular file as they are read, so that it
// can be replayed. A write that fails cuts the file back to its last whole frame.
class FrameRecording final
{
    Q_DECLARE_TR_FUNCTIONS(FrameRecording)

public:
    FrameRecording() = default;
    ~FrameRecording();
    FrameRecording(const FrameRecording &) = delete;
    FrameRecording &operator=(const FrameRecording &) = delete;

    // Opens the file to append to; false with a message when it cannot be, or is no regular file.
    bool open(const QString &path, QString &error);
    bool isOpen() const { return m_fd >= 0; }
    // Appends frames read back to back; false with a message when the recording cannot go on, after
    // which it is closed.
    bool append(const uint8_t *frames, size_t length, QString &error);

private:
    int m_fd = -1;
    QString m_path;
    uint64_t m_size = 0;
};

} // namespace Vantrel
