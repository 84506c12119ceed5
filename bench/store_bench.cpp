// The table engine on a 1,000,000-row table (147 MB): each figure is a ratio
// to `cat FILE > /dev/null` measured in the same run.
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "store/db_table.h"

namespace {

constexpr int kRows = 1'000'000;
constexpr int kRecordLength = 147;
constexpr int kHeaderLength = 353;

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Wall time; the process's CPU time of the last call goes to lastCpu, which
// tells a busy machine from a slow engine.
double g_lastCpu = 0;
double seconds(const std::function<void()>& fn) {
  QElapsedTimer t;
  const double cpu = cpuSeconds();
  t.start();
  fn();
  g_lastCpu = cpuSeconds() - cpu;
  return double(t.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double catTime(const QString& path) {
  const QByteArray cmd = "cat '" + QFile::encodeName(path) + "' > /dev/null";
  std::vector<double> runs;
  for (int i = 0; i < 5; ++i) runs.push_back(seconds([&] {
    if (std::system(cmd.constData()) != 0) std::fprintf(stderr, "cat failed\n");
  }));
  return median(runs);
}

void field(QByteArray& rec, int& at, const QByteArray& text, int width, bool right = false) {
  QByteArray v = text.left(width);
  const QByteArray pad(width - v.size(), ' ');
  rec.replace(at, width, right ? pad + v : v + pad);
  at += width;
}

// The rows a meter gives: three archives, single values and ranges.
void generate(const QString& path) {
  hv::TDbTable t;
  t.setFileName(path);
  t.createTable();
  QFile f(path);
  if (!f.open(QIODevice::ReadWrite)) std::exit(1);
  QByteArray header = f.read(kHeaderLength);
  const quint32 n = kRows;
  for (int i = 0; i < 4; ++i) header[4 + i] = char((n >> (8 * i)) & 0xFF);
  f.seek(0);
  f.write(header);
  QByteArray block;
  const QDate start(2015, 1, 1);
  unsigned seed = 12345;
  auto rnd = [&](unsigned m) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % m;
  };
  int number[3] = {0, 0, 0};
  for (int i = 0; i < kRows; ++i) {
    QByteArray rec(kRecordLength, ' ');
    int at = 1;
    const int arc = int(rnd(3));
    field(rec, at, QByteArray::number(++number[arc] % 10000), 4, true);
    field(rec, at, QByteArray::number(arc), 4, true);
    field(rec, at, start.addDays(int(rnd(3650))).toString("dd.MM.yyyy").toLatin1(), 10);
    field(rec, at, QString::asprintf("%02u:%02u:%02u", rnd(24), rnd(60), rnd(60)).toLatin1(), 8);
    const bool range = rnd(4) == 0;
    auto w = [&] { return QString::asprintf("%u,%u", rnd(100), rnd(10)).toLatin1(); };
    field(rec, at, range ? QByteArray() : w(), 6);
    field(rec, at, range ? w() : QByteArray(), 6);
    field(rec, at, range ? w() : QByteArray(), 6);
    field(rec, at, QByteArray("material ") + QByteArray::number(rnd(40)), 50);
    field(rec, at, rnd(5) ? QByteArray() : QByteArray::number(rnd(10)), 2);
    field(rec, at, QByteArray(), 50);
    block += rec;
    if (block.size() > (8 << 20)) {
      f.write(block);
      block.clear();
    }
  }
  block += char(0x1A);
  f.write(block);
}

void markEveryTenthDeleted(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadWrite)) std::exit(1);
  for (qint64 r = 0; r < kRows; r += 10) {
    f.seek(kHeaderLength + r * kRecordLength);
    f.write("*", 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath("bench.db");
  std::printf("generating %d rows...\n", kRows);
  generate(path);
  std::printf("table: %lld bytes\n", QFile(path).size());
  catTime(path);  // into the page cache
  const double cat = catTime(path);
  std::printf("baseline cat FILE > /dev/null: %.1f ms\n", cat * 1000);
  auto report = [&](const char* what, double s, double goal) {
    std::printf("%-52s %8.1f ms  %5.2fx cat  (cpu %6.1f ms, last run)", what, s * 1000, s / cat, g_lastCpu * 1000);
    if (goal > 0) std::printf("  (goal %.0fx)", goal);
    std::printf("\n");
  };

  std::vector<double> runs;
  int counts[3] = {};
  for (int i = 0; i < 5; ++i) runs.push_back(seconds([&] {
    hv::TDbTable t;
    t.setFileName(path);
    t.open();
    t.setFiltered(true);
    for (int k = 0; k < 3; ++k) {
      t.setFilter(QString("N_ARC=%1").arg(k));
      counts[k] = t.recordCount();
    }
    t.close();
  }));
  std::printf("counts: %d %d %d\n", counts[0], counts[1], counts[2]);
  report("open + count of the three filters", median(runs), 3);

  for (const char* fieldName : {"DATE", "W"}) {
    hv::TDbTable t;
    t.setFileName(path);
    t.open();
    runs.clear();
    for (int i = 0; i < 3; ++i) runs.push_back(seconds([&] { t.addIndex("tab1", fieldName, false); }));
    report(qPrintable(QString("tag on %1 (with its .mdx written)").arg(fieldName)), median(runs), 10);
    t.deleteIndex("tab1");
    t.close();
  }

  {
    hv::TDbTable t;
    t.setFileName(path);
    t.setFilter("N_ARC=0");
    t.setFiltered(true);
    t.open();
    const double s = seconds([&] {
      for (int i = 0; i < 4680; ++i) {
        t.append();
        t.setFieldInt("N", i % 9999 + 1);
        t.setFieldInt("N_ARC", 0);
        t.setFieldText("DATE", "01.02.2026");
        t.setFieldText("TIME", "10:00:00");
        t.setFieldText("W", "12,5");
        t.setFieldText("MATERIAL", "Сосна");
        t.post();
      }
    });
    t.close();
    report("appending 4,680 rows", s, 0);
  }

  markEveryTenthDeleted(path);  // setup, not timed
  {
    hv::TDbTable t;
    t.setFileName(path);
    t.open();
    const double s = seconds([&] { t.pack(); });
    std::printf("rows after pack: %d\n", t.recordCount());
    t.close();
    report("pack after deleting every tenth row (with fsync)", s, 0);
  }
  return 0;
}
