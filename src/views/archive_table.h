#pragma once
// What the archive grids do to the shared table, without any window: the
// sorting by a title state, the delete and renumber
// commands, and reading the values a grid keeps for a selected row.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "store/archive_kind.h"
#include "store/db_table.h"
#include "store/row_schema.h"
#include "views/grid_layout.h"
#include "views/selected_rows.h"

namespace hv {

// The fields whose values a grid keeps with each selected row.
inline const QStringList kBookmarkFields = fieldNames(kSelectedRowFields);

// Runs build.run() on another thread and returns when it has ended
// (rethrowing what it threw); false when it was stopped.
using SortBeside = std::function<bool(TDbTable::IndexBuild& build)>;

// A title state change on a grid with the given tag: record order, the old
// tag removed (errors ignored), then, unless the state is None, the tag added
// on the field (descending for Up, ascending for Down), selected, rebuilt.
// Returns false for None: the caller then resets the sort. With `beside`
// the new tag is sorted through it and replaces the old one in one step, the
// old order staying in place until then; false also when it was stopped.
bool applyTitleSort(TDbTable& table, const QString& tag, const QString& field, TitleState state,
                    const SortBeside& beside = {});
// Record order and the tag removed; errors end it silently.
void resetTableSort(TDbTable& table, const QString& tag);

// Removes the given records from the table (records already gone are
// skipped) by packing it without them, then closes and reopens it.
void deleteRecordsAndPack(TDbTable& table, const QList<TDbTable::Bookmark>& records);

// Numbers the rows of the current view 1, 2, 3... in the order they show at
// the start (a sort on N cannot reshuffle them while numbering), all in one
// step or not at all, then goes back to the first row.
void renumberView(TDbTable& table);

// The values of the given fields of one record (null for blank).
QList<std::optional<QString>> readFields(TDbTable& table, TDbTable::Bookmark record, const QStringList& fields);
// Values in BookmarkFields order -> what the chart and the statistics take.
SelectedRow toSelectedRow(const QList<std::optional<QString>>& values);

// The rows at the given 0-based positions of the current view, in that order;
// throws hv::Error for a position outside the view.
QList<SelectedRow> selectedRowsAt(TDbTable& table, const QList<int>& positions);

}  // namespace hv
