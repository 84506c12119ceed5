#include "platform/version.h"

#ifdef _WIN32
#include <QDir>

#include "platform/version_lookup.h"
#endif

#include "build_version.h"

namespace hv {

QString builtInFileVersion() { return QStringLiteral(HYGROVAN_FILE_VERSION); }

QString fileVersion(const QString& exePath) {
#ifdef _WIN32
  // The version resource of the executable itself (hygrovan.rc).
  const std::string v =
      lookUpFileVersion(QDir::toNativeSeparators(exePath).toLocal8Bit().toStdString(), win32VersionInfoCalls());
  return QString::fromLocal8Bit(v.data(), qsizetype(v.size()));
#else
  Q_UNUSED(exePath);
  const QString v = builtInFileVersion();
  // A value shorter than one character (an empty text) counts as missing.
  return v.isEmpty() ? QStringLiteral("0.0.0.0") : v;
#endif
}

}  // namespace hv
