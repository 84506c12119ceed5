// The import of hand-built device images into a measurement table.
#include <gtest/gtest.h>

#include <QFile>
#include <csignal>

#include "device/import/archive_import.h"
#include "import_images.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "support/test_support.h"

namespace {

using hv::test::at;
using hv::test::numbersOf;
using hv::test::Rec;
using hv::test::rowsOf;

class ArchiveImport : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setDecimalSeparatorOverride(QChar(','));
    path_ = hv::test::testPath(QStringLiteral("m.db"));
    table_.setFileName(path_);
    table_.createTable();
    table_.open();
    table_.setFiltered(true);
    table_.setFilter(QStringLiteral("N_ARC=1"));
  }
  void TearDown() override {
    table_.close();
    hv::setDecimalSeparatorOverride(QChar());
  }
  hv::ImportResult import(const std::array<QList<Rec>, 3>& archives, bool append) {
    reports_.clear();
    auto image = hv::test::makeImage(archives);
    return hv::ImportArchives(table_, *image, append,
                              [this](const hv::ArchiveImportResult& r) { reports_ << hv::appendReportText(r); });
  }

  QString path_;
  hv::TDbTable table_;
  QStringList reports_;
};

TEST_F(ArchiveImport, CreateModeNumbersEachArchiveFromOneAndReportsNothing) {
  const auto res = import({QList<Rec>{at(1, 0), at(1, 1)}, {}, QList<Rec>{at(2, 0)}}, false);
  EXPECT_TRUE(reports_.isEmpty());
  EXPECT_EQ(res[0].added, 2);
  EXPECT_EQ(res[1].added, 0);
  EXPECT_EQ(res[2].added, 1);
  // The filter in force before is back, on the first row.
  EXPECT_EQ(table_.filter(), QStringLiteral("N_ARC=1"));
  EXPECT_TRUE(table_.isEmpty());
  table_.setFilter(QString());
  table_.setFiltered(false);
  table_.refresh();
  EXPECT_EQ(table_.recordCount(), 3);
  table_.setFiltered(true);
  EXPECT_EQ(numbersOf(rowsOf(table_, 0)), (QList<int>{1, 2}));
  EXPECT_EQ(numbersOf(rowsOf(table_, 1)), QList<int>{});
  const auto bulk = rowsOf(table_, 2);
  ASSERT_EQ(bulk.size(), 1);
  EXPECT_EQ(bulk[0].n, 1);
  EXPECT_EQ(bulk[0].arc, 2);
  EXPECT_EQ(bulk[0].date, QStringLiteral("02.01.2007"));
}

TEST_F(ArchiveImport, EveryFieldOfSingleAndSeriesRecords) {
  Rec single = at(15, 7, 125);
  single.hour = 9;
  single.second = 3;
  single.material = 3;
  Rec series;
  series.wMin = 118;
  series.wMax = 131;
  series.w = 999;  // ignored in a series
  series.hour = 24;
  series.minute = 5;
  series.second = 7;
  series.day = 0;
  series.month = 13;
  series.year = 7;
  Rec oneSided;  // only the minimum marked: a series whose minimum reads 6553.5
  oneSided.wMax = 250;
  import({QList<Rec>{single, series, oneSided}, {}, {}}, false);
  const auto rows = rowsOf(table_, 0);
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0].w, QStringLiteral("12,5"));
  EXPECT_EQ(rows[0].wMin, std::nullopt);
  EXPECT_EQ(rows[0].wMax, std::nullopt);
  EXPECT_EQ(rows[0].date, QStringLiteral("15.01.2007"));
  EXPECT_EQ(rows[0].time, QStringLiteral("09:07:03"));
  EXPECT_EQ(rows[0].material, QStringLiteral("Лиственница 590 кг/м.куб."));
  EXPECT_EQ(rows[0].nInd, std::nullopt);
  EXPECT_EQ(rows[0].comment, std::nullopt);
  EXPECT_EQ(rows[1].w, std::nullopt);
  EXPECT_EQ(rows[1].wMin, QStringLiteral("11,8"));
  EXPECT_EQ(rows[1].wMax, QStringLiteral("13,1"));
  EXPECT_EQ(rows[1].time, QStringLiteral("00:05:07"));
  EXPECT_EQ(rows[1].date, QStringLiteral("01.01.2007"));
  EXPECT_EQ(rows[2].w, std::nullopt);
  EXPECT_EQ(rows[2].wMin, QStringLiteral("6553,5"));
  EXPECT_EQ(rows[2].wMax, QStringLiteral("25,0"));
}

TEST_F(ArchiveImport, IndividualNumbersPickTheListAndTooWideOnesAreMarked) {
  auto rec = [](quint8 ind, quint8 material) {
    Rec r;
    r.individual = ind;
    r.material = material;
    return r;
  };
  import({QList<Rec>{rec(0, 0), rec(5, 0), rec(150, 1), rec(99, 2), rec(100, 2), rec(255, 14)},
          QList<Rec>{rec(0, 12), rec(7, 13)}, QList<Rec>{rec(0, 3), rec(0, 8)}},
         false);
  const auto wood = rowsOf(table_, 0);
  ASSERT_EQ(wood.size(), 6);
  EXPECT_EQ(wood[0].nInd, std::nullopt);
  EXPECT_EQ(wood[0].material, QStringLiteral("Сосна 420 кг/м.куб."));
  EXPECT_EQ(wood[1].nInd, QStringLiteral("5"));
  EXPECT_EQ(wood[1].material, QStringLiteral("Древесина"));
  EXPECT_EQ(wood[2].nInd, QStringLiteral("**"));
  EXPECT_EQ(wood[2].material, QStringLiteral("Сосна"));
  EXPECT_EQ(wood[3].nInd, QStringLiteral("99"));
  EXPECT_EQ(wood[4].nInd, QStringLiteral("**"));
  EXPECT_EQ(wood[5].nInd, QStringLiteral("**"));
  EXPECT_EQ(wood[5].material, QStringLiteral("Кедр"));
  const auto concrete = rowsOf(table_, 1);
  ASSERT_EQ(concrete.size(), 2);
  EXPECT_EQ(concrete[0].material, QStringLiteral("Цементно-песчаный раствор"));
  EXPECT_EQ(concrete[1].material, QStringLiteral("Пенобетон"));
  const auto bulk = rowsOf(table_, 2);
  ASSERT_EQ(bulk.size(), 2);
  EXPECT_EQ(bulk[0].material, QStringLiteral("Отсев M2.8"));
  // A code beyond its list stops nothing; the row keeps the code.
  EXPECT_EQ(bulk[1].material, QStringLiteral("8"));
}

TEST_F(ArchiveImport, AppendIntoAnEmptyArchiveTakesEveryRecordAndReportsAllThree) {
  import({QList<Rec>{at(1, 0), at(1, 1)}, {}, {}}, false);
  const auto res = import({QList<Rec>{at(1, 0), at(1, 1)}, QList<Rec>{at(3, 0), at(3, 1), at(3, 2)}, {}}, true);
  EXPECT_EQ(reports_, (QStringList{QStringLiteral("Добавлено записей в архив древесных: 0"),
                                   QStringLiteral("Добавлено записей в архив бетонных: 3"),
                                   QStringLiteral("Добавлено записей в архив сыпучих: 0")}));
  EXPECT_EQ(res[1].added, 3);
  EXPECT_EQ(numbersOf(rowsOf(table_, 1)), (QList<int>{1, 2, 3}));
  EXPECT_EQ(numbersOf(rowsOf(table_, 0)), (QList<int>{1, 2}));
}

TEST_F(ArchiveImport, AppendSkipsWhatTheTableHoldsAndNumbersOnFromThere) {
  const QList<Rec> first3 = {at(1, 0), at(1, 1), at(1, 2)};
  import({first3, {}, {}}, false);
  QList<Rec> device = first3;
  device << at(2, 0) << at(2, 1);
  auto res = import({device, {}, {}}, true);
  EXPECT_EQ(res[0].skipped, 3);
  EXPECT_EQ(res[0].added, 2);
  EXPECT_EQ(reports_.value(0), QStringLiteral("Добавлено записей в архив древесных: 2"));
  const auto wood = rowsOf(table_, 0);
  EXPECT_EQ(numbersOf(wood), (QList<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(wood[3].date, QStringLiteral("02.01.2007"));

  // Nothing newer: nothing added, the report says 0.
  res = import({device, {}, {}}, true);
  EXPECT_EQ(res[0].added, 0);
  EXPECT_EQ(reports_.value(0), QStringLiteral("Добавлено записей в архив древесных: 0"));
  EXPECT_EQ(rowsOf(table_, 0).size(), 5);
}

TEST_F(ArchiveImport, AppendComparesByTheStoredSecondAndTakesAllFromTheFirstNewer) {
  import({QList<Rec>{at(5, 10)}, {}, {}}, false);
  // Same second as the stored row (counts as stored), one newer, then one older
  // again: from the first newer record on, everything is appended.
  Rec sameSecond = at(5, 10, 300);
  Rec newer = at(5, 11);
  Rec older = at(1, 0);
  const auto res = import({QList<Rec>{at(4, 0), sameSecond, newer, older}, {}, {}}, true);
  EXPECT_EQ(res[0].skipped, 2);
  EXPECT_EQ(res[0].added, 2);
  const auto wood = rowsOf(table_, 0);
  EXPECT_EQ(numbersOf(wood), (QList<int>{1, 3, 4}));
  EXPECT_EQ(wood[2].date, QStringLiteral("01.01.2007"));
}

TEST_F(ArchiveImport, AppendOrdersByTheClockReadingAlsoOnADayTheCalendarLacks) {
  auto april = [](int day, int month = 4) {
    Rec r = at(day, 0);
    r.month = quint8(month);
    r.hour = 10;
    return r;
  };
  // The meter can send 31 April: it lies between 1 April and 1 May.
  import({QList<Rec>{april(1)}, QList<Rec>{april(31)}, {}}, false);
  const auto res = import({QList<Rec>{april(1), april(31), april(1, 5)}, QList<Rec>{april(31), april(1, 5)}, {}}, true);
  EXPECT_EQ(res[0].skipped, 1);
  EXPECT_EQ(res[0].added, 2);
  EXPECT_EQ(reports_.value(0), QStringLiteral("Добавлено записей в архив древесных: 2"));
  const auto wood = rowsOf(table_, 0);
  EXPECT_EQ(numbersOf(wood), (QList<int>{1, 2, 3}));
  EXPECT_EQ(wood.value(1).date, QStringLiteral("31.04.2007"));
  // A stored 31 April is a readable last row.
  EXPECT_FALSE(res[1].unreadableLastRow);
  EXPECT_EQ(res[1].added, 1);
  EXPECT_EQ(numbersOf(rowsOf(table_, 1)), (QList<int>{1, 2}));
}

TEST_F(ArchiveImport, AnAppendWritesTheSeparatorTheTableAlreadyUsesAnEmptyOneTheUsers) {
  // Rows with a comma (in the concrete archive only), then an append under a
  // full stop: every new row keeps the comma, the wood ones too.
  import({QList<Rec>{}, QList<Rec>{at(1, 0)}, {}}, false);
  hv::setDecimalSeparatorOverride(QChar('.'));
  Rec series = at(2, 0);
  series.wMin = 118;
  series.wMax = 131;
  import({QList<Rec>{at(1, 5)}, QList<Rec>{at(1, 0), series}, {}}, true);
  EXPECT_EQ(rowsOf(table_, 0).value(0).w, QStringLiteral("12,5"));
  EXPECT_EQ(rowsOf(table_, 1).value(1).wMin, QStringLiteral("11,8"));
  EXPECT_EQ(rowsOf(table_, 1).value(1).wMax, QStringLiteral("13,1"));
  // A table without rows takes the user's separator, in either mode.
  table_.close();
  table_.createTable();
  table_.open();
  import({QList<Rec>{at(1, 5)}, {}, {}}, true);
  EXPECT_EQ(rowsOf(table_, 0).value(0).w, QStringLiteral("12.5"));
}

TEST_F(ArchiveImport, AnUnreadableLastStoredDateStopsOnlyThatArchive) {
  import({QList<Rec>{at(1, 0), at(1, 1)}, QList<Rec>{at(1, 0)}, {}}, false);
  for (const char* bad : {"32.02.2007", "", "вчера"}) {
    table_.setFilter(QStringLiteral("N_ARC=0"));
    table_.refresh();
    table_.last();
    table_.edit();
    table_.setFieldText(QStringLiteral("DATE"), QString::fromUtf8(bad));
    table_.post();
    const auto res =
        import({QList<Rec>{at(1, 0), at(1, 1), at(9, 0)}, QList<Rec>{at(1, 0), at(9, 0)}, QList<Rec>{at(9, 0)}}, true);
    EXPECT_TRUE(res[0].unreadableLastRow) << bad;
    EXPECT_EQ(res[0].added, 0) << bad;
    EXPECT_EQ(rowsOf(table_, 0).size(), 2) << bad;
    ASSERT_EQ(reports_.size(), 3);
    EXPECT_FALSE(reports_[0].contains(QStringLiteral("Добавлено"))) << reports_[0].toStdString();
    EXPECT_TRUE(reports_[0].contains(QStringLiteral("древесных"))) << reports_[0].toStdString();
    EXPECT_TRUE(reports_[0].contains(QStringLiteral("не добавлены"))) << reports_[0].toStdString();
    // The other archives go on: the newer record once, nothing the next time.
    for (int k : {1, 2}) {
      EXPECT_FALSE(res[k].unreadableLastRow);
      EXPECT_EQ(res[k].skipped + res[k].added, res[k].deviceCount);
      EXPECT_EQ(rowsOf(table_, k).size(), k == 1 ? 2 : 1);
    }
  }
}

TEST_F(ArchiveImport, AClosedTableOrABrokenImageWritesNothing) {
  auto image = hv::test::makeImage({QList<Rec>{at(1, 0)}, {}, {}});
  hv::TDbTable closed;
  int calls = 0;
  const auto res = hv::ImportArchives(closed, *image, true, [&](const hv::ArchiveImportResult&) { ++calls; });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(res[0].added, 0);

  // Counts that run past the end of the image.
  hv::DeviceImageBytes broken{};
  broken[0] = 0xFF;
  broken[1] = 0xFF;
  EXPECT_THROW(hv::ImportArchives(table_, broken, false), hv::Error);
  table_.setFilter(QString());
  table_.setFiltered(false);
  table_.refresh();
  EXPECT_EQ(table_.recordCount(), 0);
}

// A kill in the middle of an import: the rows posted before it stay in a file
// that opens.
TEST_F(ArchiveImport, AKillDuringTheImportLeavesThePostedRows) {
  GTEST_FLAG_SET(death_test_style, "fast");
  QList<Rec> wood;
  for (int i = 0; i < 50; ++i) wood << at(1 + i / 60, i % 60);
  auto image = hv::test::makeImage({wood, QList<Rec>{at(1, 0)}, {}});
  table_.close();
  EXPECT_EXIT(
      {
        hv::TDbTable child;
        child.setFileName(path_);
        child.open();
        child.setFiltered(true);
        hv::ImportArchives(child, *image, true, [](const hv::ArchiveImportResult&) { std::raise(SIGKILL); });
      },
      ::testing::KilledBySignal(SIGKILL), "");
  hv::TDbTable reopened;
  reopened.setFileName(path_);
  ASSERT_NO_THROW(reopened.open());
  reopened.setFiltered(true);
  const auto rows = rowsOf(reopened, 0);
  EXPECT_EQ(rows.size(), 50);
  EXPECT_EQ(rows.value(49).n, 50);
  EXPECT_EQ(rowsOf(reopened, 1).size(), 0);
  reopened.close();
  table_.open();
}

TEST_F(ArchiveImport, IntoAFileRefusesAnEmptyImageAndLeavesAnExistingFile) {
  table_.close();
  const QString other = hv::test::testPath(QStringLiteral("other.db"));
  hv::test::writeFile(other, "not a table, but the user's file");
  auto empty = hv::test::makeImage({});
  try {
    hv::importIntoFile(other, *empty, false);
    ADD_FAILURE() << "no error";
  } catch (const hv::Error& e) {
    EXPECT_EQ(e.text(), QStringLiteral("Архив прибора пуст!"));
  }
  EXPECT_EQ(hv::test::readFile(other), QByteArray("not a table, but the user's file"));
  const QString fresh = hv::test::testPath(QStringLiteral("new.db"));
  EXPECT_THROW(hv::importIntoFile(fresh, *empty, false), hv::Error);
  EXPECT_FALSE(QFile::exists(fresh));

  // Create replaces the file; append reports each archive.
  auto image = hv::test::makeImage({QList<Rec>{at(1, 0)}, {}, QList<Rec>{at(1, 0)}});
  hv::importIntoFile(other, *image, false);
  auto more = hv::test::makeImage({QList<Rec>{at(1, 0), at(2, 0)}, {}, QList<Rec>{at(1, 0)}});
  QStringList lines;
  const auto res = hv::importIntoFile(other, *more, true, [&](const QString& l) { lines << l; });
  EXPECT_EQ(res[0].added, 1);
  EXPECT_EQ(lines, (QStringList{QStringLiteral("Добавлено записей в архив древесных: 1"),
                                QStringLiteral("Добавлено записей в архив бетонных: 0"),
                                QStringLiteral("Добавлено записей в архив сыпучих: 0")}));
  hv::TDbTable created;
  created.setFileName(other);
  created.open();
  created.setFiltered(true);
  EXPECT_EQ(numbersOf(rowsOf(created, 0)), (QList<int>{1, 2}));
  EXPECT_EQ(numbersOf(rowsOf(created, 2)), (QList<int>{1}));
  created.close();
  table_.open();
}

// A table in a code page without Cyrillic would get "?" for the meter's
// material names: nothing is written, and the reason is told.
TEST_F(ArchiveImport, AppendIsRefusedWhereTheCodePageLacksTheMaterialNames) {
  table_.close();
  QByteArray bytes = hv::test::readFile(path_);
  bytes[29] = char(0x03);  // language driver: Windows 1252
  hv::test::writeFile(path_, bytes);
  table_.open();
  try {
    import({QList<Rec>{at(1, 0)}, {}, {}}, true);
    ADD_FAILURE() << "appended";
  } catch (const hv::Error& e) {
    EXPECT_TRUE(e.text().contains("1252") && e.text().contains("Сосна")) << e.text().toStdString();
  }
  EXPECT_TRUE(reports_.isEmpty());
  EXPECT_EQ(hv::test::readFile(path_), bytes);
}

}  // namespace
