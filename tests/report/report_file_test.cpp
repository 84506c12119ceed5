// Our own report file, page lists for printing, and search.
#include <gtest/gtest.h>

#include <QFile>

#include "platform/error.h"
#include "report/report_builder.h"
#include "store/db_table.h"
#include "support/test_support.h"

using namespace hv::report;

namespace {

BuiltReport sample(int n) {
  QList<QList<std::optional<QString>>> r;
  for (int i = 1; i <= n; ++i)
    r.append({QString::number(i), QString("0"), QString("03.04.2024"), QString("08:00:0%1").arg(i % 10),
              i % 2 ? std::optional<QString>("12,5") : std::nullopt, std::nullopt, std::nullopt,
              QString("Сосна"), std::nullopt, i == 3 ? std::optional<QString>("сухая доска") : std::nullopt});
  ListRowSource src(hv::measurementFields(), r);
  return *buildReport(archiveReportTemplate(), src);
}

void expectSame(const BuiltReport& a, const BuiltReport& b) {
  ASSERT_EQ(a.pageSize, b.pageSize);
  ASSERT_EQ(a.pages.size(), b.pages.size());
  for (int p = 0; p < a.pages.size(); ++p) {
    ASSERT_EQ(a.pages[p].bands.size(), b.pages[p].bands.size());
    for (int k = 0; k < a.pages[p].bands.size(); ++k) {
      EXPECT_EQ(a.pages[p].bands[k].kind, b.pages[p].bands[k].kind);
      EXPECT_EQ(a.pages[p].bands[k].rect, b.pages[p].bands[k].rect);
      EXPECT_EQ(a.pages[p].bands[k].row, b.pages[p].bands[k].row);
    }
    ASSERT_EQ(a.pages[p].items.size(), b.pages[p].items.size());
    for (int k = 0; k < a.pages[p].items.size(); ++k) {
      const PageItem& x = a.pages[p].items[k];
      const PageItem& y = b.pages[p].items[k];
      EXPECT_EQ(x.band, y.band);
      EXPECT_EQ(x.element, y.element);
      EXPECT_EQ(x.rect, y.rect);  // exact, not rounded
      EXPECT_EQ(x.font, y.font);
      EXPECT_EQ(x.alignment, y.alignment);
      EXPECT_EQ(x.frame, y.frame);
      EXPECT_EQ(x.frameWidth, y.frameWidth);
      EXPECT_EQ(x.text, y.text);
      EXPECT_EQ(x.lines, y.lines);
    }
  }
}

}  // namespace

TEST(ReportFile, SavedReportReadsBackExactly) {
  const BuiltReport rep = sample(60);
  const QString path = hv::test::testPath("archive.hvr");
  saveReportFile(rep, path);
  expectSame(rep, loadReportFile(path));

  // Saving again over it replaces it whole.
  const BuiltReport small = sample(2);
  saveReportFile(small, path);
  expectSame(small, loadReportFile(path));
}

TEST(ReportFile, DamagedFilesAreRefusedWithAClearText) {
  const QByteArray good = serializeReport(sample(4));
  // Every truncation, and a trailing byte, is refused.
  for (qsizetype n = 0; n < good.size(); n += (n < 200 ? 1 : 37))
    EXPECT_THROW(deserializeReport(good.left(n)), hv::Error) << n;
  EXPECT_THROW(deserializeReport(good + 'x'), hv::Error);

  // Flipped bytes either read as a report or are refused; never more.
  for (qsizetype i = 0; i < good.size(); i += 7) {
    QByteArray bad = good;
    bad[i] = char(bad[i] ^ 0xA5);
    try {
      (void)deserializeReport(bad);
    } catch (const hv::Error&) {
    }
  }
  // A page count far beyond the file's size is refused before any allocation.
  QByteArray huge = good;
  huge[28] = char(0xFF), huge[29] = char(0xFF), huge[30] = char(0xFF), huge[31] = char(0x7F);  // page count
  EXPECT_THROW(deserializeReport(huge), hv::Error);

  const QString path = hv::test::testPath("not-a-report.hvr");
  hv::test::writeFile(path, "%PDF-1.4 something else");
  try {
    (void)loadReportFile(path);
    FAIL() << "accepted a foreign file";
  } catch (const hv::Error& e) {
    EXPECT_EQ(e.text(), QString("Файл %1 не является отчетом или поврежден.").arg(path));
  }
  EXPECT_THROW(loadReportFile(hv::test::testPath("missing.hvr")), hv::Error);
}

TEST(ReportFile, AFailedSaveLeavesTheEarlierFile) {
  const QString path = hv::test::testPath("kept.hvr");
  saveReportFile(sample(1), path);
  const QByteArray before = hv::test::readFile(path);
  // A folder that does not exist: nothing written, the old file untouched.
  EXPECT_THROW(saveReportFile(sample(5), hv::test::testPath("no/such/folder/x.hvr")), hv::Error);
  EXPECT_EQ(hv::test::readFile(path), before);
}

TEST(PrintPages, RangesAndCopies) {
  QString err;
  EXPECT_EQ(parsePageRanges("", 4, &err), QList<int>({1, 2, 3, 4}));
  EXPECT_EQ(parsePageRanges("1,3,5-12", 12, &err), QList<int>({1, 3, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(parsePageRanges(" 2 - 3 , 1 ", 5, &err), QList<int>({2, 3, 1}));
  for (const char* bad : {"0", "13", "5-3", "1,,2", "a", "1-", "-2", "1;2", "3-13"}) {
    err.clear();
    EXPECT_TRUE(parsePageRanges(bad, 12, &err).isEmpty()) << bad;
    EXPECT_TRUE(err.contains("1,3,5-12")) << bad;
  }
  EXPECT_EQ(printSequence({1, 2, 3}, 2, true), QList<int>({0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(printSequence({1, 2, 3}, 2, false), QList<int>({0, 0, 1, 1, 2, 2}));
  EXPECT_EQ(printSequence({2}, 1, true), QList<int>({1}));
}

TEST(ReportSearch, FindsItemsOnEveryPageIgnoringCase) {
  const BuiltReport rep = sample(60);
  const auto hits = findText(rep, "СОСНА");
  ASSERT_EQ(hits.size(), 60);
  EXPECT_EQ(hits.first().page, 0);
  EXPECT_EQ(hits.last().page, 2);
  for (const auto& h : hits) EXPECT_EQ(rep.pages[h.page].items[h.item].text, "Сосна");
  const auto one = findText(rep, "сухая");
  ASSERT_EQ(one.size(), 1);
  EXPECT_EQ(rep.pages[one[0].page].items[one[0].item].element, 9 - 1);
  EXPECT_TRUE(findText(rep, "").isEmpty());
  EXPECT_EQ(findText(rep, "Стр. 3 из 3").size(), 1);
}
