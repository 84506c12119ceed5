#pragma once
// The files that live beside a table under its base name: the index (.mdx)
// and the backup (.bak) kept before each change that removes or rewrites
// rows, which "Отменить удаление" and the user can put back.
#include <QByteArray>
#include <QString>

namespace hv {

namespace store {
struct WriteWatch;
}

// The table's path with its extension replaced by ".bak".
QString backupPathFor(const QString& tablePath);

// Empty when a table may have this name; otherwise why not: its index or
// backup file would be the table itself (compared without regard to case,
// as Windows compares names).
QString companionNameConflict(const QString& tablePath);
// Throws hv::Error with that reason.
void checkCompanionNames(const QString& tablePath);

// The backup written before a change: where it is and what it holds.
struct TableBackup {
  QString path;
  QByteArray digest;
};

// Puts the backup in the place of the table at `tablePath` in one step (the
// table must not be open). Throws hv::Error, leaving the table as it was,
// when the backup is missing, is no readable measurement table, or no longer
// holds what `expected` says (when `expected` has a digest).
// With `watch`, reports the bytes copied as records and gives up on its stop
// before the copy takes the table's place (TableWriteCancelled).
void restoreBackup(const QString& tablePath, const TableBackup& expected, store::WriteWatch* watch = nullptr);

}  // namespace hv
