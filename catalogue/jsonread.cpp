#include "catalogue/jsonread.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonArray>

#include <optional>

namespace Vantrel::JsonRead {

namespace {

// The messages' translation context.
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(JsonRead)
};

// The value under `key` when present and of the expected type; warns on a wrong type.
std::optional<QJsonValue> typedValue(const QJsonObject &object, const QString &key, QJsonValue::Type type)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    if (it->type() != type) {
        qWarning().noquote() << Messages::tr("Type doesn't match for key %1").arg(key);
        return std::nullopt;
    }
    return *it;
}

} // namespace

void read(const QJsonObject &object, const QString &key, QString &field)
{
    if (const auto value = typedValue(object, key, QJsonValue::String))
        field = value->toString();
}

void read(const QJsonObject &object, const QString &key, double &field)
{
    if (const auto value = typedValue(object, key, QJsonValue::Double))
        field = value->toDouble();
}

void read(const QJsonObject &object, const QString &key, bool &field)
{
    if (const auto value = typedValue(object, key, QJsonValue::Bool))
        field = value->toBool();
}

void read(const QJsonObject &object, const QString &key, QStringList &field)
{
    const auto value = typedValue(object, key, QJsonValue::Array);
    if (!value)
        return;
    const QJsonArray array = value->toArray();
    for (const QJsonValue element : array) {
        if (element.isString())
            field.append(element.toString());
        else
            qWarning().noquote() << Messages::tr("Type doesn't match for key %1, expected string").arg(key);
    }
}

bool read(const QJsonObject &object, const QString &key, QJsonObject &field)
{
    const auto value = typedValue(object, key, QJsonValue::Object);
    if (!value)
        return false;
    field = value->toObject();
    return true;
}

QVector<QJsonObject> readObjects(const QJsonObject &object, const QString &key)
{
    QVector<QJsonObject> result;
    if (const auto value = typedValue(object, key, QJsonValue::Array)) {
        const QJsonArray array = value->toArray();
        result.reserve(array.size());
        for (const QJsonValue element : array)
            result.append(element.toObject());
    }
    return result;
}

} // namespace Vantrel::JsonRead
