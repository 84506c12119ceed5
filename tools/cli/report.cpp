// hygrovan-cli report: the archive report of one archive as a PDF, in the
// order a grid sorted by FIELD would show it.
#include "cli.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "report/report_builder.h"
#include "report/table_data_link.h"
#include "store/db_table.h"
#include "table_args.h"
#include "views/archive_table.h"

namespace {

int run(const QStringList& args) {
  hv::cli::CommandLine line(QStringLiteral("report"),
                            QStringLiteral("report FILE.db --archive K [--sort FIELD [--desc]] OUT.pdf"),
                            QStringLiteral("Записывает печатный отчет по архиву в документ PDF."));
  hv::cli::TableArgsRules rules;
  rules.files.append({QStringLiteral("OUT.pdf"), QStringLiteral("Документ PDF для записи.")});
  rules.maxArchive = 2;
  rules.archiveRequired = true;
  hv::cli::addTableOptions(line, rules);
  if (!line.parse(args)) return line.exitCode();
  hv::cli::TableArgs a;
  if (const QString why = hv::cli::readTableArgs(line, rules, &a); !why.isEmpty()) return line.usageError(why);
  if (line.checkOutputs({a.files[1]}, {a.files[0]})) return line.exitCode();

  try {
    hv::cli::ReadOnlyTable view(a, hv::archiveTag(hv::archiveKindAt(a.archive)));
    hv::FilePath pdf(a.files[1], hv::FilePath::Write);
    hv::TDbTable& table = view.table();
    hv::report::TableDataLink link(table);
    // Page breaks only; each page is formed from its rows as it is written.
    const auto report = hv::report::layOutReport(hv::report::archiveReportTemplate(), link);
    hv::report::savePdf(*report, pdf.path());
    table.close();
    if (QString why; !pdf.commit(&why))
      throw hv::Error(hv::writeErrorText(a.files[1], hv::writeFailureReason(a.files[1], 0), why));
    hv::cli::out() << QStringLiteral("%1: страниц: %2\n").arg(a.files[1]).arg(report->pageCount());
  } catch (const std::exception& e) {
    return hv::cli::reportFailure(e);
  }
  return 0;
}

hv::cli::Registration g_registration("report", "печатный отчет по архиву в документ PDF", &run);

}  // namespace
