// Files a test puts in place before the program under test reads them.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace Vantrel::Test {

// Writes the file whole, replacing what was there; false when it cannot.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace Vantrel::Test
