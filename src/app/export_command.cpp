#include "app/export_command.h"

#include <atomic>
#include <memory>

#include "app/archive_pages.h"
#include "app/table_document.h"
#include "export/workbook_writers.h"
#include "platform/ui.h"
#include "report/progress_window.h"
#include "store/db_table.h"

namespace hv {

ExportCommand::ExportCommand(TableDocument& document, ArchivePages& pages, QWidget* parent,
                             const QString& dialogFolder)
    : document_(document), pages_(pages), parent_(parent), dialogFolder_(dialogFolder) {}

void ExportCommand::run() {
  if (document_.isOpen() && document_.isActive()) exp2excel();
}

void ExportCommand::exp2excel() {
  if (!document_.isActive()) return;
  FileDialogRequest request;
  request.filter = excelExportDialogFilter();
  request.defaultExt = excelExportDefaultSuffix();
  request.initialDir = dialogFolder_;
  request.overwritePrompt = false;  // the workbook replaces a file of that name
  request.fileName = proposedFileName(request.defaultExt);
  const QString fileName = withDefaultExtension(ui().saveFileName(parent_, request), request.defaultExt);
  if (fileName.isEmpty()) return;

  // The table is read in record order from here on.
  for (ArchiveKind kind : kArchiveKinds) pages_.resetSort(kind);

  ArchiveSet shown{};
  for (ArchiveKind kind : kArchiveKinds) shown[archiveNumber(kind)] = pages_.hasTab(kind);
  // The export leaves the table on its first row; the grids follow it, also
  // after an error or a cancel.
  bool written = false;
  try {
    written = writeWorkbook(fileName, shown);
  } catch (...) {
    pages_.refresh();
    throw;
  }
  pages_.refresh();
  if (!written) return;
  ui().message(parent_, excelExportCaption(), excelExportSuccessText(fileName), MsgIcon::Information, MsgButtons::Ok);
}

bool ExportCommand::writeWorkbook(const QString& fileName, const ArchiveSet& shown) {
  TDbTable& table = document_.table();
  qint64 rows = 0;
  for (ArchiveKind kind : kArchiveKinds)
    if (shown[archiveNumber(kind)]) rows += table.rowCount(ArchiveFilter(kind));
  auto workbook = std::make_unique<TXlsWorkbook>();
  TBiff8Writer writer;
  if (rows < kRowsWrittenBeside) {
    fillArchiveWorkbook(table, *workbook, shown);
    writer.Save(*workbook, fileName);
    return true;
  }
  // The rows are read here between the windows' events (the table is the
  // window's), the sheets filled and the file written on threads beside.
  report::ProgressWindow progress(parent_, excelExportCaption());
  progress.show();
  if (!fillArchiveWorkbook(table, *workbook, shown,
                           [&](qint64 done, qint64 total) { return progress.rowsDone(int(done), int(total)); }))
    return false;
  std::atomic<bool> stop{false};
  std::atomic<qint64> written{0};
  writer.watch(&written, &stop);
  try {
    // A big workbook takes a while to let go of as well.
    progress.runBeside(
        [&] {
          writer.Save(*workbook, fileName);
          workbook.reset();
        },
        [&] { return written.load(); }, rows, stop);
  } catch (const SaveCancelled&) {
    return false;
  }
  return true;
}

}  // namespace hv
