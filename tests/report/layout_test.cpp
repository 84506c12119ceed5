// Layout of the archive report on the built pages, in millimetres.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"
#include "report/report_builder.h"

using namespace hv::report;

namespace {

const QStringList kFields = {"N", "N_ARC", "DATE", "TIME", "W", "W_MIN", "W_MAX", "MATERIAL", "N_IND", "COMMENT"};

QList<std::optional<QString>> row(int n, std::optional<QString> w = QString("12,5"),
                                  std::optional<QString> wmin = std::nullopt,
                                  std::optional<QString> wmax = std::nullopt,
                                  std::optional<QString> comment = std::nullopt) {
  return {QString::number(n), QString("1"), QString("01.02.2024"), QString("10:20:30"), w, wmin, wmax,
          QString("Бетон тяжелый"), QString("3"), comment};
}

ListRowSource rows(int n) {
  QList<QList<std::optional<QString>>> r;
  for (int i = 1; i <= n; ++i) r.append(row(i));
  return ListRowSource(kFields, r);
}

BuiltReport build(int n) {
  ListRowSource src = rows(n);
  auto rep = buildReport(archiveReportTemplate(), src);
  EXPECT_TRUE(rep.has_value());
  return rep.value_or(BuiltReport{});
}

double mm(double units) { return std::round(unitsToMm(units) * 10) / 10; }

const PlacedBand* findBand(const Page& p, BandKind k) {
  for (const PlacedBand& b : p.bands)
    if (b.kind == k) return &b;
  return nullptr;
}

QList<const PageItem*> itemsOf(const Page& p, BandKind k, int detailRow = -1) {
  QList<const PageItem*> out;
  int seen = -1;
  for (const PageItem& it : p.items) {
    if (it.band != k) continue;
    if (k == BandKind::Detail) {
      if (it.element == 0) ++seen;
      if (seen != detailRow) continue;
    }
    out.append(&it);
  }
  return out;
}

}  // namespace

TEST(ReportLayout, FirstPageBandsAndCellsSitWhereTheDesignPutsThem) {
  const BuiltReport rep = build(3);
  ASSERT_EQ(rep.pages.size(), 1);
  EXPECT_EQ(mm(rep.pageSize.width()), 297.0);
  EXPECT_EQ(mm(rep.pageSize.height()), 210.0);
  const Page& p = rep.pages[0];

  // Title band, then the header directly below it, then the rows.
  const PlacedBand* title = findBand(p, BandKind::Title);
  const PlacedBand* header = findBand(p, BandKind::PageHeader);
  const PlacedBand* footer = findBand(p, BandKind::PageFooter);
  ASSERT_TRUE(title && header && footer);
  EXPECT_EQ(mm(title->rect.left()), 6.9);
  EXPECT_EQ(mm(title->rect.top()), 20.0);
  EXPECT_EQ(mm(title->rect.height()), 17.7);
  EXPECT_EQ(mm(title->rect.right()), 297.0 - 6.9);
  EXPECT_DOUBLE_EQ(header->rect.top(), title->rect.bottom());
  EXPECT_EQ(mm(header->rect.height()), 16.6);
  // Footer on the bottom margin.
  EXPECT_EQ(mm(footer->rect.bottom()), 210.0 - 6.9);
  EXPECT_EQ(mm(footer->rect.height()), 5.5);

  const auto titleItems = itemsOf(p, BandKind::Title);
  ASSERT_EQ(titleItems.size(), 1);
  const PageItem& t = *titleItems[0];
  EXPECT_EQ(t.text, "Hygrovan-RX3");
  EXPECT_EQ(t.font.pointSize, 14);
  EXPECT_TRUE(t.font.bold);
  EXPECT_EQ(t.font.family, "Arial");
  EXPECT_FALSE(t.frame);
  EXPECT_EQ(t.alignment, Qt::AlignLeft | Qt::AlignTop);
  EXPECT_EQ(mm(t.rect.left()), 6.9);
  EXPECT_EQ(mm(t.rect.width()), 64.9);
  EXPECT_EQ(mm(t.rect.height()), 17.7);

  struct Cell {
    const char* header;
    double left, width;
    Qt::Alignment dataAlign;
  };
  const Cell cells[] = {
      {"N", 0.0, 16.9, Qt::AlignHCenter},         {"Дата", 16.9, 24.4, Qt::AlignHCenter},
      {"Время", 41.3, 20.0, Qt::AlignHCenter},    {"W, %", 61.3, 22.7, Qt::AlignRight},
      {"Wmin, %", 84.0, 22.7, Qt::AlignRight},    {"Wmax, %", 106.7, 22.7, Qt::AlignRight},
      {"Материал", 129.5, 76.5, Qt::AlignHCenter}, {"№ индивид.\nзависимости", 206.0, 31.3, Qt::AlignHCenter},
      {"Примечание", 237.3, 45.5, Qt::AlignHCenter},
  };
  const auto heads = itemsOf(p, BandKind::PageHeader);
  ASSERT_EQ(heads.size(), 9);
  for (int r = 0; r < 3; ++r) {
    const auto data = itemsOf(p, BandKind::Detail, r);
    ASSERT_EQ(data.size(), 9);
    EXPECT_EQ(mm(data[0]->rect.top()), mm(header->rect.bottom() + 20 * r));
    for (int c = 0; c < 9; ++c) {
      SCOPED_TRACE(c);
      const PageItem& d = *data[c];
      EXPECT_EQ(mm(d.rect.left() - 25), cells[c].left);
      EXPECT_EQ(mm(d.rect.width()), cells[c].width);
      EXPECT_EQ(mm(d.rect.height()), 5.5);
      EXPECT_EQ(d.alignment, cells[c].dataAlign | Qt::AlignVCenter);
      EXPECT_TRUE(d.frame);
      EXPECT_EQ(d.frameWidth, 1);
      EXPECT_EQ(d.font.pointSize, 10);
      EXPECT_FALSE(d.font.bold);
    }
  }
  double x = heads[0]->rect.left();
  for (int c = 0; c < 9; ++c) {
    SCOPED_TRACE(c);
    const PageItem& h = *heads[c];
    EXPECT_EQ(h.text, QString::fromUtf8(cells[c].header));
    // Side by side, no gaps, from the left margin.
    EXPECT_DOUBLE_EQ(h.rect.left(), x);
    x = h.rect.right();
    EXPECT_EQ(mm(h.rect.left() - 25), cells[c].left);
    EXPECT_EQ(mm(h.rect.width()), cells[c].width);
    EXPECT_EQ(mm(h.rect.top()), mm(header->rect.top()));
    EXPECT_EQ(mm(h.rect.height()), 16.6);
    EXPECT_EQ(h.alignment, Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_TRUE(h.frame);
    EXPECT_TRUE(h.font.bold);
    EXPECT_EQ(h.font.pointSize, 12);
  }
  EXPECT_EQ(heads[7]->lines, QStringList({"№ индивид.", "зависимости"}));

  const auto foot = itemsOf(p, BandKind::PageFooter);
  ASSERT_EQ(foot.size(), 1);
  EXPECT_EQ(foot[0]->text, "Стр. 1 из 1");
  EXPECT_EQ(foot[0]->alignment, Qt::AlignRight | Qt::AlignVCenter);
  EXPECT_FALSE(foot[0]->frame);
  EXPECT_EQ(mm(foot[0]->rect.right()), 297.0 - 6.9);
  EXPECT_EQ(mm(foot[0]->rect.bottom()), 210.0 - 6.9);
  EXPECT_EQ(mm(foot[0]->rect.height()), 5.5);
  EXPECT_GT(foot[0]->rect.width(), 0);
}

TEST(ReportLayout, PageCountsAndBreaks) {
  // Page 1 holds 25 rows below the title and header, later pages 29.
  const struct {
    int rows, pages;
  } cases[] = {{0, 1}, {1, 1}, {25, 1}, {26, 2}, {27, 2}, {54, 2}, {55, 3}, {10000, 345}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    const BuiltReport rep = build(c.rows);
    ASSERT_EQ(rep.pages.size(), c.pages);
    int next = 0;
    for (int pi = 0; pi < rep.pages.size(); ++pi) {
      const Page& p = rep.pages[pi];
      // The title only on page 1; every page starts with the header row.
      int k = 0;
      if (pi == 0) {
        ASSERT_EQ(p.bands[k].kind, BandKind::Title);
        ++k;
      }
      ASSERT_EQ(p.bands[k].kind, BandKind::PageHeader);
      EXPECT_EQ(mm(p.bands[k].rect.top()), pi == 0 ? 37.7 : 20.0);
      ++k;
      double y = p.bands[k - 1].rect.bottom();
      for (; k < p.bands.size() && p.bands[k].kind == BandKind::Detail; ++k) {
        EXPECT_EQ(p.bands[k].row, next++);
        EXPECT_DOUBLE_EQ(p.bands[k].rect.top(), y);
        y = p.bands[k].rect.bottom();
      }
      ASSERT_EQ(k, p.bands.size() - 1);
      EXPECT_EQ(p.bands[k].kind, BandKind::PageFooter);
      EXPECT_LE(y, p.bands[k].rect.top() + 1e-9);
      // Every page but the last is full: one more row would reach into the footer.
      if (pi + 1 < rep.pages.size()) {
        EXPECT_GT(y + 20, p.bands[k].rect.top());
        EXPECT_EQ(k - (pi == 0 ? 2 : 1), pi == 0 ? 25 : 29);
      }
      const auto foot = itemsOf(p, BandKind::PageFooter);
      ASSERT_EQ(foot.size(), 1);
      EXPECT_EQ(foot[0]->text, QString("Стр. %1 из %2").arg(pi + 1).arg(c.pages));
      EXPECT_EQ(mm(foot[0]->rect.right()), 290.1);
    }
    EXPECT_EQ(next, c.rows);
  }
}

TEST(ReportLayout, EmptyArchiveGivesTitleHeaderAndFooter) {
  const BuiltReport rep = build(0);
  ASSERT_EQ(rep.pages.size(), 1);
  const Page& p = rep.pages[0];
  ASSERT_EQ(p.bands.size(), 3);
  EXPECT_EQ(p.bands[0].kind, BandKind::Title);
  EXPECT_EQ(p.bands[1].kind, BandKind::PageHeader);
  EXPECT_EQ(p.bands[2].kind, BandKind::PageFooter);
  EXPECT_EQ(itemsOf(p, BandKind::PageFooter)[0]->text, "Стр. 1 из 1");
}

TEST(ReportLayout, DataCellsPrintTheStoredTextAndWrapInsideTheCell) {
  QList<QList<std::optional<QString>>> r;
  r.append(row(7, std::nullopt, QString("5,3"), QString("12,5")));  // a range row
  r.append(row(8, QString("0,0"), std::nullopt, std::nullopt,
               QString("очень длинное примечание, которое в ячейку никак не помещается целиком")));
  ListRowSource src(kFields, r);
  const BuiltReport rep = *buildReport(archiveReportTemplate(), src);
  const Page& p = rep.pages[0];
  const auto a = itemsOf(p, BandKind::Detail, 0);
  QStringList texts;
  for (const PageItem* it : a) texts << it->text;
  EXPECT_EQ(texts, QStringList({"7", "01.02.2024", "10:20:30", "", "5,3", "12,5", "Бетон тяжелый", "3", ""}));
  EXPECT_TRUE(a[3]->lines.join("").isEmpty());
  EXPECT_EQ(a[6]->lines, QStringList({"Бетон тяжелый"}));

  // Too long for one line of a 5.5 mm cell: the first line, cut at a word,
  // ends with an ellipsis and stays inside the frame.
  const PageItem& c = *itemsOf(p, BandKind::Detail, 1)[8];
  ASSERT_EQ(c.lines.size(), 1);
  EXPECT_TRUE(c.lines[0].endsWith(QChar(0x2026)));
  EXPECT_TRUE(c.text.startsWith(c.lines[0].chopped(1).trimmed()));
  EXPECT_LE(pointsToUnits(textWidth(c.lines[0], c.font)), c.rect.width() - 2 * kFramePadding);
}

TEST(ReportLayout, FooterGrowsToTheLeftWithItsText) {
  const BuiltReport rep = build(10000);
  const PageItem* first = itemsOf(rep.pages[0], BandKind::PageFooter)[0];
  const PageItem* last = itemsOf(rep.pages.last(), BandKind::PageFooter)[0];
  EXPECT_EQ(last->text, "Стр. 345 из 345");
  EXPECT_DOUBLE_EQ(first->rect.right(), last->rect.right());
  EXPECT_GT(last->rect.width(), first->rect.width());
  EXPECT_NEAR(unitsToPoints(last->rect.width()), textWidth(last->text, last->font), 1e-9);
}

TEST(ReportBuild, CancelAndErrorsLeaveNothing) {
  ListRowSource src = rows(200);
  QList<int> seen;
  auto cancelled = buildReport(archiveReportTemplate(), src, [&](int pass, int page) {
    if (pass == 1) seen.append(page);
    return page < 3;
  });
  EXPECT_FALSE(cancelled.has_value());
  EXPECT_EQ(seen, QList<int>({1, 2, 3}));

  // Both passes are reported, pass 2 with the final count known.
  QList<QPair<int, int>> calls;
  auto done = buildReport(archiveReportTemplate(), src, [&](int pass, int page) {
    calls.append({pass, page});
    return true;
  });
  ASSERT_TRUE(done.has_value());
  EXPECT_EQ(calls.size(), 2 * done->pages.size());
  EXPECT_EQ(calls.last(), qMakePair(2, int(done->pages.size())));

  struct Failing : RowSource {
    int rowCount() override { return 40; }
    std::optional<QString> fieldText(int row, const QString&) override {
      if (row == 30) throw hv::Error("Ошибка чтения таблицы");
      return QString("x");
    }
  } failing;
  EXPECT_THROW(buildReport(archiveReportTemplate(), failing), hv::Error);
}

TEST(TextWrap, BreaksAtBlanksAndInsideOverlongWords) {
  const FontDesc f{"Arial", 10, false};
  const double w = textWidth("Бетон тяжелый", f);
  EXPECT_EQ(wrapText("Бетон тяжелый", w, f), QStringList({"Бетон тяжелый"}));
  EXPECT_EQ(wrapText("Бетон тяжелый", w - 0.1, f), QStringList({"Бетон", "тяжелый"}));
  EXPECT_EQ(wrapText("a\nb c", 1000, f), QStringList({"a", "b c"}));
  const QStringList parts = wrapText("1234567890123456", textWidth("12345", f), f);
  EXPECT_EQ(parts, QStringList({"12345", "67890", "12345", "6"}));
  EXPECT_EQ(wrapText("", 10, f), QStringList({""}));
  // Arial's advance widths: "W" is 1933/2048 em in regular, digits 1139/2048.
  EXPECT_NEAR(textWidth("W", f), 10 * 1933.0 / 2048, 1e-9);
  EXPECT_NEAR(textWidth("0123456789", f), 100 * 1139.0 / 2048, 1e-9);
  EXPECT_GT(textWidth("Дата", {"Arial", 12, true}), textWidth("Дата", {"Arial", 12, false}));
}
