#include "store/table_backup.h"

#include <QFileInfo>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "store/index_tags.h"
#include "store/table_errors.h"
#include "store/table_file.h"

namespace hv {

namespace {

bool sameName(const QString& a, const QString& b) {
  return QFileInfo(a).fileName().compare(QFileInfo(b).fileName(), Qt::CaseInsensitive) == 0;
}

// The reason of a file error for a message, in the user's words.
QString reasonOf(const FileError& e, const QString& path) { return QString::fromStdString(reasonTextOf(e, path.toStdString())); }

}  // namespace

QString backupPathFor(const QString& tablePath) {
  QString index = store::indexPathFor(tablePath);
  index.chop(4);  // ".mdx"
  return index + QStringLiteral(".bak");
}

QString companionNameConflict(const QString& tablePath) {
  const QString name = QFileInfo(tablePath).fileName();
  const char* companion = nullptr;
  if (sameName(store::indexPathFor(tablePath), tablePath))
    companion = "индекс";
  else if (sameName(backupPathFor(tablePath), tablePath))
    companion = "резервную копию";
  if (!companion) return {};
  return QStringLiteral("Файл «%1» нельзя использовать как таблицу: программа хранит рядом с таблицей её %2 "
                        "в файле с тем же именем и расширением «.%3», и он записался бы поверх самой таблицы. "
                        "Выберите имя с другим расширением, например «.db».")
      .arg(name, QString::fromUtf8(companion), QFileInfo(tablePath).suffix());
}

void checkCompanionNames(const QString& tablePath) {
  if (const QString why = companionNameConflict(tablePath); !why.isEmpty()) throw Error(why);
}

void restoreBackup(const QString& tablePath, const TableBackup& expected, store::WriteWatch* watch) {
  const QString backup = backupPathFor(tablePath);
  const QString cannot = QStringLiteral("Удаление не отменено, таблица «%1» не изменена: ").arg(tablePath);
  std::uint64_t recordLength = 1;
  {
    // Only a sound measurement table is put back.
    store::TableFile check;
    try {
      check.open(backup, true);
      recordLength = std::max<std::uint64_t>(1, check.layout().recordLength);
    } catch (const Error& e) {
      const bool missing = !QFileInfo::exists(backup);
      throw Error(cannot + (missing ? QStringLiteral("резервной копии «%1» больше нет.").arg(backup)
                                    : QStringLiteral("резервная копия «%1» не является исправной таблицей.\n%2")
                                          .arg(backup, e.text())));
    }
  }
  try {
    // The table may not be held by another program while it is replaced.
    File::openExclusive(tablePath.toStdString(), File::Access::Read);
  } catch (const FileError& e) {
    if (e.reason() != FileError::Reason::Missing)
      throw Error(cannot + QStringLiteral("её файл недоступен: %1.").arg(reasonOf(e, tablePath)));
  }
  try {
    const File in = File::openForReading(backup.toStdString());
    ReplacementFile out(tablePath.toStdString());
    store::ContentDigest digest;
    const std::uint64_t size = in.size();
    std::vector<char> chunk(std::size_t(1) << 20);
    for (std::uint64_t at = 0; at < size;) {
      const std::size_t n = in.readAt(at, chunk.data(), std::size_t(std::min<std::uint64_t>(chunk.size(), size - at)));
      if (n == 0) break;
      out.file().writeAt(at, chunk.data(), n);
      digest.add(chunk.data(), n);
      at += n;
      if (watch) {
        watch->done += std::int64_t(n / recordLength);
        if (watch->stop) throw TableWriteCancelled(QStringLiteral("Удаление не отменено."));
      }
    }
    if (!expected.digest.isEmpty() && digest.result() != expected.digest)
      throw Error(cannot + QStringLiteral("резервная копия «%1» изменена после удаления другой программой.").arg(backup));
    if (watch) watch->committed = true;
    out.commit(true);
  } catch (const FileError& e) {
    throw Error(cannot + QStringLiteral("не удалось записать её из резервной копии «%1»: %2.").arg(backup, reasonOf(e, tablePath)));
  }
}

}  // namespace hv
