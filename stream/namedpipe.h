#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

namespace Vantrel {

// Streams raw output frames, back to back and unframed, into a FIFO for another local process.
// The write end is opened lazily and non-blocking: a missing or slow reader costs frames, never time.
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
    bool openForWriting();
    void closeDescriptor();

    QByteArray m_path;
    int m_fd = -1;
    bool m_created = false;
};

} // namespace Vantrel
