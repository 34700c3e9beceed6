#include "resource_extraction.h"

#include "application_folder.h"

#include <QFile>
#include <QSaveFile>

namespace {

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// True when the file at `path` holds exactly `content`. Compares the size
// first so that a different file is mostly not read at all.
bool HoldsExactly(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != content.size()) {
        return false;
    }
    return file.readAll() == content;
}

}  // namespace

QString LoadResString(int id) {
    return QString::fromUtf8(ReadWhole(QStringLiteral(":/strings/%1").arg(id))).trimmed();
}

QByteArray LoadResData(int id) {
    return ReadWhole(QStringLiteral(":/custom/%1").arg(id));
}

ExtractedFile ExtractResourceFile(const QString& folder, int nameId, int dataId) {
    const QString name = LoadResString(nameId);
    ExtractedFile result{JoinPath(folder, name), {}};
    const QByteArray content = LoadResData(dataId);
    if (name.isEmpty() || content.isEmpty()) {
        result.error = QStringLiteral("resource %1/%2 is missing").arg(nameId).arg(dataId);
        return result;
    }
    if (HoldsExactly(result.path, content)) {
        return result;
    }
    QSaveFile file(result.path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        result.error = file.errorString();
    }
    return result;
}
