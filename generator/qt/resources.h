// The Qt program's own resources (the qrc), looked up by id.
#pragma once

#include <QByteArray>
#include <QString>

// The string resource `id` (":/strings/<id>", UTF-8, surrounding white space
// dropped); empty when there is none. Any thread.
QString LoadResString(int id);

// The custom resource `id` (":/custom/<id>"), byte for byte; empty when there
// is none. Any thread.
QByteArray LoadResData(int id);
