// The spreadsheet export as the command runs it, from a table file of
// 3 x 65,535 rows and from one of 1,000,000 rows (sheets continued):
// time as a ratio to writing and syncing the same number of bytes with plain
// write + fsync in the same run, and peak memory (getrusage) as a ratio to the
// written file. Each case runs in a fresh child process so peaks do not mix.
// The parent stays small, as a child's peak starts from its parent's size.
// Also the table engine's peak for opening the large table and sorting it by
// DATE, against the table's size.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "bench_support.h"
#include "export/archive_export.h"
#include "platform/codepage.h"
#include "store/db_table.h"

namespace {

using hv::bench::bestOf;

constexpr int kFullSheets = 3 * hv::kMaxRowsPerSheet;
constexpr int kBigRows = 1'000'000;

// Rows as a meter gives them: three archives, single values and series,
// a few dozen materials, an individual dependence now and then, rare comments.
// `sequential`: archive by archive, each `rows / 3` long; otherwise mixed.
void writeTable(const QString& path, int rows, bool sequential) {
  unsigned seed = 12345;
  const auto rnd = [&seed](unsigned m) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % m;
  };
  static const char* const kMaterials[] = {"Сосна", "Ель", "Берёза", "Дуб", "Бетон тяжёлый", "Бетон лёгкий",
                                           "Кирпич", "Песок", "Гравий", "Цемент"};
  const QDate start(2015, 1, 1);
  int number[3] = {0, 0, 0};
  hv::bench::writeRawTable(path, rows, [&](int i, const std::vector<int>& widths) {
    const int arc = sequential ? std::min(2, i / (rows / 3)) : int(rnd(3));
    const bool series = rnd(4) == 0;
    const auto moisture = [&] { return QByteArray::number(rnd(60)) + ',' + QByteArray::number(rnd(10)); };
    const QByteArray w = series ? QByteArray() : moisture();
    const QByteArray wMin = series ? moisture() : QByteArray();
    const QByteArray wMax = series ? moisture() : QByteArray();
    const unsigned m = rnd(40);
    QByteArray material = hv::toCp1251(QString::fromUtf8(kMaterials[m % 10]));
    if (m >= 10) material += ' ' + QByteArray::number(m / 10);
    return QList<QByteArray>{
        QByteArray::number(++number[arc] % 10000).rightJustified(widths[0]),
        QByteArray::number(arc).rightJustified(widths[1]),
        start.addDays(int(rnd(3650))).toString(QStringLiteral("dd.MM.yyyy")).toLatin1(),
        QString::asprintf("%02u:%02u:%02u", rnd(24), rnd(60), rnd(60)).toLatin1(),
        w,
        wMin,
        wMax,
        material,
        rnd(5) ? QByteArray() : QByteArray::number(rnd(10)),
        rnd(50) ? QByteArray() : hv::toCp1251(QStringLiteral("проверка %1").arg(i))};
  });
}

// --- the children ---------------------------------------------------------

// The export command: open the table read-only, one sheet (or more) per
// archive with rows, the file written.
int exportChild(const QString& db, const QString& out) {
  const long startPeak = hv::bench::peakResident();
  double cpu = 0;
  const double s = hv::bench::seconds([&] {
    const double cpuStart = hv::bench::cpuSeconds();
    hv::TDbTable table;
    table.setFileName(db);
    table.setReadOnly(true);
    table.open();
    table.setFiltered(true);
    hv::exportArchivesToFile(table, hv::archivesWithRows(table), out);
    cpu = hv::bench::cpuSeconds() - cpuStart;
  });
  std::printf("%.6f %.6f %ld %ld\n", s, cpu, hv::bench::peakResident(), startPeak);
  return 0;
}

// The table engine: open the table and sort it by DATE, as a grid's title click does.
int sortChild(const QString& db) {
  const long startPeak = hv::bench::peakResident();
  const double s = hv::bench::seconds([&] {
    hv::TDbTable table;
    table.setFileName(db);
    table.open();
    table.addIndex(QStringLiteral("tab1"), QStringLiteral("DATE"), false);
    table.setIndexName(QStringLiteral("tab1"));
    table.first();
    table.close();
  });
  std::printf("%.6f 0 %ld %ld\n", s, hv::bench::peakResident(), startPeak);
  return 0;
}

// The baseline in its own process: a buffer of `size` bytes written and
// synced, the best of three.
int plainChild(const QString& path, qint64 size) {
  const QByteArray buffer(size, 'x');
  const double s = bestOf(3, [&] { hv::bench::writeAndSync(path, buffer); });
  std::printf("%.6f 0 %ld 0\n", s, hv::bench::peakResident());
  return 0;
}

int tableChild(const QString& path, int rows, bool sequential) {
  writeTable(path, rows, sequential);
  std::printf("0 0 0 0\n");
  return 0;
}

struct ChildResult {
  double seconds = 0, cpu = 0;
  long peak = 0, startPeak = 0;
};

ChildResult runChild(const QStringList& args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args);
  if (!p.waitForFinished(-1) || p.exitCode() != 0) {
    std::fprintf(stderr, "child %s failed\n", qPrintable(args.join(' ')));
    std::exit(1);
  }
  const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
  if (f.size() != 4) {
    std::fprintf(stderr, "child %s said nothing\n", qPrintable(args.join(' ')));
    std::exit(1);
  }
  return {f[0].toDouble(), f[1].toDouble(), f[2].toLong(), f[3].toLong()};
}

QByteArray sha256(const QString& path) {
  QFile f(path);
  QCryptographicHash h(QCryptographicHash::Sha256);
  if (f.open(QIODevice::ReadOnly)) h.addData(&f);
  return h.result().toHex();
}

void exportCase(const char* what, const QString& db, const QString& out, const QString& plain, int runs) {
  ChildResult best;
  long peak = 0;
  for (int i = 0; i < runs; ++i) {
    const ChildResult r = runChild({QStringLiteral("export"), db, out});
    if (i == 0 || r.seconds < best.seconds) best = r;
    peak = std::max(peak, r.peak);
  }
  const qint64 size = QFileInfo(out).size();
  const double baseline = runChild({QStringLiteral("plain"), plain, QString::number(size)}).seconds;
  QFile::remove(plain);
  std::printf("%s: workbook %.1f MB from a table of %.1f MB\n", what, size / 1e6, QFileInfo(db).size() / 1e6);
  std::printf("  time: %.3f s (cpu %.3f s) = %.2f x write + fsync of %.1f MB (%.3f s)  (goal: at most 2.5 x)\n",
              best.seconds, best.cpu, best.seconds / baseline, size / 1e6, baseline);
  std::printf("  peak memory: %.1f MB = %.2f x workbook  (goal: at most 1.5 x; %.1f MB before the export)\n",
              peak / 1e6, double(peak) / double(size), best.startPeak / 1e6);
  std::printf("  sha256 %s\n", sha256(out).constData());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() >= 4 && args[1] == QStringLiteral("--child")) {
    if (args[2] == QStringLiteral("export") && args.size() == 5) return exportChild(args[3], args[4]);
    if (args[2] == QStringLiteral("sort")) return sortChild(args[3]);
    if (args[2] == QStringLiteral("plain") && args.size() == 5) return plainChild(args[3], args[4].toLongLong());
    if (args[2] == QStringLiteral("table") && args.size() == 6)
      return tableChild(args[3], args[4].toInt(), args[5] == QStringLiteral("sequential"));
    return 2;
  }
  const QString folder = args.size() > 1 ? args[1] : QDir::currentPath();
  QTemporaryDir dir(folder + QStringLiteral("/export-bench-XXXXXX"));
  if (!dir.isValid()) {
    std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(folder));
    return 1;
  }
  const QString full = dir.filePath(QStringLiteral("full.db"));
  const QString big = dir.filePath(QStringLiteral("big.db"));
  const QString out = dir.filePath(QStringLiteral("out.xls"));
  const QString plain = dir.filePath(QStringLiteral("plain.bin"));
  // Everything big happens in children: a child's getrusage peak starts from
  // what its parent held when it was started.
  runChild({QStringLiteral("table"), full, QString::number(kFullSheets), QStringLiteral("sequential")});
  runChild({QStringLiteral("table"), big, QString::number(kBigRows), QStringLiteral("mixed")});

  exportCase("3 x 65,535 rows", full, out, plain, 3);
  exportCase("1,000,000 rows", big, out, plain, 2);

  const ChildResult sorted = runChild({QStringLiteral("sort"), big});
  const qint64 table = QFileInfo(big).size();
  std::printf("table engine, open + sort by DATE of the 1,000,000-row table (%.1f MB): %.3f s, peak %.1f MB = %.2f x "
              "table  (must not grow)\n",
              table / 1e6, sorted.seconds, sorted.peak / 1e6, double(sorted.peak) / double(table));
  return 0;
}
