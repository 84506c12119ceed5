// The archive import: create mode for a full meter, and append mode into a
// table of a million rows. Each figure is also given as a ratio to the table
// engine's own work on the same rows, measured in the same run.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "device/device_image.h"
#include "device/import/archive_import.h"
#include "platform/codepage.h"
#include "platform/regional.h"
#include "store/db_table.h"
#include "store/dbf_file.h"
#include "bench_support.h"

namespace {

constexpr int kFullMeter = 4680;
constexpr int kBigRows = 1'000'000;

using hv::bench::bestOf;

// A full meter, 1560 records per archive, a minute apart through 2007.
std::unique_ptr<hv::DeviceImageBytes> fullImage() {
  auto image = std::make_unique<hv::DeviceImageBytes>();
  image->fill(0);
  int pos = 0;
  const int perArchive = kFullMeter / 3;
  for (int k = 0; k < 3; ++k) {
    (*image)[pos++] = quint8(perArchive & 0xFF);
    (*image)[pos++] = quint8(perArchive >> 8);
    for (int i = 0; i < perArchive; ++i) {
      quint8* r = image->data() + pos;
      const bool single = i % 2 == 0;
      const int w = 100 + i % 300;
      auto word = [&](int at, int v) {
        r[at] = quint8(v & 0xFF);
        r[at + 1] = quint8(v >> 8);
      };
      word(0, w);
      word(2, single ? 0xFFFF : w - 10);
      word(4, single ? 0xFFFF : w + 10);
      r[6] = quint8(i % 8);
      r[7] = quint8(i % 3 == 0 ? i % 120 : 0);
      r[8] = 0;
      r[9] = quint8(i % 60);
      r[10] = quint8((i / 60) % 24);
      r[11] = quint8(1 + (i / 1440) % 28);
      r[12] = quint8(1 + i / 40320);
      r[13] = 7;
      pos += hv::RecordSize;
    }
  }
  return image;
}

// A table of a million rows from 2006, written straight in the file format.
void writeBigTable(const QString& path) {
  hv::bench::writeRawTable(path, kBigRows, [](int i, const std::vector<int>& widths) {
    const int kind = i % 3;
    const int n = i / 3 + 1;
    return QList<QByteArray>{QByteArray::number(n).rightJustified(widths[0]),
                             QByteArray::number(kind).rightJustified(widths[1]),
                             QByteArray("15.06.2006"),
                             QStringLiteral("%1:%2:00").arg((n / 60) % 24, 2, 10, QChar('0')).arg(n % 60, 2, 10, QChar('0')).toLatin1(),
                             QByteArray("12,5"),
                             QByteArray(),
                             QByteArray(),
                             hv::toCp1251(QStringLiteral("Сосна")),
                             QByteArray(),
                             QByteArray()};
  });
}

void openFiltered(hv::TDbTable& t, const QString& path) {
  t.setFileName(path);
  t.open();
  t.setFiltered(true);
  t.setFilter(QStringLiteral("N_ARC=0"));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  hv::setDecimalSeparatorOverride(QChar(','));
  QTemporaryDir dir(QDir::current().filePath(QStringLiteral("import_bench.XXXXXX")));
  const QString small = dir.filePath(QStringLiteral("new.db"));
  auto image = fullImage();

  // Create mode: the import against appending the same number of rows of
  // constant texts through the engine.
  const double plainAppends = bestOf(
      5, nullptr, [&] {
        hv::TDbTable t;
        t.setFileName(small);
        t.createTable();
        openFiltered(t, small);
        for (int i = 0; i < kFullMeter; ++i) {
          t.append();
          t.setFieldInt(QStringLiteral("N"), i + 1);
          t.setFieldInt(QStringLiteral("N_ARC"), i % 3);
          t.setFieldText(QStringLiteral("W"), QStringLiteral("12,5"));
          t.setFieldText(QStringLiteral("MATERIAL"), QStringLiteral("Сосна"));
          t.setFieldText(QStringLiteral("TIME"), QStringLiteral("12:00:00"));
          t.setFieldText(QStringLiteral("DATE"), QStringLiteral("01.01.2007"));
          t.post();
        }
        t.close();
      });
  const double create = bestOf(5, nullptr, [&] {
    hv::TDbTable t;
    t.setFileName(small);
    t.createTable();
    openFiltered(t, small);
    hv::ImportArchives(t, *image, false);
    t.close();
  });
  std::printf("create mode, %d records: %.4f s (goal 0.1 s); ratio to %d plain engine appends: %.2f\n", kFullMeter,
              create, kFullMeter, create / plainAppends);

  // Append mode into a million rows, all device records newer.
  const QString bigMaster = dir.filePath(QStringLiteral("big-master.db"));
  const QString big = dir.filePath(QStringLiteral("big.db"));
  writeBigTable(bigMaster);
  auto fresh = [&] {
    QFile::remove(big);
    QFile::copy(bigMaster, big);
  };
  const double scan = bestOf(3, fresh, [&] {
    hv::TDbTable t;
    openFiltered(t, big);
    for (int k = 0; k < 3; ++k) {
      t.setFilter(QStringLiteral("N_ARC=%1").arg(k));
      t.refresh();
      t.last();
    }
    t.close();
  });
  int added = 0;
  const double append = bestOf(3, fresh, [&] {
    hv::TDbTable t;
    openFiltered(t, big);
    const auto res = hv::ImportArchives(t, *image, true);
    added = res[0].added + res[1].added + res[2].added;
    t.close();
  });
  std::printf("append mode, %d new records into %d rows: %.4f s (goal 0.5 s); ratio to opening and filtering "
              "the three archives: %.2f\n",
              added, kBigRows, append, append / scan);
  return added == kFullMeter ? 0 : 1;
}
