#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace Vantrel {

// Replaces a file as a whole: the new content goes to a new file beside it, which is renamed over
// the path only once it is complete, so a reader sees the old or the new content, never a mix.
// The path must be absent or a regular file; a link, FIFO, directory or device there is refused
// and left untouched, since the path may sit in a directory that others can write, like /tmp.
class FileReplacement
{
public:
    explicit FileReplacement(const QString &path);
    // Removes the new file unless it was committed.
    ~FileReplacement();

    // Checks the path and creates the new file beside it.
    bool open();
    // Appends to the new file; false unless all of data was written.
    bool write(const QByteArray &data);
    // Closes the new file and renames it over the path.
    bool commit();

private:
    Q_DISABLE_COPY(FileReplacement)

    void discard();

    const QByteArray m_path;
    QByteArray m_temporaryPath;
    int m_fd = -1;
};

} // namespace Vantrel
