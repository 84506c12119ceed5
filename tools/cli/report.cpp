// hygrovan-cli report: the archive report of one archive as a PDF, in the
// order a grid sorted by FIELD would show it.
#include <QFile>

#include "cli.h"
#include "platform/error.h"
#include "report/report_builder.h"
#include "report/table_data_link.h"
#include "store/db_table.h"
#include "table_args.h"
#include "views/archive_table.h"

namespace {

int usage(const QString& why) {
  hv::cli::err() << "hygrovan-cli report: " << why << "\n"
                 << "usage: hygrovan-cli report FILE.db --archive K [--sort FIELD [--desc]] OUT.pdf\n";
  return 2;
}

int run(const QStringList& args) {
  hv::cli::TableArgsRules desc;
  desc.maxArchive = 2;
  desc.maxFiles = 2;
  desc.checkSortField = true;
  hv::cli::TableArgs a;
  switch (const hv::cli::TableArgsError e = hv::cli::parseTableArgs(args, desc, &a); e.kind) {
    case hv::cli::TableArgsError::None: break;
    case hv::cli::TableArgsError::BadArchive: return usage(QStringLiteral("the archive is 0, 1 or 2"));
    case hv::cli::TableArgsError::BadSortField: return usage(QStringLiteral("no field named '%1'").arg(e.arg));
    case hv::cli::TableArgsError::UnknownOption: return usage(QStringLiteral("unknown option '%1'").arg(e.arg));
    case hv::cli::TableArgsError::TooManyFiles: return usage(QStringLiteral("too many arguments"));
  }
  if (a.files.size() < 2) return usage(QStringLiteral("a table file and a PDF file are needed"));
  if (a.archive < 0) return usage(QStringLiteral("--archive K is needed"));
  if (a.descending && a.sortField.isEmpty()) return usage(QStringLiteral("--desc goes with --sort FIELD"));
  const QString& db = a.files[0];
  const QString& pdf = a.files[1];
  const QString& field = a.sortField;
  const int archive = a.archive;

  // The grid of archive k sorts through its own tag.
  const QString tag = hv::archiveTag(archive);
  const bool hadIndex = QFile::exists(hv::TDbTable::mdxPathFor(db));
  hv::TDbTable table;
  int rc = 0;
  try {
    table.setFileName(db);
    table.open();
    hv::cli::showArchiveView(table, archive, field, a.descending, tag);
    table.refresh();
    hv::report::TableDataLink link(table);
    const auto report = hv::report::buildReport(hv::report::archiveReportTemplate(), link);
    if (!field.isEmpty()) {
      table.setIndexName(QString());
      table.deleteIndex(tag);
    }
    table.close();
    hv::report::savePdf(*report, pdf);
    hv::cli::out() << pdf << ": " << report->pages.size() << " pages\n";
  } catch (const hv::Error& e) {
    try {
      if (table.active()) {
        if (!field.isEmpty()) {
          table.setIndexName(QString());
          table.deleteIndex(tag);
        }
        table.close();
      }
    } catch (const hv::Error&) {
    }
    hv::cli::err() << "hygrovan-cli report: " << e.text() << "\n";
    rc = 1;
  }
  // Our sort tag must not outlive the command.
  if (!hadIndex) QFile::remove(hv::TDbTable::mdxPathFor(db));
  return rc;
}

hv::cli::Registration reg("report", "report FILE.db --archive K [--sort FIELD [--desc]] OUT.pdf", &run);

}  // namespace
