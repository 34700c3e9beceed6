#include "resources.h"

#include <QFile>

namespace {

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

QString LoadResString(int id) {
    return QString::fromUtf8(ReadWhole(QStringLiteral(":/strings/%1").arg(id))).trimmed();
}

QByteArray LoadResData(int id) {
    return ReadWhole(QStringLiteral(":/custom/%1").arg(id));
}
