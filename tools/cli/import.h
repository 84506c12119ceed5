#pragma once
// The import of a device image into a table file, shared by `import` and
// `download`.
#include <QString>
#include <QStringList>

#include "device/device_image.h"

namespace hv::cli {

// Reads "--create FILE.db" or "--append FILE.db" at args[*i]; true when it was
// one of them (then *i is moved past its value). A second target is an error.
bool takeImportTarget(const QStringList& args, int* i, bool* append, QString* file, QString* error);

// Creates or extends `file` from the image; prints the append report lines.
// Returns the process exit code (0, or 1 with the reason on standard error).
int importImage(const DeviceImageBytes& image, bool append, const QString& file);

}  // namespace hv::cli
