#include "tests/runinfo/signalrecorder.h"

#include <QMetaMethod>

namespace Vantrel::Test {

SignalRecorder::SignalRecorder(QObject *source)
{
    const QMetaObject *meta = source->metaObject();
    const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("record()"));
    for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal)
            connect(source, method, this, slot, Qt::DirectConnection);
    }
}

void SignalRecorder::record()
{
    const QObject *source = sender();
    m_names.append(QString::fromLatin1(source->metaObject()->method(senderSignalIndex()).name()));
}

} // namespace Vantrel::Test
