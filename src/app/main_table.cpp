// The table file operations of the main window: open, save, close.
#include <QFile>
#include <QFileInfo>

#include "app/main.h"
#include "store/db_table.h"

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
    hv::ui().message(this, QStringLiteral("Ошибка"), QStringLiteral("База данных повреждена !"), hv::MsgIcon::Error,
                     hv::MsgButtons::Ok);
    return;
  }
  db_open = true;
  Table1->first();
  showOpenStateColour();
  enable_button();
  tab_vis_en();
  load_layout(QStringLiteral("Table_1"), DataGrid1);
  load_layout(QStringLiteral("Table_2"), DataGrid2);
  load_layout(QStringLiteral("Table_3"), DataGrid3);
  setTitle(QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + kProductName);
  db_changed = false;
}

void TForm1::Save_DB() {
  if (!db_open) return;
  if (tableActive()) postPendingEdit();
  Table1->close();
  Table1->open();
  Table1->first();
  db_changed = false;
}

void TForm1::Close_DB() {
  if (db_changed) {
    if (hv::ui().message(this, kProductName, QStringLiteral("Сохранить изменения в таблицах ?"), hv::MsgIcon::Question,
                         hv::MsgButtons::YesNo) == hv::MsgResult::Yes)
      Save_DB();
  }
  save_layout(QStringLiteral("Table_1"), DataGrid1);
  save_layout(QStringLiteral("Table_2"), DataGrid2);
  save_layout(QStringLiteral("Table_3"), DataGrid3);
  db_open = false;
  db_changed = false;
  if (tableActive()) {
    Table1->close();
    QFile::remove(hv::TDbTable::mdxPathFor(Table1->fileName()));
  }
  showClosedState();
}
