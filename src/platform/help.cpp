#include "platform/help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace hv {

QString findHelpFile(const QString& exeDir) {
  const QDir dir(exeDir);
  const QStringList candidates = {
      dir.filePath(QStringLiteral("hygrovan.hlp")),
      dir.filePath(QStringLiteral("hygrovan.html")),
      dir.filePath(QStringLiteral("../share/doc/hygrovan/hygrovan.html")),
      dir.filePath(QStringLiteral("../share/hygrovan/hygrovan.html")),
  };
  for (const QString& c : candidates)
    if (QFileInfo::exists(c)) return QFileInfo(c).absoluteFilePath();
  return dir.filePath(QStringLiteral("hygrovan.html"));
}

bool showHelpContents(const QString& helpFile, QString* error) {
  if (helpFile.isEmpty() || !QFileInfo::exists(helpFile)) {
    if (error)
      *error = QStringLiteral("Файл справки не найден: %1").arg(QDir::toNativeSeparators(helpFile));
    return false;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile))) {
    if (error)
      *error = QStringLiteral("Не удалось открыть файл справки: %1").arg(QDir::toNativeSeparators(helpFile));
    return false;
  }
  return true;
}

}  // namespace hv
