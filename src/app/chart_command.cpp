#include "app/chart_command.h"

#include <QCheckBox>

#include "app/archive_pages.h"
#include "graphs/chart_window.h"
#include "graphs/curve_dialog.h"
#include "platform/dialog_types.h"
#include "platform/settings.h"
#include "store/row_schema.h"
#include "views/lot_norm.h"
#include "views/data_grid.h"

namespace hv {

ChartCommand::ChartCommand(ArchivePages& pages, SettingsKey& settings, QWidget* parent)
    : pages_(pages), settings_(settings), chart_(new ChartWindow(parent)), curves_(new CurveDialog(parent)) {}

void ChartCommand::run() {
  // The forecast box stays as it was left in this run; the rest as the user left it last.
  ChartOptions options = readChartOptions(settings_);
  options.forecast = curves_->forecastBox()->isChecked();
  curves_->setOptions(options);
  curves_->setNormTargets(normTargets(readNorms(settings_).norms, pages_.shownKind()));
  if (curves_->exec() != mrOk) return;
  writeChartOptions(settings_, curves_->options());
  TDataGrid* grid = pages_.shownGrid();
  const auto details = [grid](qsizetype i) {
    RowDetails d;
    TDbTable* table = grid->table();
    const TDbTable::Bookmark b = grid->selectedBookmark(static_cast<int>(i));
    if (!table || b < 0) return d;
    d.n = table->fieldTextAt(b, fieldName(MeasurementField::N)).value_or(QString()).trimmed();
    d.material = table->fieldTextAt(b, fieldName(MeasurementField::Material)).value_or(QString());
    d.comment = table->fieldTextAt(b, fieldName(MeasurementField::Comment)).value_or(QString());
    return d;
  };
  chart_->showChart(grid->selectedRows(), grid->footers(), curves_->curves(), curves_->options(), details);
}

}  // namespace hv
