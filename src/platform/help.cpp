#include "platform/help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include "platform/help_window.h"

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

bool showHelpContents(const QString& helpFile, QString* error, QWidget* parent) {
  if (helpFile.isEmpty() || !QFileInfo::exists(helpFile)) {
    if (error)
      *error = QStringLiteral("Файл справки не найден: %1").arg(QDir::toNativeSeparators(helpFile));
    return false;
  }
  const QString suffix = QFileInfo(helpFile).suffix().toLower();
  if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
    // Our own window: a desktop without a browser would hand the page to
    // whatever opens text, which shows the markup.
    static QPointer<HelpWindow> window;
    if (!window) window = new HelpWindow(parent ? parent->window() : nullptr);
    if (!window->showFile(helpFile)) {
      if (error)
        *error = QStringLiteral("Не удалось прочитать файл справки: %1").arg(QDir::toNativeSeparators(helpFile));
      return false;
    }
    window->show();
    window->raise();
    window->activateWindow();
    return true;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile))) {
    // No program to open it with (on Linux: no xdg-open): say where the
    // guide is, so the user can open it in a browser by hand.
    if (error) {
      *error = QStringLiteral("Не удалось открыть файл справки. Откройте в веб-браузере файл\n%1")
                   .arg(QDir::toNativeSeparators(QFileInfo(helpFile).absoluteFilePath()));
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
      *error += QStringLiteral("\n\nЧтобы справка открывалась сама, установите пакет xdg-utils "
                               "(sudo apt-get install xdg-utils).");
#endif
    }
    return false;
  }
  return true;
}

}  // namespace hv
