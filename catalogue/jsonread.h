// Typed reads of definition keys. An absent key leaves the field alone silently; a key of the
// wrong JSON type (null included) leaves it alone with a warning. Nothing is converted.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Vantrel::JsonRead {

void read(const QJsonObject &object, const QString &key, QString &field);
void read(const QJsonObject &object, const QString &key, double &field);
void read(const QJsonObject &object, const QString &key, bool &field);
// Elements that are not strings are skipped with their own warning; the others are kept.
void read(const QJsonObject &object, const QString &key, QStringList &field);
// True when the key holds an object, which is then stored in `field`.
bool read(const QJsonObject &object, const QString &key, QJsonObject &field);
// The elements of an array of objects, in array order; an element that is not an object
// yields an empty object, so that it fails its own validation.
QVector<QJsonObject> readObjects(const QJsonObject &object, const QString &key);

} // namespace Vantrel::JsonRead
