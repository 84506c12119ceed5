#include "app/import_commands.h"

#include <QCoreApplication>
#include <QThread>

#include "app/archive_pages.h"
#include "app/table_change.h"
#include "app/table_document.h"
#include "device/download_dialog.h"
#include "device/import/archive_import.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "store/db_table.h"
#include "store/table_errors.h"

namespace hv {

ImportCommands::ImportCommands(TableDocument& document, ArchivePages& pages, QWidget* parent,
                               const QString& dialogFolder)
    : document_(document),
      pages_(pages),
      parent_(parent),
      dialogFolder_(dialogFolder),
      download_(new DownloadDialog(parent)) {}

bool ImportCommands::downloadFromMeter() {
  return download_->exec() == mrOk;
}

void ImportCommands::createFromMeter() {
  if (document_.isOpen() && !document_.Close_DB()) return;
  FileDialogRequest request;
  request.filter = QStringLiteral("Файлы данных|*.db");
  request.defaultExt = QStringLiteral(".db");
  request.initialDir = dialogFolder_;
  // The platform's question before a file is replaced: a table holds
  // measurements the meter may no longer have.
  request.overwritePrompt = true;
  const QString path = withDefaultExtension(ui().saveFileName(parent_, request), request.defaultExt);
  if (path.isEmpty()) return;
  // Refused before the meter is asked.
  if (const QString why = companionNameConflict(path); !why.isEmpty()) {
    ui().message(parent_, QStringLiteral("Ошибка"), why, MsgIcon::Error, MsgButtons::Ok);
    return;
  }
  if (downloadFromMeter()) Create_DB(path, download_->image());
}

void ImportCommands::appendFromMeter() {
  if (!document_.isOpen() || document_.isReadOnly()) return;
  if (!downloadFromMeter()) return;
  appendDownload(download_->image());
}

void ImportCommands::appendDownload(const DeviceImageBytes& image) {
  if (!document_.isOpen() || document_.isReadOnly()) return;
  if (!document_.isActive()) {
    document_.Save_DB();
    pages_.showNonEmptyArchives();
    pages_.refresh();
    return;
  }
  // Record order, so that the last row of each archive is the one appended last.
  pages_.resetSort(ArchiveKind::Wood);
  pages_.postPendingEdit();
  TDbTable& table = document_.table();
  // Beside the window the report boxes wait until the table is written.
  QList<ArchiveImportResult> reports;
  const auto report = [this, &reports](const ArchiveImportResult& r) {
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
      showAppendReport(r);
    else
      reports.append(r);
  };
  bool backedUp = false;
  bool finished = false;
  QString indexProblem;
  try {
    // All or nothing: on a failure the grids show the table as it was.
    document_.changeTable([&] {
      finished = runTableChange(parent_, pages_, table, {QStringLiteral("Дополнение таблицы"), 1, [&](store::WriteWatch& watch) {
        // The table as it was stays beside it before rows are added.
        try {
          table.writeBackup();
        } catch (const TableWriteCancelled&) {
          throw;
        } catch (const Error& e) {
          throw Error(QStringLiteral("Записи не добавлены. ") + e.text());
        }
        backedUp = true;
        if (watch.stop) throw TableWriteCancelled(QStringLiteral("Записи не добавлены."));
        watch.committed = true;
        ImportArchives(table, image, true, report);
        // Written by closing and reopening, unless another program has put
        // its own file in the table's place (said by Save_DB below).
        table.checkUnchanged();
        indexProblem = document_.reopenTable();
      }});
    });
  } catch (const TableReplacedError&) {
    if (backedUp) document_.backupReplaced();
    for (const ArchiveImportResult& r : reports) showAppendReport(r);
    document_.Save_DB();
    return;
  } catch (...) {
    if (backedUp) document_.backupReplaced();
    throw;
  }
  if (backedUp) document_.backupReplaced();
  if (!finished) return;
  for (const ArchiveImportResult& r : reports) showAppendReport(r);
  document_.showReopened(indexProblem);
  document_.setChanged(false);
  pages_.showNonEmptyArchives();
  pages_.refresh();
}

void ImportCommands::showAppendReport(const ArchiveImportResult& r) {
  ui().message(parent_, QStringLiteral("Дополнение"), appendReportText(r),
               r.unreadableLastRow ? MsgIcon::Warning : MsgIcon::Information, MsgButtons::Ok);
}

void ImportCommands::Create_DB(const QString& path, const DeviceImageBytes& image) {
  if (ImageIsEmpty(image)) {
    ui().message(parent_, QStringLiteral("Ошибка"), emptyDeviceArchiveText(), MsgIcon::Information, MsgButtons::Ok);
    return;
  }
  document_.create(path, [this, &image](TDbTable&) { flash2hygrovan(false, image); });
}

void ImportCommands::flash2hygrovan(bool append, const DeviceImageBytes& image) {
  if (!document_.isActive()) return;
  ImportArchives(document_.table(), image, append, [this](const ArchiveImportResult& r) { showAppendReport(r); });
}

}  // namespace hv
