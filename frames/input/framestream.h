#pragma once

#include "frames/input/framerecording.h"
#include "frames/input/framesplitter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>

class QSocketNotifier;
class QTimer;

namespace Vantrel {

class FrameDispatcher;

// Reads a stream of size-prefixed frames (a FIFO, a recording, standard input) and hands each
// whole frame to the dispatcher, aligned for in-place reading. Frames can be appended to a
// recording as they are read. The stream ends at its end, or with status 1 when it is cut in the
// middle of a frame, announces a frame larger than 16 MiB, or cannot be read.
//
// Following a FIFO, the stream does not end with its writer: a write end of our own keeps the
// FIFO open (or, when we may only read it, it is opened again at each end), and a FIFO that is removed or made anew under its path is opened again. A followed
// stream in which no whole frame has been read for a while is stale until the next one comes.
class FrameStream : public QObject
{
    Q_OBJECT
public:
    FrameStream(FrameDispatcher &dispatcher, QObject *parent = nullptr);
    ~FrameStream() override;

    // source: a path, or empty for standard input. False with a message when the source or the
    // recording cannot be opened (a FIFO to follow may appear later).
    bool open(const QString &source, bool follow, const QString &recordPath, QString &error);
    // Stops reading, without a finished() signal.
    void close();
    // How long a followed stream may go without a whole frame before it is stale; 0: never. Set
    // before open(), from which the time counts.
    void setStaleAfter(double seconds);

Q_SIGNALS:
    // A source was opened (again): a new stream begins.
    void opened();
    void finished(int status);
    // A followed stream went stale, or a frame came again; each change is also told on standard error.
    void staleChanged(bool stale);

private:
    bool openSource(QString &error);
    void closeSource();
    // One read; the bytes read, 0 at the end or when nothing was there.
    qint64 readAvailable();
    void checkFollowedPath();
    bool isSourceAtPath() const;
    // Drops a frame cut by a writer that went and opens the followed FIFO again.
    void startOver();
    // Hands over the whole frames in the buffer; false when the stream cannot go on.
    bool takeFrames();
    // Whole frames came in the last read.
    void framesRead();
    void checkStale();
    void end(int status, const QString &message = QString());

    FrameDispatcher &m_dispatcher;
    QString m_source;
    bool m_follow = false;
    int m_fd = -1;
    bool m_followedFifo = false;
    int m_keepOpenFd = -1; // our own write end of a followed FIFO, when we may open one
    uint64_t m_sourceDevice = 0;
    uint64_t m_sourceInode = 0;
    FrameRecording m_recording;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_followTimer = nullptr;
    FrameSplitter m_splitter;
    bool m_ended = false;
    int m_staleAfterMs = 0;
    QTimer *m_staleTimer = nullptr;
    QElapsedTimer m_sinceFrames; // since the last read with whole frames
    bool m_stale = false;
};

} // namespace Vantrel
