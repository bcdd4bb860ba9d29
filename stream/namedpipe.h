#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace Vantrel {

class FifoWriter;

// Streams raw output frames, back to back and unframed, into a FIFO for another local process.
// This class owns the FIFO in the file system: it makes it, and removes it only while the path still
// holds that very FIFO. Writing the frames is the FifoWriter's job. Its owner connects the frames and
// the closing to its slots.
class NamedPipe : public QObject
{
    Q_OBJECT

public:
    explicit NamedPipe(QObject *parent = nullptr);
    ~NamedPipe() override;

    bool create(QString name);

public Q_SLOTS:
    void newRawData(uint32_t id, std::vector<uint8_t> data);
    void close();

private:
    bool sameFifo(const struct stat &found) const;
    void removeFifo();

    QByteArray m_path;
    std::unique_ptr<FifoWriter> m_writer; // from a successful create until close
    // A handle on the FIFO made at m_path (O_PATH: neither reader nor writer), which tells it by device
    // and inode from any file put there later. Holding it also keeps the inode number from passing to
    // a file made after the FIFO is gone.
    int m_fifo = -1;
};

} // namespace Vantrel
