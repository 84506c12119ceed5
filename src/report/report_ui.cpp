#include "report/report_ui.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QWidget>
#include <exception>

#include "platform/error.h"
#include "platform/ui.h"
#include "report/preview_window.h"
#include "report/print_dialog.h"
#include "report/progress_window.h"
#include "report/report_builder.h"
#include "report/table_data_link.h"

namespace hv {

namespace {

void showError(QWidget* parent, const QString& text) {
  ui().message(parent, QStringLiteral("Ошибка"), text, MsgIcon::Error, MsgButtons::Ok);
}

}  // namespace

QString askPrintPdfFile(QWidget* parent) {
  FileDialogRequest req;
  req.caption = QStringLiteral("Печать в файл");
  req.filter = QStringLiteral("Документы PDF|*.pdf");
  req.defaultExt = QStringLiteral(".pdf");
  req.fileName = proposedFileName(req.defaultExt);
  return withDefaultExtension(ui().saveFileName(parent, req), req.defaultExt);
}

std::optional<report::LaidOutReport> buildReport(QWidget* parent, report::RowSource& rows) {
  report::ProgressWindow progress(parent);
  progress.show();
  try {
    auto built = report::layOutReport(report::archiveReportTemplate(), rows,
                                      [&](int pass, int page) { return progress.step(pass, page); });
    progress.hide();
    return built;
  } catch (const Error& e) {
    progress.hide();
    showError(parent, e.text());
  } catch (const std::exception& e) {
    progress.hide();
    showError(parent, QString::fromLocal8Bit(e.what()));
  }
  return std::nullopt;
}

void showPreview(QWidget* parent, std::shared_ptr<const report::PageSource> built) {
  if (!built || built->pageCount() == 0) return;
  report::PreviewWindow w(std::move(built), parent);
  w.exec();
}

void previewReport(QWidget* parent, report::RowSource& rows) {
  if (auto built = buildReport(parent, rows))
    showPreview(parent, std::make_shared<report::LaidOutReport>(std::move(*built)));
}

bool savePdfWithProgress(QWidget* parent, const QString& caption, const report::PageSource& report,
                         const QString& path, const QList<int>& sequence) {
  report::ProgressWindow progress(parent, caption);
  progress.show();
  return report::savePdf(report, path, sequence, [&](int done, int total) { return progress.pageOut(done, total); });
}

namespace {

const QString kPrintCaption = QStringLiteral("Печать");

bool printPages(QWidget* parent, const report::PageSource& built, const report::PrintChoice& c) {
  const QList<int> sequence = report::printSequence(c.pages, c.copies, c.collate);
  if (c.printer.isEmpty()) {
    const QString path = askPrintPdfFile(parent);
    return !path.isEmpty() && savePdfWithProgress(parent, kPrintCaption, built, path, sequence);
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setPrinterName(c.printer);
  if (!printer.isValid()) throw Error(QStringLiteral("Принтер \"%1\" недоступен.").arg(c.printer));
  printer.setFullPage(true);
  // The archive report is landscape A4; the lot protocol portrait.
  printer.setPageLayout(report::pageLayoutOf(built));
  // Copies and collation are laid out here, so every driver prints them alike.
  printer.setCopyCount(1);
  printer.setDocName(QString::fromLatin1(kPrintJobName));
  report::ProgressWindow progress(parent, kPrintCaption);
  progress.show();
  return report::paintPages(printer, built, sequence, [&](int done, int total) {
    if (progress.pageOut(done, total)) return true;
    printer.abort();  // nothing of the job reaches the printer
    return false;
  });
}

}  // namespace

bool printBuiltReport(QWidget* parent, const report::PageSource& built) {
  if (built.pageCount() == 0) return false;
  report::PrintDialog dialog(built.pageCount(), ui().printerNames(), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  try {
    return printPages(parent, built, dialog.choice());
  } catch (const Error& e) {
    showError(parent, e.text());
  } catch (const std::exception& e) {
    showError(parent, QString::fromLocal8Bit(e.what()));
  }
  return false;
}

bool printReport(QWidget* parent, report::RowSource& rows) {
  auto built = buildReport(parent, rows);
  return built && printBuiltReport(parent, *built);
}

void previewReport(QWidget* parent, TDbTable& table) {
  report::TableDataLink link(table);
  previewReport(parent, static_cast<report::RowSource&>(link));
}

bool printReport(QWidget* parent, TDbTable& table) {
  report::TableDataLink link(table);
  return printReport(parent, static_cast<report::RowSource&>(link));
}

}  // namespace hv
