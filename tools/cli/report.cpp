// hygrovan-cli report: the archive report of one archive as a PDF, in the
// order a grid sorted by FIELD would show it.
#include <QFile>

#include "cli.h"
#include "platform/error.h"
#include "report/report_builder.h"
#include "report/table_data_link.h"
#include "store/db_table.h"

namespace {

int usage(const QString& why) {
  hv::cli::err() << "hygrovan-cli report: " << why << "\n"
                 << "usage: hygrovan-cli report FILE.db --archive K [--sort FIELD [--desc]] OUT.pdf\n";
  return 2;
}

int run(const QStringList& args) {
  QString db, pdf, field;
  int archive = -1;
  bool desc = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--archive") && i + 1 < args.size()) {
      bool ok = false;
      archive = args[++i].toInt(&ok);
      if (!ok || archive < 0 || archive > 2) return usage(QStringLiteral("the archive is 0, 1 or 2"));
    } else if (a == QLatin1String("--sort") && i + 1 < args.size()) {
      field = args[++i].toUpper();
      if (!hv::measurementFields().contains(field)) return usage(QStringLiteral("no field named '%1'").arg(args[i]));
    } else if (a == QLatin1String("--desc")) {
      desc = true;
    } else if (a.startsWith(QLatin1String("--"))) {
      return usage(QStringLiteral("unknown option '%1'").arg(a));
    } else if (db.isEmpty()) {
      db = a;
    } else if (pdf.isEmpty()) {
      pdf = a;
    } else {
      return usage(QStringLiteral("too many arguments"));
    }
  }
  if (db.isEmpty() || pdf.isEmpty()) return usage(QStringLiteral("a table file and a PDF file are needed"));
  if (archive < 0) return usage(QStringLiteral("--archive K is needed"));
  if (desc && field.isEmpty()) return usage(QStringLiteral("--desc goes with --sort FIELD"));

  // The grid of archive k sorts through its own tag.
  const QString tag = QStringLiteral("tab%1").arg(archive + 1);
  const bool hadIndex = QFile::exists(hv::TDbTable::mdxPathFor(db));
  hv::TDbTable table;
  int rc = 0;
  try {
    table.setFileName(db);
    table.open();
    table.setFilter(QStringLiteral("N_ARC=%1").arg(archive));
    table.setFiltered(true);
    if (!field.isEmpty()) {
      table.addIndex(tag, field, desc);
      table.setIndexName(tag);
    }
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
