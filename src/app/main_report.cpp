// Report preview and printing of the archive on view.
#include "app/main.h"
#include "report/report_ui.h"
#include "store/db_table.h"

void TForm1::N8Click() {
  if (db_open && tableActive()) hv::previewReport(this, *Table1);
}

void TForm1::N9Click() {
  if (db_open && tableActive()) hv::printReport(this, *Table1);
}

void TForm1::N22Click() {
  if (db_open && tableActive()) hv::printReport(this, *Table1);
}
