#include "platform/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace hv {

QTranslator* installQtTranslations() {
  static QPointer<QTranslator> installed;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return nullptr;
  if (installed) return installed;
  const QStringList dirs = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
  // qtbase_ru is Debian's (and the Qt installer's) catalogue of the base
  // modules; qt_ru is the one windeployqt merges them into.
  for (const QString& dir : dirs) {
    for (const char* name : {"qtbase_ru", "qt_ru"}) {
      auto* translator = new QTranslator(app);
      if (translator->load(QString::fromLatin1(name), dir) && QCoreApplication::installTranslator(translator))
        return installed = translator;
      delete translator;
    }
  }
  return nullptr;
}

}  // namespace hv
