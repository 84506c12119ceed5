#pragma once
// The import of a device image into a table file, shared by `import` and
// `download`.
#include <QString>

#include "cli.h"
#include "device/device_image.h"

namespace hv::cli {

// Where an image goes: "--create FILE.db" or "--append FILE.db".
struct ImportTarget {
  QString file;  // empty: neither option
  bool append = false;
};
void addImportTargetOptions(CommandLine& line);
// An empty text, or what is wrong (both options given).
QString readImportTarget(const CommandLine& line, ImportTarget* target);

// Creates or extends the target from the image; prints the append report lines.
// Returns the process exit code (0, or 1 with the reason on standard error).
int importImage(const DeviceImageBytes& image, const ImportTarget& target);

}  // namespace hv::cli
