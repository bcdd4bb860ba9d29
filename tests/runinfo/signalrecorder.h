// Records the names of every signal an object declares itself (not QObject's own), in the
// order they are emitted, so that orders across different signals can be compared.
#pragma once

#include <QObject>
#include <QStringList>

namespace Vantrel::Test {

class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    explicit SignalRecorder(QObject *source);

    const QStringList &names() const { return m_names; }
    void clear() { m_names.clear(); }

private Q_SLOTS:
    void record();

private:
    QStringList m_names;
};

} // namespace Vantrel::Test
