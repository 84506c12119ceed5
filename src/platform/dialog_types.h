#pragma once
// What the program's boxes and dialogs are asked and answer, without any
// widget: the widget-free code (the download exchange, the cli) uses these
// without pulling in the GUI.
#include <QString>

namespace hv {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, YesNo, OkCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// Modal results of the program's own dialogs (QDialog::exec / done).
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

// One file dialog request. Every command builds its own, so nothing carries
// over from one command to the next.
struct FileDialogRequest {
  QString caption;
  QString filter;      // "Базы данных|*.db" style: description|pattern pairs
  QString defaultExt;  // ".db"
  QString initialDir;
  QString fileName;             // preset name, may be empty
  bool overwritePrompt = true;  // save dialog: the platform's question before an existing file is replaced
};

// The text forms of the CSV export: "Для Excel" (';', decimal comma, BOM,
// CRLF) and "Для программ анализа" (',', decimal point, no BOM, LF).
enum class CsvPreset { Excel, Analysis };

// What the CSV export's dialog asks: the archive on view or all three, and
// the text form.
struct CsvExportOptions {
  bool allArchives = false;
  CsvPreset preset = CsvPreset::Excel;
  QString archiveOnView;  // the caption of the archive on view, for the dialog's text
};

}  // namespace hv
