#include "platform/version.h"

#ifndef HYGROVAN_FILE_VERSION
#define HYGROVAN_FILE_VERSION ""
#endif

namespace hv {

QString builtInFileVersion() { return QStringLiteral(HYGROVAN_FILE_VERSION); }

QString fileVersion(const QString& exePath) {
  Q_UNUSED(exePath);
  const QString v = builtInFileVersion();
  // A value shorter than one character (an empty text) counts as missing.
  return v.isEmpty() ? QStringLiteral("0.0.0.0") : v;
}

}  // namespace hv
