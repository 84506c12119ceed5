// The table file operations of the main window: open, save, close.
#include <QFile>
#include <QFileInfo>

#include "app/main.h"
#include "store/db_table.h"
#include "views/data_grid.h"

void TForm1::N3Click() {
  OpenDialog1.fileName.clear();
  OpenDialog1.filter = QStringLiteral("Базы данных|*.db");
  OpenDialog1.defaultExt = QStringLiteral(".db");
  const QString path = hv::withDefaultExtension(hv::ui().openFileName(this, OpenDialog1), OpenDialog1.defaultExt);
  if (path.isEmpty()) return;
  if (db_open) Close_DB();
  defaultDir = QFileInfo(path).absolutePath();
  Open_DB(path);
}

void TForm1::Open_DB(const QString& path) {
  if (db_open) Close_DB();
  Table1->setFileName(path);
  try {
    Table1->open();
  } catch (const std::exception&) {
    if (Table1->active()) Table1->close();
    hv::ui().message(this, QStringLiteral("Ошибка"), QStringLiteral("База данных повреждена !"), hv::MsgIcon::Error,
                     hv::MsgButtons::Ok);
    return;
  }
  db_open = true;
  Table1->first();
  showOpenStateColour();
  enable_button();
  tab_vis_en();
  refreshGrids();
  load_layout(QStringLiteral("Table_1"), DataGrid1);
  load_layout(QStringLiteral("Table_2"), DataGrid2);
  load_layout(QStringLiteral("Table_3"), DataGrid3);
  // The name without folder and without its last extension.
  setTitle(QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + kProductName);
  db_changed = false;
}

void TForm1::Save_DB() {
  if (!db_open) return;
  // The grids share the table, so one post covers all three.
  if (tableActive()) postPendingEdit();
  Table1->close();
  Table1->open();
  Table1->first();
  refreshGrids();
  db_changed = false;
}

void TForm1::Close_DB() {
  if (db_changed) {
    if (hv::ui().message(this, kProductName, QStringLiteral("Сохранить изменения в таблицах ?"), hv::MsgIcon::Question,
                         hv::MsgButtons::YesNo) == hv::MsgResult::Yes) {
      Save_DB();
    } else {
      // An edit still in its row is lost; rows already posted stay.
      for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3}) g->dropEdit();
    }
  }
  save_layout(QStringLiteral("Table_1"), DataGrid1);
  save_layout(QStringLiteral("Table_2"), DataGrid2);
  save_layout(QStringLiteral("Table_3"), DataGrid3);
  db_open = false;
  db_changed = false;
  if (tableActive()) {
    for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3}) g->dropEdit();
    Table1->close();
    QFile::remove(hv::TDbTable::mdxPathFor(Table1->fileName()));
  }
  // The selections belong to the closed file.
  for (hv::TDataGrid* g : {DataGrid1, DataGrid2, DataGrid3}) g->clearSelection(false);
  refreshGrids();
  showClosedState();
}
