// "Экспорт в Excel": every archive whose tab is shown goes to its own sheet.
#include <QTabWidget>

#include "app/main.h"
#include "export/archive_export.h"
#include "store/db_table.h"

void TForm1::Excel1Click() {
  if (db_open && tableActive()) exp2excel();
}

void TForm1::exp2excel() {
  if (!tableActive()) return;
  SaveDialog1.fileName.clear();
  SaveDialog1.filter = hv::excelExportDialogFilter();
  SaveDialog1.defaultExt = hv::excelExportDefaultSuffix();
  const QString fileName =
      hv::withDefaultExtension(hv::ui().saveFileName(this, SaveDialog1), SaveDialog1.defaultExt);
  if (fileName.isEmpty()) return;

  // The table is read in record order from here on.
  reset_sort(DataGrid1, QStringLiteral("tab1"));
  reset_sort(DataGrid2, QStringLiteral("tab2"));
  reset_sort(DataGrid3, QStringLiteral("tab3"));

  const hv::ArchiveSet visible = {PageControl1->isTabVisible(0), PageControl1->isTabVisible(1),
                                  PageControl1->isTabVisible(2)};
  // The export puts the filter back and the table on its first row, also on an
  // error; the grids follow the table either way.
  try {
    hv::exportArchivesToFile(*Table1, visible, fileName);
  } catch (...) {
    refreshGrids();
    throw;
  }
  refreshGrids();
  hv::ui().message(this, hv::excelExportCaption(), hv::excelExportSuccessText(fileName), hv::MsgIcon::Information,
                   hv::MsgButtons::Ok);
}
