#pragma once
// A lot of rows from one archive judged against a norm: the rows read from
// the table, what they hold (materials, dates, figures, verdict), the
// histogram of their values, and the printed protocol. No widgets: the
// assessment dialog and hygrovan-cli share it.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "report/report_pages.h"
#include "store/archive_kind.h"
#include "store/db_table.h"
#include "views/lot_norm.h"

namespace hv {

// The fields of a row the assessment and its protocol show.
struct LotRow {
  std::optional<QString> n, date, time, w, wMin, wMax, material;
};

// The given records in that order; none given: every row the table's view
// lets through now, in its order.
QList<LotRow> readLotRows(TDbTable& table, const QList<TDbTable::Bookmark>& records = {});

struct LotSubject {
  QString tableFile;
  ArchiveKind archive = ArchiveKind::Wood;
  bool wholeArchive = true;  // every row of the archive, not a selection
  QList<LotRow> rows;
};

struct LotResult {
  LotAssessment assessment;
  QList<LotPiece> pieces;
  QStringList materials;       // distinct, in the order first met
  QString firstDate, lastDate;  // as stored; empty when no row has a date
};

// The figures and verdict of the rows against the norm, in one pass over
// them. Throws hv::Error for a stored value that is not a number.
LotResult evaluateLot(const LotSubject& subject, const LotNorm& norm);

// "Выделенные строки архива «Древесные» (5)" or "Все строки архива «Древесные» (12)".
QString lotRowsCaption(const LotSubject& subject);

// Counts of piece values in equal bins; the bins cover the values and every
// limit of the norm, so the limits can be drawn over them.
struct Histogram {
  double start = 0;
  double width = 1;
  QList<int> counts;
  double end() const { return start + width * counts.size(); }
};
Histogram lotHistogram(const QList<LotPiece>& pieces, const LotNorm& norm);

// A reading's value as the list shows it: W, or "W_MIN – W_MAX" for a series,
// with `sep` as the decimal separator whichever the table stores.
QString lotValueText(const LotRow& row, QChar sep);

// "Протокол оценки партии" on A4 pages with "Стр. N из M" at the foot;
// numbers with the given decimal separator.
report::BuiltReport lotProtocol(const LotSubject& subject, const LotNorm& norm, const LotResult& result,
                                const QDateTime& printed, QChar separator);

}  // namespace hv
