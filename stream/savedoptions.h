#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

namespace Vantrel {

// The options file vantrel-cli saves when it streams frames and vantrel-frames reads: which
// algorithm and parameter files produced the stream, and the presence hold time.
struct SavedRunOptions
{
    QString algorithm;
    double timeout = 0.0; // seconds
    QString graphCommitHash;
    QString graphBuildID;
    QMap<QString, QString> parameters; // name: parameter file

    // Reads the file; nothing and a message when it cannot be read or is not such a document.
    static std::optional<SavedRunOptions> read(const QString &path, QString &error);

    // The file's contents: one JSON object, a member per parameter beside the four above.
    QByteArray toJson() const;
};

} // namespace Vantrel
