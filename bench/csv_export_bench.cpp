// The CSV export of a 1,000,000-row table (three archives, one file each) as
// the command runs it, for both presets: time as a ratio to `cat` of the
// table file and to writing and syncing the same number of bytes, all
// measured in the same run.
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "bench_support.h"
#include "export/csv_export.h"
#include "platform/codepage.h"
#include "store/db_table.h"

namespace {

using hv::bench::bestOf;

constexpr int kRows = 1'000'000;

// Rows as a meter gives them, mixed over the archives; now and then a comment
// with what has to be quoted.
void writeTable(const QString& path) {
  unsigned seed = 4321;
  const auto rnd = [&seed](unsigned m) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % m;
  };
  static const char* const kMaterials[] = {"Сосна", "Ель", "Берёза", "Дуб", "Бетон тяжёлый", "Песок"};
  const QDate start(2015, 1, 1);
  hv::bench::writeRawTable(path, kRows, [&](int i, const std::vector<int>& widths) {
    const bool series = rnd(4) == 0;
    const auto moisture = [&] { return QByteArray::number(rnd(60)) + ',' + QByteArray::number(rnd(10)); };
    return QList<QByteArray>{
        QByteArray::number(i % 10000 + 1).rightJustified(widths[0]),
        QByteArray::number(rnd(3)).rightJustified(widths[1]),
        start.addDays(int(rnd(3650))).toString(QStringLiteral("dd.MM.yyyy")).toLatin1(),
        QString::asprintf("%02u:%02u:%02u", rnd(24), rnd(60), rnd(60)).toLatin1(),
        series ? QByteArray() : moisture(),
        series ? moisture() : QByteArray(),
        series ? moisture() : QByteArray(),
        hv::toCp1251(QString::fromUtf8(kMaterials[rnd(6)])),
        rnd(5) ? QByteArray() : (rnd(10) ? QByteArray::number(rnd(99)) : QByteArray("**")),
        rnd(50) ? QByteArray() : hv::toCp1251(QStringLiteral("проба %1; \"сухо\", склад").arg(i))};
  });
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  const QString folder = args.size() > 1 ? args[1] : QDir::currentPath();
  QTemporaryDir dir(folder + QStringLiteral("/csv-bench-XXXXXX"));
  if (!dir.isValid()) {
    std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(folder));
    return 1;
  }
  const QString db = dir.filePath(QStringLiteral("big.db"));
  writeTable(db);
  const qint64 tableSize = QFileInfo(db).size();

  // cat of the table, the file already in the page cache as it is for the export.
  const double cat = bestOf(3, [&] {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QStringLiteral("cat"), {db});
    p.waitForFinished(-1);
  });

  const std::vector<hv::CsvTarget> targets =
      hv::csvTargets(dir.filePath(QStringLiteral("out.csv")), {hv::kArchiveKinds.begin(), hv::kArchiveKinds.end()});
  std::printf("CSV export of a table of %d rows (%.1f MB), three files\n", kRows, tableSize / 1e6);
  for (hv::CsvPreset preset : {hv::CsvPreset::Excel, hv::CsvPreset::Analysis}) {
    double cpu = 0;
    const double csv = bestOf(2, [&] {
      const double cpuStart = hv::bench::cpuSeconds();
      hv::TDbTable table;
      table.setFileName(db);
      table.setReadOnly(true);
      table.open();
      table.setFiltered(true);
      hv::exportArchivesToCsv(table, targets, preset);
      cpu = hv::bench::cpuSeconds() - cpuStart;
    });
    qint64 size = 0;
    for (const hv::CsvTarget& t : targets) size += QFileInfo(t.fileName).size();
    const QByteArray buffer(size, 'x');
    const QString plain = dir.filePath(QStringLiteral("plain.bin"));
    const double write = bestOf(3, [&] { hv::bench::writeAndSync(plain, buffer); });
    QFile::remove(plain);
    std::printf("  %s: %.1f MB in %.3f s (cpu %.3f s)\n", qPrintable(hv::csvPresetKey(preset)), size / 1e6, csv, cpu);
    std::printf("    = %.2f x cat of the table (%.3f s), = %.2f x write + fsync of %.1f MB (%.3f s)\n", csv / cat, cat,
                csv / write, size / 1e6, write);
    // On a machine shared with others the wall time waits for a processor too.
    std::printf("    processor time alone: %.2f x cat, %.2f x write + fsync\n", cpu / cat, cpu / write);
  }
  return 0;
}
