#pragma once
// The archive report's windows for the main window's commands:
//   "Предварительный просмотр": previewReport(window, table)
//   "Печать" (menu and context menu): printReport(window, table)
// each after the command's own check that a table is open and active. Both
// build the report anew from the rows the table lets through now (its filter
// and its order), with the progress window.
#include <QStringList>
#include <functional>
#include <optional>

#include "report/report_pages.h"

class QWidget;

namespace hv {

class TDbTable;
namespace report {
class RowSource;
}

// Builds `Report1` over the rows with the window "Подготовка отчета". nullopt
// when the user cancelled, or when the build failed: then the error has been
// shown in a message box captioned "Ошибка".
std::optional<report::BuiltReport> buildReport(QWidget* parent, report::RowSource& rows);
std::optional<report::BuiltReport> buildReport(QWidget* parent, TDbTable& table);

// Shows built pages in the modal preview window.
void showPreview(QWidget* parent, const report::BuiltReport& report);
// Build, then preview (nothing is shown when the build did not complete).
void previewReport(QWidget* parent, report::RowSource& rows);
void previewReport(QWidget* parent, TDbTable& table);

// The print dialog, then printing of the chosen pages. The dialog offers the
// printers that ui().printerNames() lists; with none, a PDF file instead.
// True when something was printed or written.
bool printBuiltReport(QWidget* parent, const report::BuiltReport& report);
// Build; if the build completed, the print dialog and printing.
bool printReport(QWidget* parent, report::RowSource& rows);
bool printReport(QWidget* parent, TDbTable& table);

// "Печать в файл PDF", offered where no printer is: asks for the file (the
// extension ".pdf" is added when none is typed); empty when cancelled.
QString askPrintPdfFile(QWidget* parent);

// The document name of the program's print jobs, as a printer queue shows it.
inline constexpr char kPrintJobName[] = "Hygrovan-RX3";

}  // namespace hv
