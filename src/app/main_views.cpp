// Grid operations of the main window (placeholder until the grids land).
#include "app/main.h"
#include "store/db_table.h"

void TForm1::createGrids() {}
void TForm1::prepareGrids() {}
void TForm1::reset_sort(hv::TDataGrid*, const QString&) {}
void TForm1::align_columns(hv::TDataGrid*) {}
void TForm1::clear_colors(hv::TDataGrid*) {}
void TForm1::load_layout(const QString&, hv::TDataGrid*) {}
void TForm1::save_layout(const QString&, hv::TDataGrid*) {}
void TForm1::show_selection_stats(hv::TDataGrid*) {}
void TForm1::postPendingEdit() {}

static void showArchive(TForm1* w, int k) {
  w->Table1->setFilter(QStringLiteral("N_ARC=%1").arg(k));
  if (w->tableActive()) w->Table1->refresh();
}
void TForm1::TabSheet1Show() { showArchive(this, 0); }
void TForm1::TabSheet2Show() { showArchive(this, 1); }
void TForm1::TabSheet3Show() { showArchive(this, 2); }

void TForm1::N23Click() {}
void TForm1::N17Click() {}
void TForm1::N18Click() {}
void TForm1::N19Click() {}
void TForm1::N33Click() {}
void TForm1::N21Click() {}
void TForm1::N37Click() {}
