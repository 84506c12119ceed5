// Statistics of the selected rows as the footers show them.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/regional.h"
#include "views/selection_stats.h"

namespace {

using hv::SelectedRow;

struct Separator {
  explicit Separator(QChar c) { hv::setDecimalSeparatorOverride(c); }
  ~Separator() { hv::setDecimalSeparatorOverride(QChar()); }
};

std::optional<QString> v(const char* s) { return QString::fromUtf8(s); }
SelectedRow w(const char* value) { return SelectedRow{v(value), {}, {}, {}, {}}; }
SelectedRow range(const char* lo, const char* hi) { return SelectedRow{{}, v(lo), v(hi), {}, {}}; }
SelectedRow blank() { return SelectedRow{}; }

TEST(RoundTenth, HalfWayMeansUsuallyRoundDown) {
  EXPECT_DOUBLE_EQ(hv::round_tenth(12.25), 12.2);
  EXPECT_DOUBLE_EQ(hv::round_tenth(2.55), 2.5);
  EXPECT_DOUBLE_EQ(hv::round_tenth(10.05), 10.1);
  EXPECT_DOUBLE_EQ(hv::round_tenth(0.05), 0.1);
  EXPECT_DOUBLE_EQ(hv::round_tenth(14.75), 14.7);
  EXPECT_DOUBLE_EQ(hv::round_tenth(12.26), 12.3);
  EXPECT_DOUBLE_EQ(hv::round_tenth(0), 0);
}

TEST(FormatStatNumber, GeneralFormatWithTheRegionalSeparator) {
  EXPECT_EQ(hv::formatStatNumber(0, ','), "0");
  EXPECT_EQ(hv::formatStatNumber(100, ','), "100");
  EXPECT_EQ(hv::formatStatNumber(10.0, ','), "10");
  EXPECT_EQ(hv::formatStatNumber(12.200000000000001, ','), "12,2");
  EXPECT_EQ(hv::formatStatNumber(12.200000000000001, '.'), "12.2");
  EXPECT_EQ(hv::formatStatNumber(1234567.5, ','), "1234567,5");  // no thousands separator
  EXPECT_EQ(hv::formatStatNumber(1.0 / 3, '.'), "0.333333333333333");
}

TEST(ParseRegionalFloat, AcceptsTheSeparatorAndBlanksOnly) {
  EXPECT_EQ(hv::tryParseRegionalFloat("12,5", ','), 12.5);
  EXPECT_EQ(hv::tryParseRegionalFloat("  9,5 ", ','), 9.5);
  EXPECT_EQ(hv::tryParseRegionalFloat("12.5", '.'), 12.5);
  EXPECT_EQ(hv::tryParseRegionalFloat("-3", ','), -3);
  EXPECT_EQ(hv::tryParseRegionalFloat("1,5E2", ','), 150);
  EXPECT_EQ(hv::tryParseRegionalFloat("12.5", ','), std::nullopt);
  EXPECT_EQ(hv::tryParseRegionalFloat("12,5", '.'), std::nullopt);
  EXPECT_EQ(hv::tryParseRegionalFloat("", ','), std::nullopt);
  EXPECT_EQ(hv::tryParseRegionalFloat(",", ','), std::nullopt);
  EXPECT_EQ(hv::tryParseRegionalFloat("1e", ','), std::nullopt);
  EXPECT_EQ(hv::tryParseRegionalFloat("12,5%", ','), std::nullopt);
  EXPECT_EQ(hv::tryParseRegionalFloat("1 2", ','), std::nullopt);
  EXPECT_EQ(hv::tryParseRegionalFloat("1e999", ','), std::nullopt);
  try {
    hv::parseRegionalFloat(u"12.5", ',');
    FAIL() << "no error";
  } catch (const hv::Error& e) {
    EXPECT_EQ(e.text(), "Значение \"12.5\" не является числом.");
  }
}

TEST(SelectionFooters, FewerThanTwoRowsShowZeros) {
  Separator sep(',');
  for (const QList<SelectedRow>& rows : {QList<SelectedRow>{}, QList<SelectedRow>{w("55,5")}}) {
    const hv::SelectionFooters f = hv::selectionFooters(rows);
    EXPECT_EQ(f.w, "0/0/0");
    EXPECT_EQ(f.wMin, "0/0/0");
    EXPECT_EQ(f.wMax, "0/0/0");
  }
  // Even a value that would not parse is not looked at.
  EXPECT_EQ(hv::selectionFooters({w("bad")}).w, "0/0/0");
}

TEST(SelectionFooters, ExamplesWithAComma) {
  Separator sep(',');
  hv::SelectionFooters f = hv::selectionFooters({w("12,2"), w("12,3")});
  EXPECT_EQ(f.w, "12,2/12,2/12,3");
  // Columns with no value among two or more rows: 0/0/0 (not 100/0/0).
  EXPECT_EQ(f.wMin, "0/0/0");
  EXPECT_EQ(f.wMax, "0/0/0");

  f = hv::selectionFooters({range("10,0", "14,0"), range("11,0", "15,5")});
  EXPECT_EQ(f.wMin, "10/10,5/11");
  EXPECT_EQ(f.wMax, "14/14,7/15,5");
  EXPECT_EQ(f.w, "0/0/0");

  f = hv::selectionFooters({blank(), w("10,0"), w("12,0")});
  EXPECT_EQ(f.w, "10/11/12");
}

TEST(SelectionFooters, MinimumAndMaximumComeFromPresentValuesOnly) {
  Separator sep(',');
  // The first row without W no longer seeds the minimum with 100.
  hv::SelectionFooters f = hv::selectionFooters({blank(), w("120,0"), w("130,0")});
  EXPECT_EQ(f.w, "120/125/130");
  f = hv::selectionFooters({range("0,5", "1,0"), w("3,0"), range("0,7", "2,0")});
  EXPECT_EQ(f.wMin, "0,5/0,6/0,7");
  EXPECT_EQ(f.wMax, "1/1,5/2");
  // One value among many rows: its own min, mean and max.
  EXPECT_EQ(f.w, "3/3/3");
}

TEST(SelectionFooters, PointSeparatorAndMeanOfThree) {
  Separator sep('.');
  const hv::SelectionFooters f = hv::selectionFooters({w("12.2"), w("12.3"), w("12.2")});
  EXPECT_EQ(f.w, "12.2/12.2/12.3");  // 36.7 / 3 = 12.2333
}

TEST(SelectionFooters, AValueThatDoesNotParseStopsEverything) {
  Separator sep(',');
  try {
    hv::selectionFooters({w("12,5"), range("10;0", "11,0")});
    FAIL() << "no error";
  } catch (const hv::Error& e) {
    EXPECT_EQ(e.text(), "Значение \"10;0\" не является числом.");
  }
}

TEST(SelectionFooters, StoredValuesReadWithEitherSeparatorWhateverTheUsers) {
  // One table written on a machine with a comma and by a script with a point.
  const QList<SelectedRow> rows = {w("12,4"), w("5.0"), range("10.0", "11,5"), range("8,0", "12.5")};
  for (QChar user : {QChar(','), QChar('.'), QChar(0x066B)}) {
    Separator sep(user);
    const hv::SelectionFooters f = hv::selectionFooters(rows);
    EXPECT_EQ(f.w, QStringLiteral("5/8,7/12,4").replace(QChar(','), user));
    EXPECT_EQ(f.wMin, QStringLiteral("8/9/10").replace(QChar(','), user));
    EXPECT_EQ(f.wMax, QStringLiteral("11,5/12/12,5").replace(QChar(','), user));
  }
  EXPECT_EQ(hv::readStoredMoisture("6553\xD9\xAB" "5", QChar(0x066B)), 6553.5);  // the user's own, too
  EXPECT_EQ(hv::readStoredMoisture("12,4.5", QChar(',')), std::nullopt);
}

}  // namespace
