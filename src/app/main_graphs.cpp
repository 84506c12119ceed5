// "Построить график" / "График": curve dialog, then the chart of the selection
// of the grid on view.
#include "app/forms.h"
#include "app/main.h"

#ifdef HV_HAVE_GRAPHS
#include "graphs/chart_window.h"
#include "graphs/curve_dialog.h"
#include "platform/ui.h"
#include "views/data_grid.h"
#endif

void TForm1::N15Click() {
#ifdef HV_HAVE_GRAPHS
  if (!Form3 || !Form4) return;
  if (Form4->exec() != hv::mrOk) return;
  hv::TDataGrid* grid = shownGrid();
  if (!grid) return;
  Form3->showChart(grid->selectedRows(), grid->footers(), Form4->curves());
#endif
}
