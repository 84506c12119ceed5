#include "platform/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "platform/file.h"

namespace hv {

QString defaultErrorReportText(const QString& text) {
  if (!text.isEmpty() && text.back() > QChar('.')) return text + QChar('.');
  return text;
}

void throwInvalidFloat(const QString& value) {
  throw Error(QStringLiteral("Значение \"%1\" не является числом.").arg(value));
}

void throwInvalidDateTime(const QString& value) {
  throw Error(QStringLiteral("Значение \"%1\" не является датой и временем.").arg(value));
}

QString systemErrorReason(int code, const QString& path) {
  return QString::fromStdString(reasonTextOf(code, QDir::toNativeSeparators(path).toStdString()));
}

QString writeFailureReason(const QString& path, qint64 bytes) {
  const QFileInfo file(path);
  const QString folder = file.absolutePath();
  if (!QFileInfo(folder).isDir()) return QStringLiteral("папка \"%1\" не найдена").arg(QDir::toNativeSeparators(folder));
  if (file.isDir()) return QStringLiteral("это папка, а не файл");
  const QStorageInfo volume(folder);
  if (volume.isValid() && volume.isReadOnly()) return QStringLiteral("файловая система только для чтения");
  if (!QFileInfo(folder).isWritable()) return QStringLiteral("нет прав на запись в папку");
  if (file.exists() && !file.isWritable()) return QStringLiteral("файл только для чтения");
  if (volume.isValid() && bytes > 0 && volume.bytesAvailable() < bytes) return QStringLiteral("на диске нет места");
  return {};
}

QString writeErrorText(const QString& path, const QString& reason, const QString& detail) {
  QString text = QStringLiteral("Не удалось записать файл \"%1\"").arg(QDir::toNativeSeparators(path));
  if (!reason.isEmpty()) text += QStringLiteral(": ") + reason;
  text += QChar('.');
  // Qt's "Unknown error" says nothing the first line does not.
  const bool vague = detail == QCoreApplication::translate("QIODevice", "Unknown error") ||
                     detail == QLatin1String("Unknown error");
  if (!detail.isEmpty() && detail != reason && !vague) text += QChar('\n') + detail;
  return text;
}

}  // namespace hv
