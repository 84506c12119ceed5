#pragma once
// The meter's three archives. A row's kind is its N_ARC value; the kind
// decides everything the program names after an archive: the table filter,
// the sort tag of its grid, its tab and sheet caption, and the settings value
// of its grid layout. Header only: every area above the store uses it.
#include <QString>

#include "store/archive_kind_value.h"

namespace hv {

// The filter that lets only the kind's rows through: "N_ARC=0", "N_ARC=1",
// "N_ARC=2". The one place the text is made; the table engine parses it.
inline QString archiveFilter(ArchiveKind kind) {
  return QStringLiteral("N_ARC=") + QString::number(archiveNumber(kind));
}

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
