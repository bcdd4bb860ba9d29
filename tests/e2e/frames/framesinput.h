// What the end-to-end tests feed vantrel-frames: human-presence frames as the runtime writes them,
// and a FIFO held open as vantrel-cli holds it while it runs.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace Vantrel::Test {

// A human-presence frame; the distance in the runtime's millimetres.
QByteArray presenceFrame(bool presence, uint32_t sequenceNumber, int32_t distance = 738, int32_t confidence = 97);

// The write end of a FIFO made at path.
class FifoWriter
{
public:
    explicit FifoWriter(QString path);
    ~FifoWriter() { close(); }

    // Makes the FIFO when it is not there, and waits for a reader to have it open.
    bool open();
    // A human-presence frame at 73.8 cm with confidence 97, in one write.
    bool writePresence(bool presence, uint32_t sequenceNumber);
    // The writer goes and its FIFO with it, as at the end of a run.
    void close();

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace Vantrel::Test
