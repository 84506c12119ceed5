// New table from the meter ("Создать") and appending newer measurements
// ("Дополнить"): the download dialog, then the archive import.
#include "app/forms.h"
#include "app/main.h"
#include "device/device_image.h"
#include "device/import/archive_import.h"
#include "store/db_table.h"

#ifdef HV_HAVE_DEVICE_UI
#include "device/download_dialog.h"
#endif

namespace {

// The download dialog, modally; true when it ended with OK (the image is filled).
bool downloadFromMeter() {
#ifdef HV_HAVE_DEVICE_UI
  return Form2 && Form2->exec() == hv::mrOk;
#else
  return false;
#endif
}

}  // namespace

void TForm1::N2Click() {
  if (db_open) Close_DB();
  SaveDialog1.fileName.clear();
  SaveDialog1.filter = QStringLiteral("Файлы данных|*.db");
  SaveDialog1.defaultExt = QStringLiteral(".db");
  SaveDialog1.overwritePrompt = false;  // the new table replaces a file of that name
  const QString path = hv::withDefaultExtension(hv::ui().saveFileName(this, SaveDialog1), SaveDialog1.defaultExt);
  if (path.isEmpty()) return;
  // Create_DB takes the file from the save dialog, as the dialog left it.
  SaveDialog1.fileName = path;
  if (downloadFromMeter()) Create_DB();
}

void TForm1::N4Click() {
  if (!db_open) return;
  if (!downloadFromMeter()) return;
  // Record order, so that the last row of each archive is the one appended last.
  if (tableActive()) reset_sort(DataGrid1, QStringLiteral("tab1"));
  flash2hygrovan(true);
  db_open = true;
  Save_DB();
  tab_vis_en();
  refreshGrids();
}

void TForm1::Create_DB() {
  db_open = false;
  db_changed = false;
  Table1->close();
  if (hv::ImageIsEmpty()) {
    hv::ui().message(this, QStringLiteral("Ошибка"), hv::EmptyDeviceArchiveText(), hv::MsgIcon::Information,
                     hv::MsgButtons::Ok);
    return;
  }
  Table1->setFileName(SaveDialog1.fileName);
  Table1->createTable();
  Table1->open();
  db_open = true;
  showOpenStateColour();
  const auto showImported = [this] {
    enable_button();
    tab_vis_en();
    refreshGrids();
  };
  try {
    flash2hygrovan(false);
  } catch (...) {
    // The rows posted before the failure are in the file: show them, then report.
    showImported();
    throw;
  }
  showImported();
  load_layout(QStringLiteral("Table_1"), DataGrid1);
  load_layout(QStringLiteral("Table_2"), DataGrid2);
  load_layout(QStringLiteral("Table_3"), DataGrid3);
  db_changed = false;
}

void TForm1::flash2hygrovan(bool append) {
  if (!tableActive()) return;
  hv::ImportArchives(*Table1, hv::DeviceImage(), append, [this](const hv::ArchiveImportResult& r) {
    hv::ui().message(this, QStringLiteral("Дополнение"), hv::AppendReportText(r),
                     r.unreadableLastRow ? hv::MsgIcon::Warning : hv::MsgIcon::Information, hv::MsgButtons::Ok);
  });
}
