#include "StoredDocument.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStringList>

namespace
{

QJsonValue edit(const QJsonValue &value, QStringList path, const QJsonValue &replacement)
{
    const QString head = path.takeFirst();
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        const int index = head.toInt();
        if (path.isEmpty() && replacement.isUndefined())
            array.removeAt(index);
        else
            array[index] = path.isEmpty() ? replacement : edit(array.at(index), path, replacement);
        return array;
    }
    QJsonObject object = value.toObject();
    if (path.isEmpty() && replacement.isUndefined())
        object.remove(head);
    else
        object[head] = path.isEmpty() ? replacement : edit(object.value(head), path, replacement);
    return object;
}

} // namespace

QByteArray StoredDocument::fixture(const QString &name)
{
    QFile file(QStringLiteral(MOONFORGE_FIXTURES_DIR "/persistence/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray StoredDocument::edited(const QByteArray &bytes, const QString &path,
                                  const QJsonValue &replacement)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue root =
        document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    const QJsonValue result = edit(root, path.split(QLatin1Char('/')), replacement);
    return (result.isArray() ? QJsonDocument(result.toArray()) : QJsonDocument(result.toObject()))
        .toJson(QJsonDocument::Compact);
}

QByteArray StoredDocument::stored(const TestEnvironment &env, const QString &key)
{
    return QSettings(env.environment().settingsPath, QSettings::IniFormat).value(key).toByteArray();
}

void StoredDocument::store(const TestEnvironment &env, const QString &key, const QByteArray &bytes)
{
    QSettings(env.environment().settingsPath, QSettings::IniFormat).setValue(key, bytes);
}
