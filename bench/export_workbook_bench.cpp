// The spreadsheet export of three archives of 65,535 rows each: building the
// workbook and writing the file, as a ratio to writing a buffer of the file's
// size to the same disk in the same run; and peak memory against file size.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

#include "export/archive_export.h"
#include "export/workbook_writers.h"
#include "store/db_table.h"
#include "bench_support.h"

namespace {

constexpr int kRows = hv::kMaxRowsPerSheet;

using hv::bench::bestOf;
using hv::bench::seconds;

// Processor time of this process, to tell the work from waiting on a busy machine.
double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Peak resident memory since the last reset, in bytes (Linux).
long peakResident() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong() * 1024;
  return 0;
}
long currentResident() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong() * 1024;
  return 0;
}
void resetPeak() {
  QFile f(QStringLiteral("/proc/self/clear_refs"));
  if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// The baseline: one buffer of `size` bytes written and synced, as the export's file is.
void writeBuffer(const QString& path, const QByteArray& buffer) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  for (qsizetype at = 0; at < buffer.size();) {
    const ssize_t n = ::write(fd, buffer.constData() + at, static_cast<size_t>(buffer.size() - at));
    if (n <= 0) break;
    at += n;
  }
  ::fsync(fd);
  ::close(fd);
}

QString material(int i) {
  static const QString names[] = {QStringLiteral("Сосна"), QStringLiteral("Бетон тяжёлый"), QStringLiteral("Песок")};
  return names[i % 3];
}

// Rows made up once, so that the timing holds only the model's work.
struct Rows {
  std::vector<QString> texts;  // 8 per row: columns B to I
};
const Rows& rows() {
  static const Rows r = [] {
    Rows out;
    out.texts.reserve(std::size_t(kRows) * 8);
    for (int r = 1; r <= kRows; ++r) {
      const bool series = r % 4 == 0;
      out.texts.push_back(QStringLiteral("%1.%2.2026").arg(r % 28 + 1, 2, 10, QChar('0')).arg(r % 12 + 1, 2, 10, QChar('0')));
      out.texts.push_back(QStringLiteral("%1:%2:00").arg(r % 24, 2, 10, QChar('0')).arg(r % 60, 2, 10, QChar('0')));
      out.texts.push_back(series ? QString() : QStringLiteral("%1,%2").arg(r % 40).arg(r % 10));
      out.texts.push_back(series ? QStringLiteral("%1,%2").arg(r % 30).arg(r % 10) : QString());
      out.texts.push_back(series ? QStringLiteral("%1,%2").arg(r % 30 + 5).arg(r % 10) : QString());
      out.texts.push_back(material(r));
      out.texts.push_back(QString::number(r % 5));
      out.texts.push_back(QString());
    }
    return out;
  }();
  return r;
}

// The model as the export fills it: a text is the table's text (shared, as the
// table engine hands out), an empty field an empty cell.
void buildModel(hv::TXlsWorkbook& book) {
  const Rows& data = rows();
  const QString titles[3] = {QStringLiteral("Древесные"), QStringLiteral("Бетонные"), QStringLiteral("Сыпучие")};
  const QString heads[9] = {"N", "Дата", "Время", "W, %", "Wmin, %", "Wmax, %", "Материал", "№ индивид. зависимости", "Примечание"};
  for (int s = 0; s < 3; ++s) {
    auto& sheet = book.AddSheet();
    sheet.SetName(QStringLiteral("Hygrovan-RX3 (") + titles[s] + QChar(')'));
    for (int c = 0; c < 9; ++c) sheet.GetRange(c, 0, c, 0).SetValue(heads[c]);
    for (int r = 1; r <= kRows; ++r) {
      sheet.GetRange(0, r, 0, r).SetValue(hv::Value(std::int32_t(r)));
      const QString* texts = &data.texts[std::size_t(r - 1) * 8];
      for (int c = 1; c < 9; ++c) {
        auto& cell = sheet.GetRange(c, r, c, r);
        if (!texts[c - 1].isEmpty()) cell.SetValue(texts[c - 1]);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  QTemporaryDir dir(folder + QStringLiteral("/export-bench-XXXXXX"));
  if (!dir.isValid()) {
    std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(folder));
    return 1;
  }
  const QString out = dir.filePath(QStringLiteral("bench.xls"));
  const QString plain = dir.filePath(QStringLiteral("plain.bin"));

  // 1. The model and the writer alone.
  rows();
  const long before = currentResident();
  resetPeak();
  double modelSeconds = 0, writeSeconds = 0;
  const double cpuStart = cpuSeconds();
  const double total = seconds([&] {
    hv::TXlsWorkbook book;
    modelSeconds = seconds([&] { buildModel(book); });
    writeSeconds = seconds([&] { hv::TBiff8Writer().Save(book, out); });
  });
  const double cpu = cpuSeconds() - cpuStart;
  const long peak = peakResident() - before;
  const qint64 fileSize = QFileInfo(out).size();

  const QByteArray buffer(fileSize, 'x');
  const double baseline = bestOf(3, [&] { writeBuffer(plain, buffer); });
  const double again = bestOf(2, [&] {
    hv::TXlsWorkbook book;
    buildModel(book);
    hv::TBiff8Writer().Save(book, out);
  });
  const double best = std::min(total, again);

  std::printf("export of 3 x %d rows: file %.1f MB\n", kRows, fileSize / 1e6);
  std::printf("  baseline (write %.1f MB and sync): %.3f s\n", fileSize / 1e6, baseline);
  std::printf("  model %.3f s + write %.3f s; best total %.3f s = %.2f x baseline (goal: within 4 x)\n", modelSeconds,
              writeSeconds, best, best / baseline);
  std::printf("  first run: %.3f s elapsed, %.3f s of processor time\n", total, cpu);
  std::printf("  peak memory above start: %.1f MB = %.2f x file size\n", peak / 1e6, double(peak) / fileSize);

  // 2. The whole export from a table file, as the command runs it.
  const QString db = dir.filePath(QStringLiteral("bench.db"));
  {
    hv::TDbTable t;
    t.setFileName(db);
    t.createTable();
    t.open();
    for (int s = 0; s < 3; ++s)
      for (int r = 1; r <= kRows; ++r) {
        t.append();
        t.setFieldInt(QStringLiteral("N"), r % 10000);  // four digits in the file
        t.setFieldInt(QStringLiteral("N_ARC"), s);
        t.setFieldText(QStringLiteral("DATE"), QStringLiteral("09.12.2026"));
        t.setFieldText(QStringLiteral("TIME"), QStringLiteral("12:34:56"));
        t.setFieldText(QStringLiteral("W"), QStringLiteral("%1,%2").arg(r % 40).arg(r % 10));
        t.setFieldText(QStringLiteral("MATERIAL"), material(r));
        t.setFieldText(QStringLiteral("N_IND"), QString::number(r % 5));
        t.post();
      }
    t.close();
  }
  hv::TDbTable table;
  table.setFileName(db);
  table.setReadOnly(true);
  table.open();
  table.setFiltered(true);
  const double fromTable = bestOf(2, [&] { hv::exportArchivesToFile(table, {true, true, true}, out); });
  const qint64 size2 = QFileInfo(out).size();
  const QByteArray buffer2(size2, 'x');
  const double baseline2 = bestOf(3, [&] { writeBuffer(plain, buffer2); });
  std::printf("export from a table of 3 x %d rows: file %.1f MB, %.3f s = %.2f x baseline (%.3f s)\n", kRows,
              size2 / 1e6, fromTable, fromTable / baseline2, baseline2);
  return 0;
}
