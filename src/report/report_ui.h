#pragma once
// The archive report's windows for the main window's commands:
//   "Предварительный просмотр": previewReport(window, table)
//   "Печать" (menu and context menu): printReport(window, table)
// each after the command's own check that a table is open and active. Both
// build the report anew from the rows the table lets through now (its filter
// and its order), with the progress window. The build breaks the pages only;
// each page is formed from its rows when it is shown or printed.
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "report/report_builder.h"
#include "report/report_pages.h"

class QWidget;

namespace hv {

class TDbTable;
namespace report {
class RowSource;
}

// Builds the archive report over the rows with the window "Подготовка отчета". nullopt
// when the user cancelled, or when the build failed: then the error has been
// shown in a message box captioned "Ошибка". The rows must outlive the result.
std::optional<report::LaidOutReport> buildReport(QWidget* parent, report::RowSource& rows);

// Shows the pages in the modal preview window.
void showPreview(QWidget* parent, std::shared_ptr<const report::PageSource> report);
// Build, then preview (nothing is shown when the build did not complete).
void previewReport(QWidget* parent, report::RowSource& rows);
void previewReport(QWidget* parent, TDbTable& table);

// The print dialog, then printing of the chosen pages one by one with the
// progress window, whose "Отмена" stops the job (a PDF file is then not
// written at all). The dialog offers the printers that ui().printerNames()
// lists; with none, a PDF file instead. True when something was printed or
// written.
bool printBuiltReport(QWidget* parent, const report::PageSource& report);
// Build; if the build completed, the print dialog and printing.
bool printReport(QWidget* parent, report::RowSource& rows);
bool printReport(QWidget* parent, TDbTable& table);

// "Печать в файл PDF", offered where no printer is: asks for the file (the
// extension ".pdf" is added when none is typed); empty when cancelled.
QString askPrintPdfFile(QWidget* parent);

// Writes the pages into a PDF file with the progress window captioned
// caption; false when the user stopped it (nothing is left at path then).
// Throws hv::Error.
bool savePdfWithProgress(QWidget* parent, const QString& caption, const report::PageSource& report,
                         const QString& path, const QList<int>& sequence = {});

// The document name of the program's print jobs, as a printer queue shows it.
inline constexpr char kPrintJobName[] = "Hygrovan-RX3";

}  // namespace hv
