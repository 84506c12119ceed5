#pragma once
// Norms a lot of pieces is judged against, the verdict on a lot's figures,
// and the norms kept in the user's settings. No widgets: the assessment
// dialog and hygrovan-cli share it.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "store/archive_kind.h"
#include "views/selection_stats.h"

namespace hv {

class SettingsKey;

struct LotNorm {
  QString name;
  ArchiveKind archive = ArchiveKind::Wood;
  std::optional<double> meanMin, meanMax;    // limits of the lot's mean, %
  std::optional<double> pieceMin, pieceMax;  // limits of a single piece, %
  std::optional<double> share;               // least percent of pieces inside the piece limits
  std::optional<int> minCount;               // least number of pieces
  double margin = 0;                         // percentage points every limit is narrowed by
  QString basis;                             // "Основание", printed in the protocol
  bool operator==(const LotNorm&) const = default;
};

// Empty when the norm makes sense, otherwise what is wrong with it, in words
// for the user (no full stop).
QString normProblem(const LotNorm& norm);

// The limits as judged: each narrowed by the margin.
PieceRange pieceRange(const LotNorm& norm);
std::optional<double> judgedMeanMin(const LotNorm& norm);
std::optional<double> judgedMeanMax(const LotNorm& norm);
// The share the pieces must reach: as set, or every piece when only the piece
// limits are; nullopt without piece limits.
std::optional<double> judgedShare(const LotNorm& norm);

enum class Verdict { Conforms, Fails, TooFew };
// "Соответствует", "Не соответствует", "Недостаточно измерений".
QString verdictText(Verdict v);
// What scripts read: "conforms", "fails", "too_few".
QString verdictKey(Verdict v);

enum class CriterionKind { MinCount, MeanMin, MeanMax, InsideShare };
struct Criterion {
  CriterionKind kind;
  double limit = 0;  // after the margin
  double value = 0;  // n, the mean or the share inside, %
  bool passed = false;
};
// "min_count", "mean_min", "mean_max", "inside_share".
QString criterionKey(CriterionKind kind);
// "Число измерений не менее" and the like.
QString criterionCaption(CriterionKind kind);

struct LotAssessment {
  SelectionFigures figures;
  QList<Criterion> criteria;
  Verdict verdict = Verdict::TooFew;
};
// Judges figures whose inside count was taken against pieceRange(norm). A lot
// without pieces, or with fewer than the norm's least number, has too few;
// the other criteria are judged all the same.
LotAssessment assessLot(const SelectionFigures& figures, const LotNorm& norm);

// A norm's stored form, one line of JSON. Keys unknown to this version are
// ignored, so a later version's norms still load.
QString normToText(const LotNorm& norm);
// nullopt, with *why set, for a text that is not a sound norm.
std::optional<LotNorm> normFromText(const QString& text, QString* why);

// The norms shipped for a first run, named "Пример: ...".
QList<LotNorm> exampleNorms();

struct StoredNorms {
  QList<LotNorm> norms;
  QStringList refused;       // one message per stored norm not loaded, naming it
  QStringList refusedTexts;  // their stored forms, kept until the user mends them
};
// The user's norms from the settings key (open). The examples are stored on
// the first run only, so norms the user deleted stay deleted.
StoredNorms loadNorms(SettingsKey& settings);
// The same without writing anything: before the first run stored them, the
// examples.
StoredNorms readNorms(const SettingsKey& settings);
// Replaces the stored norms with these; kept: stored forms refused at loading,
// written back after them so that nothing the user stored is lost.
void storeNorms(SettingsKey& settings, const QList<LotNorm>& norms, const QStringList& kept = {});

// A number as the windows and the protocol show it: up to `decimals`
// decimals, no trailing zeros, the given separator.
QString formatFigure(double v, QChar separator, int decimals = 2);

}  // namespace hv
