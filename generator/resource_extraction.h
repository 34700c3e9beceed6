// The program's own resources, looked up by id, and writing one out as a file.
#pragma once

#include <QByteArray>
#include <QString>

// Resource ids of the library that the program carries: the string with
// its file name, and the file itself.
inline constexpr int kLibraryNameId = 101;
inline constexpr int kLibraryDataId = 101;

// The string resource `id` (":/strings/<id>", UTF-8, surrounding white space
// dropped); empty when there is none. Any thread.
QString LoadResString(int id);

// The custom resource `id` (":/custom/<id>"), byte for byte; empty when there
// is none. Any thread.
QByteArray LoadResData(int id);

struct ExtractedFile {
    QString path;   // the file's full path, also when writing failed
    QString error;  // empty on success, else what went wrong (for the user)
};

// Writes the custom resource `dataId` into `folder` under the name held by
// the string resource `nameId` (path joined with JoinPath). The file ends up
// holding exactly the resource: a file already holding those bytes is left
// untouched (an installed, read-only copy works, and a running second copy
// of the program is not disturbed); anything else is replaced atomically
// through a temporary file in the same folder. Any thread.
ExtractedFile ExtractResourceFile(const QString& folder, int nameId, int dataId);
