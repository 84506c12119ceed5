#include "app/export_command.h"

#include "app/archive_pages.h"
#include "app/grid_commands.h"
#include "app/table_document.h"
#include "export/archive_export.h"
#include "platform/ui.h"

namespace hv {

ExportCommand::ExportCommand(TableDocument& document, ArchivePages& pages, GridCommands& grids, QWidget* parent,
                             const QString& dialogFolder)
    : document_(document), pages_(pages), grids_(grids), parent_(parent), dialogFolder_(dialogFolder) {}

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
  for (ArchiveKind kind : kArchiveKinds) grids_.resetSort(kind);

  ArchiveSet shown{};
  for (ArchiveKind kind : kArchiveKinds) shown[archiveNumber(kind)] = pages_.hasTab(kind);
  // The export puts the filter back and the table on its first row, also on an
  // error; the grids follow the table either way.
  try {
    exportArchivesToFile(document_.table(), shown, fileName);
  } catch (...) {
    pages_.refresh();
    throw;
  }
  pages_.refresh();
  ui().message(parent_, excelExportCaption(), excelExportSuccessText(fileName), MsgIcon::Information, MsgButtons::Ok);
}

}  // namespace hv
