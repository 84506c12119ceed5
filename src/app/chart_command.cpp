#include "app/chart_command.h"

#include "app/archive_pages.h"
#include "graphs/chart_window.h"
#include "graphs/curve_dialog.h"
#include "platform/dialog_types.h"
#include "views/data_grid.h"

namespace hv {

ChartCommand::ChartCommand(ArchivePages& pages, QWidget* parent)
    : pages_(pages), chart_(new ChartWindow(parent)), curves_(new CurveDialog(parent)) {}

void ChartCommand::run() {
  if (curves_->exec() != mrOk) return;
  TDataGrid* grid = pages_.shownGrid();
  chart_->showChart(grid->selectedRows(), grid->footers(), curves_->curves());
}

}  // namespace hv
