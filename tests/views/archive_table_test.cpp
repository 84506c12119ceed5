// What the grids do to the shared table: sorting by a title state, delete
// and pack, renumbering in the order shown, reading selected rows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <atomic>
#include <thread>

#include "platform/error.h"
#include "store/mdx_file.h"
#include "support/test_support.h"
#include "views/archive_table.h"
#include "support/measurement_table.h"

namespace {

using hv::test::column;
using hv::test::ranged;
using hv::test::single;

class ArchiveTable : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = hv::test::testPath(QStringLiteral("oak.db"));
    hv::test::writeTable(path_, {
                                    single(1, 0, "05.03.2024", "10:00:00", "10,0"),
                                    single(2, 0, "20.01.2023", "09:00:00", "9,5"),
                                    ranged(1, 1, "01.02.2024", "08:00:00", "3,0", "4,0"),
                                    single(3, 0, "11.12.2023", "23:59:59", "12,5"),
                                    ranged(2, 1, "02.02.2024", "08:00:00", "5,0", "6,0"),
                                    single(1, 2, "01.01.2020", "00:00:00", "55,0"),
                                    single(4, 0, "05.03.2024", "09:30:00", "5,3"),
                                });
    t_.setFileName(path_);
    t_.open();
    t_.setFiltered(true);
    t_.setFilter(hv::archiveFilter(hv::ArchiveKind::Wood));
    t_.refresh();
  }
  QString path_;
  hv::TDbTable t_;
};

TEST_F(ArchiveTable, NamesPerArchive) {
  EXPECT_EQ(hv::archiveFilter(hv::ArchiveKind::Bulk), "N_ARC=2");
  EXPECT_EQ(hv::archiveTag(hv::ArchiveKind::Wood), "tab1");
  EXPECT_EQ(hv::layoutValueName(hv::ArchiveKind::Concrete), "Table_2");
}

TEST_F(ArchiveTable, UpSortsDescendingDownAscendingNoneRestoresRecordOrder) {
  EXPECT_TRUE(hv::applyTitleSort(t_, "tab1", "W", hv::TitleState::Down));
  EXPECT_EQ(column(t_, "W"), QStringList({"5,3", "9,5", "10,0", "12,5"}));
  EXPECT_TRUE(hv::applyTitleSort(t_, "tab1", "W", hv::TitleState::Up));
  EXPECT_EQ(column(t_, "W"), QStringList({"12,5", "10,0", "9,5", "5,3"}));
  EXPECT_TRUE(QFile::exists(hv::TDbTable::mdxPathFor(path_)));
  // Dates sort by calendar date, then by time.
  EXPECT_TRUE(hv::applyTitleSort(t_, "tab1", "DATE", hv::TitleState::Down));
  EXPECT_EQ(column(t_, "N"), QStringList({"2", "3", "4", "1"}));
  EXPECT_FALSE(hv::applyTitleSort(t_, "tab1", "DATE", hv::TitleState::None));
  hv::resetTableSort(t_, "tab1");
  EXPECT_EQ(t_.indexName(), QString());
  EXPECT_EQ(column(t_, "N"), QStringList({"1", "2", "3", "4"}));
  EXPECT_FALSE(t_.tagNames().contains("tab1"));
}

TEST_F(ArchiveTable, AnotherGridsTagStaysWhileTheOrderFollowsTheNewOne) {
  hv::applyTitleSort(t_, "tab1", "W", hv::TitleState::Down);
  t_.setFilter(hv::archiveFilter(hv::ArchiveKind::Concrete));
  t_.refresh();
  hv::applyTitleSort(t_, "tab2", "W_MIN", hv::TitleState::Up);
  EXPECT_EQ(column(t_, "W_MIN"), QStringList({"5,0", "3,0"}));
  EXPECT_TRUE(t_.tagNames().contains("tab1"));
  EXPECT_EQ(t_.indexName(), "tab2");
}

TEST_F(ArchiveTable, ASortBesideOrdersAsInlineAndAStoppedOneLeavesTheOldOrder) {
  hv::applyTitleSort(t_, "tab2", "N", hv::TitleState::Up);
  const auto onThread = [](hv::TDbTable::IndexBuild& build) {
    std::atomic<bool> stop{false};
    bool ended = false;
    std::thread([&] { ended = build.run(stop); }).join();
    return ended;
  };
  EXPECT_TRUE(hv::applyTitleSort(t_, "tab1", "W", hv::TitleState::Down, onThread));
  EXPECT_EQ(column(t_, "W"), QStringList({"5,3", "9,5", "10,0", "12,5"}));
  EXPECT_EQ(t_.indexName(), "tab1");
  const auto written = hv::store::readMdx(hv::test::readFile(hv::TDbTable::mdxPathFor(path_)));
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[1].name, "TAB1");
  EXPECT_EQ(written[1].records, std::vector<std::uint32_t>({2, 4, 6, 1, 0, 3, 5}));

  const auto stopped = [](hv::TDbTable::IndexBuild& build) { return build.run(std::atomic<bool>{true}); };
  EXPECT_FALSE(hv::applyTitleSort(t_, "tab1", "W", hv::TitleState::Up, stopped));
  EXPECT_EQ(column(t_, "W"), QStringList({"5,3", "9,5", "10,0", "12,5"}));
  EXPECT_EQ(t_.tagNames(), QStringList({"tab2", "tab1"}));
  EXPECT_EQ(QDir(hv::test::testDir()).entryList(QDir::Files | QDir::Hidden), QStringList({"oak.db", "oak.mdx"}));
}

TEST_F(ArchiveTable, DeletesTheGivenRecordsAndPacks) {
  const QList<hv::TDbTable::Bookmark> gone = {t_.bookmarkAtRow(0), t_.bookmarkAtRow(2)};
  hv::deleteRecordsAndPack(t_, gone);
  EXPECT_TRUE(t_.active());
  EXPECT_EQ(column(t_, "N"), QStringList({"2", "4"}));
  t_.setFiltered(false);
  t_.refresh();
  EXPECT_EQ(t_.recordCount(), 5);
}

// The packed file's archives as the view knows them without reading the
// records again, against a fresh opening; a record deleted before goes too.
TEST_F(ArchiveTable, PackingWithoutRowsKnowsEveryArchiveAsAFreshOpeningDoes) {
  t_.moveToRow(3);
  t_.deleteRecord();  // wood N 4, only marked
  t_.packWithout({t_.bookmarkAtRow(1), 5});  // wood N 2; record 5 is bulk, not in the view
  hv::TDbTable fresh;
  fresh.setFileName(hv::test::testPath(QStringLiteral("fresh.db")));
  QFile::remove(fresh.fileName());
  t_.saveCopyAs(fresh.fileName(), false);
  fresh.open();
  fresh.setFiltered(true);
  for (hv::ArchiveKind kind : hv::kArchiveKinds) {
    for (hv::TDbTable* t : {&t_, &fresh}) {
      t->setFilter(hv::archiveFilter(kind));
      t->refresh();
    }
    EXPECT_EQ(column(t_, "N"), column(fresh, "N"));
    EXPECT_EQ(column(t_, "W_MIN"), column(fresh, "W_MIN"));
  }
  t_.setFilter(hv::archiveFilter(hv::ArchiveKind::Wood));
  t_.refresh();
  EXPECT_EQ(column(t_, "N"), QStringList({"1", "3"}));
  // Renumbering keeps every record in its place.
  hv::renumberView(t_);
  t_.setFilter(hv::archiveFilter(hv::ArchiveKind::Bulk));
  t_.refresh();
  EXPECT_EQ(column(t_, "W"), QStringList({"55,0"}));
}

TEST_F(ArchiveTable, RenumbersTheViewInTheOrderShownOnly) {
  hv::applyTitleSort(t_, "tab1", "N", hv::TitleState::Up);  // N descending: 4 3 2 1
  hv::renumberView(t_);
  // Sorted by N, the rows move as they get their numbers; each row keeps the
  // number of the place it had when the command started.
  hv::resetTableSort(t_, "tab1");
  t_.setIndexName(QString());
  t_.refresh();
  EXPECT_EQ(column(t_, "N"), QStringList({"4", "3", "2", "1"}));
  t_.setFilter(hv::archiveFilter(hv::ArchiveKind::Concrete));
  t_.refresh();
  EXPECT_EQ(column(t_, "N"), QStringList({"1", "2"}));
}

TEST_F(ArchiveTable, ReadsSelectedRowsByPositionInTheView) {
  hv::applyTitleSort(t_, "tab1", "W", hv::TitleState::Down);
  const QList<hv::SelectedRow> rows = hv::selectedRowsAt(t_, {3, 0});
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].w, "12,5");
  EXPECT_EQ(rows[0].date, "11.12.2023");
  EXPECT_EQ(rows[0].time, "23:59:59");
  EXPECT_EQ(rows[1].w, "5,3");
  EXPECT_EQ(rows[1].wMin, std::nullopt);
  EXPECT_THROW(hv::selectedRowsAt(t_, {4}), hv::Error);
}

}  // namespace
