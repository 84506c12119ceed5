// hygrovan-cli download --create / --append and import against the meter simulator.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <sys/mount.h>

#include "import_images.h"
#include "support/meter_simulator.h"
#include "store/table_backup.h"
#include "support/test_support.h"

namespace {

using hv::test::StoredRow;
using hv::test::rowsOf;

class ImportCli : public ::testing::Test {
 protected:
  void SetUp() override { qputenv("HYGROVAN_DECIMAL_SEPARATOR", ","); }
  void TearDown() override {
    qunsetenv("HYGROVAN_DECIMAL_SEPARATOR");
    stopMeter();
  }
  // Starts the simulator with these records; returns its port path.
  QString startMeter(const QStringList& records) {
    stopMeter();
    const QString file = hv::test::testPath(QStringLiteral("records%1.txt").arg(++runs_));
    hv::test::writeFile(file, records.join(QChar('\n')).toLatin1() + "\n");
    return sim_.start({QStringLiteral("--records"), file}) ? sim_.path() : QString();
  }
  void stopMeter() { sim_.stop(); }
  hv::test::ProcessResult cli(const QStringList& args) {
    return hv::test::runProcess(hv::test::toolPath(QStringLiteral("hygrovan-cli")), args);
  }
  QList<StoredRow> rows(const QString& path, int kind) {
    hv::TDbTable t;
    t.setFileName(path);
    t.open();
    t.setFiltered(true);
    return rowsOf(t, kind);
  }

  hv::test::Simulator sim_;
  int runs_ = 0;
};

// archive moisture minimum maximum material individual second minute hour day month year
const QStringList kRecords = {
    "0 125 65535 65535 0 0 7 5 24 0 13 7",     "0 999 118 131 4 5 59 59 23 31 12 6",
    "0 0 65535 250 14 150 0 0 0 1 1 99",       "1 65535 65535 65535 12 0 60 60 12 15 6 255",
    "2 53 65535 65535 3 0 1 2 3 4 5 0",        "2 7 65535 65535 9 0 9 9 9 9 9 9",
    "2 100 65535 65535 12 3 10 20 30 32 1 10",
};

// What the rules give for those records, written out by hand.
struct Expected {
  int n, arc;
  const char *date, *time, *w, *wMin, *wMax, *material, *nInd;
};
const Expected kExpected[] = {
    {1, 0, "01.01.2007", "00:05:07", "12,5", nullptr, nullptr, "Сосна 420 кг/м.куб.", nullptr},
    {2, 0, "31.12.2006", "23:59:59", nullptr, "11,8", "13,1", "Осина", "5"},
    {3, 0, "01.01.2099", "00:00:00", nullptr, "6553,5", "25,0", "Кедр", "**"},
    {1, 1, "15.06.2255", "12:00:00", "6553,5", nullptr, nullptr, "Цементно-песчаный раствор", nullptr},
    {1, 2, "04.05.2000", "03:02:01", "5,3", nullptr, nullptr, "Отсев M2.8", nullptr},
    {2, 2, "09.09.2009", "09:09:09", "0,7", nullptr, nullptr, "9", nullptr},
    {3, 2, "01.01.2010", "00:20:10", "10,0", nullptr, nullptr, "Крупа", "3"},
};

std::optional<QString> text(const char* s) {
  return s ? std::optional<QString>(QString::fromUtf8(s)) : std::nullopt;
}

TEST_F(ImportCli, DownloadCreateWritesEveryFieldAsTheRulesSay) {
  const QString port = startMeter(kRecords);
  ASSERT_FALSE(port.isEmpty());
  const QString path = hv::test::testPath(QStringLiteral("meter.db"));
  const auto r = cli({"download", "--port", port, "--create", path});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();  // create mode reports nothing
  QList<StoredRow> all = rows(path, 0) + rows(path, 1) + rows(path, 2);
  ASSERT_EQ(all.size(), int(std::size(kExpected)));
  for (int i = 0; i < all.size(); ++i) {
    const Expected& e = kExpected[i];
    const StoredRow& row = all[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(row.n, e.n);
    EXPECT_EQ(row.arc, e.arc);
    EXPECT_EQ(row.date, text(e.date));
    EXPECT_EQ(row.time, text(e.time));
    EXPECT_EQ(row.w, text(e.w));
    EXPECT_EQ(row.wMin, text(e.wMin));
    EXPECT_EQ(row.wMax, text(e.wMax));
    EXPECT_EQ(row.material, text(e.material));
    EXPECT_EQ(row.nInd, text(e.nInd));
    EXPECT_EQ(row.comment, std::nullopt);
  }

  // The same through an image file and `import`.
  const QString image = hv::test::testPath(QStringLiteral("meter.bin"));
  ASSERT_EQ(cli({"download", "--port", port, "--image", image}).exitCode, 0);
  const QString copy = hv::test::testPath(QStringLiteral("copy.db"));
  const auto imported = cli({"import", "--image", image, "--create", copy});
  ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
  for (int k = 0; k < 3; ++k) {
    const auto a = rows(path, k), b = rows(copy, k);
    ASSERT_EQ(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].date, b[i].date);
      EXPECT_EQ(a[i].w, b[i].w);
      EXPECT_EQ(a[i].wMin, b[i].wMin);
      EXPECT_EQ(a[i].material, b[i].material);
    }
  }
}

TEST_F(ImportCli, DownloadAppendPrintsTheReportOfEachArchive) {
  QStringList records = {"0 100 65535 65535 0 0 0 0 10 1 3 7", "0 110 65535 65535 0 0 0 0 11 1 3 7"};
  const QString first = startMeter(records);
  ASSERT_FALSE(first.isEmpty());
  const QString path = hv::test::testPath(QStringLiteral("grow.db"));
  ASSERT_EQ(cli({"download", "--port", first, "--create", path}).exitCode, 0);
  records << "0 120 65535 65535 0 0 0 0 12 1 3 7"
          << "2 50 65535 65535 0 0 0 0 12 1 3 7";
  const QString port = startMeter(records);
  const auto r = cli({"download", "--port", port, "--append", path});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(r.out),
            QStringLiteral("Добавлено записей в архив древесных: 1\n"
                           "Добавлено записей в архив бетонных: 0\n"
                           "Добавлено записей в архив сыпучих: 1\n"));
  EXPECT_EQ(hv::test::numbersOf(rows(path, 0)), (QList<int>{1, 2, 3}));
  EXPECT_EQ(rows(path, 0).value(2).w, QStringLiteral("12,0"));
  EXPECT_EQ(rows(path, 2).size(), 1);
}

TEST_F(ImportCli, EmptyMeterAndBadImagesAreRefused) {
  const QString port = startMeter({});
  const QString path = hv::test::testPath(QStringLiteral("none.db"));
  const auto r = cli({"download", "--port", port, "--create", path});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Архив прибора пуст!"))) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(path));

  // An image whose counts run past its end, and one too short to hold counts.
  const QString image = hv::test::testPath(QStringLiteral("bad.bin"));
  hv::test::writeFile(image, QByteArray::fromHex("0500") + QByteArray(20, '\0'));
  auto bad = cli({"import", "--image", image, "--create", path});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_FALSE(bad.err.isEmpty());
  EXPECT_FALSE(QFile::exists(path));
  hv::test::writeFile(image, QByteArray(3, '\0'));
  EXPECT_EQ(cli({"import", "--image", image, "--create", path}).exitCode, 1);
  EXPECT_EQ(cli({"import", "--image", image}).exitCode, 2);
  EXPECT_EQ(cli({"import", "--image", image, "--create", path, "--append", path}).exitCode, 2);
  EXPECT_FALSE(QFile::exists(path));
  // Appending to a file that is no table leaves it alone.
  const QString notTable = hv::test::testPath(QStringLiteral("notes.db"));
  hv::test::writeFile(notTable, "notes");
  auto image2 = hv::test::makeImage({QList<hv::test::Rec>{hv::test::at(1, 0)}, {}, {}});
  hv::test::writeFile(image, hv::test::imageBytes(*image2));
  EXPECT_EQ(cli({"import", "--image", image, "--append", notTable}).exitCode, 1);
  EXPECT_EQ(hv::test::readFile(notTable), QByteArray("notes"));
}

// A full disk in the middle of an append: a small file system of its own
// where the test may mount one, else a file-size limit on the cli.
TEST_F(ImportCli, AnAppendThatMeetsAFullDiskLeavesTheTableAsItWasAndItsBackup) {
  QList<hv::test::Rec> few, many;
  for (int i = 0; i < 20; ++i) few << hv::test::at(1, i);
  for (int i = 0; i < 300; ++i) many << hv::test::at(2 + i / 60, i % 60);
  const QString disk = hv::test::testPath(QStringLiteral("disk"));
  QDir().mkpath(disk);
  const bool mounted = ::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=256k") == 0;
  const QString path = disk + QStringLiteral("/full.db");
  const QString image = hv::test::testPath(QStringLiteral("image.bin"));
  hv::test::writeFile(image, hv::test::imageBytes(*hv::test::makeImage({few, {}, {}})));
  ASSERT_EQ(cli({"import", "--image", image, "--create", path}).exitCode, 0);
  const QByteArray before = hv::test::readFile(path);
  QStringList limit;
  if (mounted) {
    // Room left for the backup, none for the rows.
    QFile filler(disk + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) == 4096) {
    }
    filler.resize(filler.size() / 4096 * 4096 - (before.size() + 4095) / 4096 * 4096);
    filler.close();
  } else {
    limit = QStringList{QStringLiteral("--fsize=%1").arg(before.size() + 1000)};
  }
  hv::test::writeFile(image, hv::test::imageBytes(*hv::test::makeImage({many, many.mid(0, 100), {}})));
  const QString tool = mounted ? hv::test::toolPath(QStringLiteral("hygrovan-cli")) : QStringLiteral("/usr/bin/prlimit");
  if (!mounted) limit << hv::test::toolPath(QStringLiteral("hygrovan-cli"));
  const auto r = hv::test::runProcess(tool, limit + QStringList{"import", "--image", image, "--append", path});
  const QByteArray after = hv::test::readFile(path), backup = hv::test::readFile(hv::backupPathFor(path));
  if (mounted) ::umount2(disk.toLocal8Bit().constData(), MNT_DETACH);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("осталась такой, какой была"))) << r.err.toStdString();
  EXPECT_EQ(after, before);
  EXPECT_EQ(backup, before);
}

TEST_F(ImportCli, ATableNamedLikeItsIndexOrBackupIsRefusedAndTheFileLeftAlone) {
  const QString image = hv::test::testPath(QStringLiteral("image.bin"));
  hv::test::writeFile(image, hv::test::imageBytes(*hv::test::makeImage({QList<hv::test::Rec>{hv::test::at(1, 0)}, {}, {}})));
  for (const QString name : {"a.mdx", "b.BAK"}) {
    const QString path = hv::test::testPath(name);
    hv::test::writeFile(path, "the user's own file");
    const auto r = cli({"import", "--image", image, "--create", path});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(name)) << r.err.toStdString();
    EXPECT_EQ(hv::test::readFile(path), QByteArray("the user's own file"));
  }
}

}  // namespace
