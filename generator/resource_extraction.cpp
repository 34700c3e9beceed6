#include "resource_extraction.h"

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

ExtractedFile ExtractResourceFile(const QString& folder, int nameId, int dataId) {
    const QByteArray content = LoadResData(dataId);
    return ExtractResourceFile(QFile::encodeName(folder).toStdString(),
                               QFile::encodeName(LoadResString(nameId)).toStdString(),
                               std::string_view(content.constData(), std::size_t(content.size())));
}
