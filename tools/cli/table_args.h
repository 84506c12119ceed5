#pragma once
// What the table subcommands (dump, stats, report, chart) share: reading
// FILE... [--archive K] [--sort FIELD [--desc]] [--rows LIST] and opening the
// view an archive grid shows. Each command keeps its own messages: the parser
// only says what went wrong and where.
#include <QString>
#include <QStringList>
#include <climits>
#include <functional>

#include "store/db_table.h"

namespace hv::cli {

struct TableArgs {
  QStringList files;        // the arguments that are not options, in order
  int archive = -1;         // -1: no --archive
  QString sortField;        // upper-cased; empty: no --sort
  QString sortText;         // --sort's value as typed
  bool descending = false;  // --desc
  QString rowText;          // --rows's value, unparsed
};

struct TableArgsRules {
  int maxArchive = INT_MAX;
  int maxFiles = 1;
  bool sort = true;   // --sort FIELD and --desc accepted
  bool rows = false;  // --rows LIST accepted
  // An unknown --sort field is an error at once instead of being left to the caller.
  bool checkSortField = false;
  // The command's own options: consumes args[i] (and advances i past its
  // value) and returns true, or returns false to leave it to the parser.
  std::function<bool(const QStringList& args, int& i)> extra;
};

struct TableArgsError {
  enum Kind { None, BadArchive, BadSortField, UnknownOption, TooManyFiles };
  Kind kind = None;
  QString arg;  // the offending argument (the value for BadArchive / BadSortField)
};

// Stops at the first fault. An option without its value counts as unknown.
TableArgsError parseTableArgs(const QStringList& args, const TableArgsRules& desc, TableArgs* out);

// Rows of archive k only (all rows for k < 0), sorted on the field through
// the given tag when there is one.
void showArchiveView(TDbTable& table, int archive, const QString& sortField, bool descending, const QString& tag);

// Opens the file read-only (nothing written, no index file left behind); on
// failure says "База данных повреждена !" and returns false.
bool openReadOnly(TDbTable& table, const QString& file);

}  // namespace hv::cli
