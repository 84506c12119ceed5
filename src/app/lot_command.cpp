#include "app/lot_command.h"

#include "app/archive_pages.h"
#include "app/table_document.h"
#include "graphs/lot_dialog.h"
#include "views/data_grid.h"

namespace hv {

LotCommand::LotCommand(TableDocument& document, ArchivePages& pages, SettingsKey& settings, QWidget* parent)
    : document_(document), pages_(pages), dialog_(new LotDialog(settings, parent)) {}

void LotCommand::run() {
  if (!document_.isOpen() || !document_.isActive()) return;
  TDataGrid* grid = pages_.shownGrid();
  // One selected row is no lot: the whole archive is judged, and the title says so.
  const bool selection = grid->hasExplicitSelection() && grid->selectedCount() >= 2;
  LotSubject subject;
  subject.tableFile = document_.table().fileName();
  subject.archive = pages_.shownKind();
  subject.wholeArchive = !selection;
  subject.rows = readLotRows(document_.table(), selection ? grid->selectedBookmarks() : QList<TDbTable::Bookmark>{});
  dialog_->assess(subject);
}

}  // namespace hv
