#pragma once
// The meter's three archives. A row's kind is its N_ARC value; the kind
// decides everything the program names after an archive: the table filter,
// the sort tag of its grid, its tab and sheet caption, and the settings value
// of its grid layout. Header only: every area above the store uses it.
#include <QString>

#include "store/archive_kind_value.h"

namespace hv {

// Which rows a table lets through: every row, or those whose N_ARC holds one
// number (a kind's, or any other a table may hold). The engine takes it as
// it is; its text is only what TDbTable::filter() reports.
class ArchiveFilter {
 public:
  ArchiveFilter() = default;  // every row
  explicit ArchiveFilter(ArchiveKind kind) : ArchiveFilter(archiveNumber(kind)) {}
  explicit ArchiveFilter(int archive) : on_(true), archive_(archive) {}

  bool passesAll() const { return !on_; }
  int archive() const { return archive_; }
  // "N_ARC=0", "N_ARC=1", "N_ARC=2"; empty for every row.
  QString text() const { return on_ ? QStringLiteral("N_ARC=") + QString::number(archive_) : QString(); }
  bool operator==(const ArchiveFilter&) const = default;

 private:
  bool on_ = false;
  int archive_ = 0;
};

// The text of the filter that lets only the kind's rows through.
inline QString archiveFilter(ArchiveKind kind) { return ArchiveFilter(kind).text(); }

// The index tag the kind's grid sorts through: "tab1".."tab3".
inline QString archiveTag(ArchiveKind kind) {
  return QStringLiteral("tab") + QString::number(archiveNumber(kind) + 1);
}

// The settings value holding the column layout of the kind's grid: "Table_1".."Table_3".
inline QString layoutValueName(ArchiveKind kind) {
  return QStringLiteral("Table_") + QString::number(archiveNumber(kind) + 1);
}

// The caption of the kind's tab, also in its sheet's name.
inline QString archiveCaption(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Wood:
      return QStringLiteral("Древесные");
    case ArchiveKind::Concrete:
      return QStringLiteral("Бетонные");
    case ArchiveKind::Bulk:
      break;
  }
  return QStringLiteral("Сыпучие");
}

}  // namespace hv
