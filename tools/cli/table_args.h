#pragma once
// What the table subcommands (dump, stats, report, chart, assess) share: the options
// [--archive K] [--sort FIELD [--desc]] [--rows LIST] with their files, and
// the table file opened on the view an archive grid shows.
#include <QList>
#include <QString>
#include <QStringList>
#include <climits>
#include <utility>

#include "cli.h"
#include "platform/file_names.h"
#include "store/archive_kind.h"
#include "store/db_table.h"

namespace hv::cli {

struct TableArgs {
  QStringList files;        // the arguments that are not options, in order
  int archive = -1;         // -1: no --archive
  QString sortField;        // upper-cased; empty: no --sort
  bool descending = false;  // --desc
  QList<int> rows;          // --rows, 1-based, as listed
};

struct TableArgsRules {
  // The files, in order: name (as in the help) and what it is.
  QList<std::pair<QString, QString>> files = {{QStringLiteral("FILE.db"), QStringLiteral("Файл таблицы.")}};
  int maxArchive = INT_MAX;
  bool archiveRequired = false;
  bool sort = true;   // --sort FIELD and --desc accepted
  bool rows = false;          // --rows LIST needed
  bool rowsOptional = false;  // --rows LIST taken, every row without it
};

// Adds the options and files the rules name to a command line.
void addTableOptions(CommandLine& line, const TableArgsRules& rules);
// Reads them after parsing; an empty text, or what is wrong with them.
QString readTableArgs(const CommandLine& line, const TableArgsRules& rules, TableArgs* out);

// A table file opened read-only: nothing is written beside it, no index
// file; sort tags live in memory. Throws as TDbTable::open does.
class ReadOnlyTable {
 public:
  explicit ReadOnlyTable(const QString& fileName);
  // The first file of the arguments, on the rows an archive grid shows for
  // them: those of --archive (all rows without it), sorted on --sort through
  // the tag `sortTag`.
  ReadOnlyTable(const TableArgs& args, const QString& sortTag);

  TDbTable& table() { return table_; }

 private:
  FilePath file_;  // outlives the table opened through it
  TDbTable table_;
};

// 0-based positions of the listed rows (1-based, as --rows takes them), each
// once, in the order first listed.
QList<int> distinctPositions(const QList<int>& rows);

}  // namespace hv::cli
