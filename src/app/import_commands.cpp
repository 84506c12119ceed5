#include "app/import_commands.h"

#include "app/archive_pages.h"
#include "app/table_document.h"
#include "device/download_dialog.h"
#include "device/import/archive_import.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "store/db_table.h"

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
  // Record order, so that the last row of each archive is the one appended last.
  if (document_.isActive()) {
    pages_.resetSort(ArchiveKind::Wood);
    pages_.postPendingEdit();
    // The table as it was stays beside it before rows are added.
    try {
      document_.table().writeBackup();
    } catch (const Error& e) {
      throw Error(QStringLiteral("Записи не добавлены. ") + e.text());
    }
    document_.backupReplaced();
  }
  // All or nothing: on a failure the grids show the table as it was.
  document_.changeTable([this] { flash2hygrovan(true, download_->image()); });
  document_.Save_DB();
  pages_.showNonEmptyArchives();
  pages_.refresh();
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
  ImportArchives(document_.table(), image, append, [this](const ArchiveImportResult& r) {
    ui().message(parent_, QStringLiteral("Дополнение"), appendReportText(r),
                 r.unreadableLastRow ? MsgIcon::Warning : MsgIcon::Information, MsgButtons::Ok);
  });
}

}  // namespace hv
