// The Qt program's own resources (the qrc), looked up by id, and writing the
// library it carries out as a file.
#pragma once

#include <QByteArray>
#include <QString>

#include "resource_file.h"

// The string resource `id` (":/strings/<id>", UTF-8, surrounding white space
// dropped); empty when there is none. Any thread.
QString LoadResString(int id);

// The custom resource `id` (":/custom/<id>"), byte for byte; empty when there
// is none. Any thread.
QByteArray LoadResData(int id);

// Writes the custom resource `dataId` into `folder` under the name held by
// the string resource `nameId`, as resource_file.h's ExtractResourceFile does
// (the path in the file system's encoding). Any thread.
ExtractedFile ExtractResourceFile(const QString& folder, int nameId, int dataId);
