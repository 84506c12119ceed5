// Lot figures in one pass, the verdict against a norm, and the norms kept in
// the settings.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"
#include "platform/regional.h"
#include "platform/settings.h"
#include "support/test_support.h"
#include "views/lot_norm.h"
#include "views/selection_stats.h"

namespace {

using hv::LotNorm;
using hv::SelectedRow;
using hv::Verdict;

SelectedRow row(const char* w, const char* lo = nullptr, const char* hi = nullptr) {
  auto text = [](const char* s) { return s ? std::optional<QString>(QString::fromUtf8(s)) : std::nullopt; };
  return SelectedRow{text(w), text(lo), text(hi), QStringLiteral("01.03.2024"), QStringLiteral("10:00:00")};
}

// Singles 10, 12, 14; series 11-15 (midpoint 13, both ends inside 10..15) and
// 12-16 (midpoint 14, its top outside); a blank row and one with only one end.
// Pieces 10 12 13 14 14: mean 12.6, squared deviations 6.76+0.36+0.16+1.96+1.96
// = 11.2, sample variance 2.8.
const QList<SelectedRow> kLot = {row("10,0"), row("12,0"),        row(nullptr, "11,0", "15,0"), row(nullptr),
                                 row(nullptr, "12,0", "16,0"),   row(nullptr, "11,0"), row("14,0")};

class LotFigures : public ::testing::Test {
 protected:
  void SetUp() override { hv::setDecimalSeparatorOverride(QChar(',')); }
  void TearDown() override { hv::setDecimalSeparatorOverride(QChar()); }
};

TEST_F(LotFigures, SinglesSeriesAndBlanksByHand) {
  QList<hv::LotPiece> pieces;
  const hv::SelectionFigures f = hv::selectionFigures(kLot, hv::PieceRange{10.0, 15.0}, &pieces);
  EXPECT_EQ(f.n, 5);
  EXPECT_DOUBLE_EQ(f.mean, 12.6);
  EXPECT_NEAR(f.sd, std::sqrt(2.8), 1e-12);
  EXPECT_EQ(f.min, 10.0);
  EXPECT_EQ(f.max, 16.0);  // the series' top end
  EXPECT_EQ(f.series, 2);
  EXPECT_EQ(f.skipped, 2);
  EXPECT_EQ(f.inside, 4);  // all but the series reaching 16
  EXPECT_DOUBLE_EQ(f.insideShare(), 80.0);
  ASSERT_EQ(pieces.size(), 5);
  EXPECT_EQ(pieces[2].value, 13.0);
  EXPECT_TRUE(pieces[3].series);

  EXPECT_EQ(hv::figuresStatusText(f, kLot.size(), QChar(',')), QStringLiteral("n = 5, σ = 1,67"));
  // One piece has no deviation; below two rows the status bar is blank, as the footers are.
  const hv::SelectionFigures one = hv::selectionFigures({row("10,0"), row(nullptr)});
  EXPECT_TRUE(std::isnan(one.sd));
  EXPECT_EQ(hv::figuresStatusText(one, 2, QChar(',')), QStringLiteral("n = 1, σ = —"));
  EXPECT_EQ(hv::figuresStatusText(one, 1, QChar(',')), QString());
  // A value that is no number stops the figures as it stops the footers.
  EXPECT_THROW(hv::selectionFigures({row("10,0"), row("1x")}), hv::Error);
}

LotNorm pieceNorm(double share) {
  LotNorm n;
  n.name = QStringLiteral("Доска");
  n.pieceMin = 10;
  n.pieceMax = 15;
  n.share = share;
  return n;
}

hv::LotAssessment judge(const LotNorm& n) {
  return hv::assessLot(hv::selectionFigures(kLot, hv::pieceRange(n)), n);
}

TEST_F(LotFigures, VerdictsAndTheMarginNarrowingEveryLimit) {
  EXPECT_EQ(judge(pieceNorm(80)).verdict, Verdict::Conforms);
  const hv::LotAssessment fails = judge(pieceNorm(90));
  EXPECT_EQ(fails.verdict, Verdict::Fails);
  ASSERT_EQ(fails.criteria.size(), 1);
  EXPECT_EQ(hv::criterionKey(fails.criteria[0].kind), QStringLiteral("inside_share"));
  EXPECT_DOUBLE_EQ(fails.criteria[0].value, 80.0);
  EXPECT_FALSE(fails.criteria[0].passed);

  LotNorm tooFew = pieceNorm(80);
  tooFew.minCount = 6;
  EXPECT_EQ(judge(tooFew).verdict, Verdict::TooFew);
  EXPECT_EQ(hv::verdictText(Verdict::TooFew), QStringLiteral("Недостаточно измерений"));
  EXPECT_EQ(hv::assessLot(hv::selectionFigures({row(nullptr), row(nullptr)}), pieceNorm(0)).verdict, Verdict::TooFew);

  // 0.5 off each side: 10.5..14.5 keeps only 12 and 14 of the five pieces.
  LotNorm narrowed = pieceNorm(80);
  narrowed.margin = 0.5;
  const hv::LotAssessment m = judge(narrowed);
  EXPECT_EQ(m.verdict, Verdict::Fails);
  EXPECT_DOUBLE_EQ(m.criteria[0].value, 40.0);

  // The mean met exactly passes; the margin moves the limit past it.
  LotNorm mean;
  mean.name = QStringLiteral("Среднее");
  mean.meanMin = 12.6;
  mean.meanMax = 12.6;
  EXPECT_EQ(judge(mean).verdict, Verdict::Conforms);
  mean.meanMin = 12.5;
  mean.meanMax = 12.7;
  mean.margin = 0.1;
  const hv::LotAssessment exact = judge(mean);
  EXPECT_EQ(exact.verdict, Verdict::Conforms);
  EXPECT_NEAR(exact.criteria[1].limit, 12.6, 1e-12);
  mean.margin = 0.2;
  EXPECT_FALSE(hv::normProblem(mean).isEmpty());  // 12.7 .. 12.5: the limits cross
  mean.meanMax = 13;
  EXPECT_EQ(judge(mean).verdict, Verdict::Fails);
}

TEST_F(LotFigures, NormsThatMakeNoSenseAreNamedFaults) {
  EXPECT_EQ(hv::normProblem(pieceNorm(80)), QString());
  LotNorm n = pieceNorm(80);
  n.pieceMin = 16;
  EXPECT_EQ(hv::normProblem(n), QStringLiteral("нижняя граница для отдельного значения выше верхней"));
  n = pieceNorm(120);
  EXPECT_EQ(hv::normProblem(n), QStringLiteral("доля должна быть от 0 до 100 %"));
  n = LotNorm{};
  n.name = QStringLiteral("Пусто");
  n.margin = 1;
  EXPECT_EQ(hv::normProblem(n), QStringLiteral("не задано ни одного критерия"));
  n.share = 50;
  EXPECT_EQ(hv::normProblem(n), QStringLiteral("доля задана без границ для отдельного значения"));
}

TEST(LotNorms, RoundTripExamplesAndABadStoredNormBesideGoodOnes) {
  hv::SettingsKey key;
  key.open();
  // The first run stores the examples; they are shown as examples only.
  const hv::StoredNorms first = hv::loadNorms(key);
  ASSERT_EQ(first.norms, hv::exampleNorms());
  ASSERT_GE(first.norms.size(), 2);
  for (const LotNorm& n : first.norms) {
    EXPECT_TRUE(n.name.startsWith(QStringLiteral("Пример: "))) << n.name.toStdString();
    EXPECT_TRUE(n.basis.contains(QStringLiteral("стандартом или договором"))) << n.basis.toStdString();
    EXPECT_EQ(hv::normProblem(n), QString());
  }

  LotNorm mine = pieceNorm(95);
  mine.name = QStringLiteral("Мой \"заказ\" №7");
  mine.archive = hv::ArchiveKind::Bulk;
  mine.meanMax = 14.25;
  mine.minCount = 12;
  mine.margin = 0.3;
  mine.basis = QStringLiteral("Договор 12/3,\nприложение 2");
  hv::storeNorms(key, {mine, first.norms[0]});
  // A later version's own key is ignored; a broken and a contradictory norm are refused by name.
  key.writeString(QStringLiteral("Norm_3"), QStringLiteral("{\"name\":\"Кривая\",\"archive\":0,\"piece_min\":18,"
                                                           "\"piece_max\":12,\"future\":1}"));
  key.writeString(QStringLiteral("Norm_4"), QStringLiteral("{не json"));
  key.writeString(QStringLiteral("Norms"), QStringLiteral("4"));

  hv::SettingsKey again;  // as the next run reads the file
  again.open();
  const hv::StoredNorms loaded = hv::loadNorms(again);
  EXPECT_EQ(loaded.norms, (QList<LotNorm>{mine, first.norms[0]}));
  ASSERT_EQ(loaded.refused.size(), 2);
  EXPECT_EQ(loaded.refused[0],
            QStringLiteral("Норма «Кривая» не загружена: нижняя граница для отдельного значения выше верхней."));
  EXPECT_EQ(loaded.refused[1], QStringLiteral("Норма №4 не загружена: запись повреждена."));

  // Saving the good ones keeps the refused ones as they were, for the user to mend.
  hv::storeNorms(again, {mine}, loaded.refusedTexts);
  const hv::StoredNorms kept = hv::readNorms(again);
  EXPECT_EQ(kept.norms, QList<LotNorm>{mine});
  EXPECT_EQ(kept.refused.size(), 2);
  // Every norm deleted stays deleted: the examples come only on the very first run.
  hv::storeNorms(again, {});
  EXPECT_TRUE(hv::loadNorms(again).norms.isEmpty());
  EXPECT_FALSE(again.hasValue(QStringLiteral("Norm_1")));
}

}  // namespace
