#pragma once
// TDbTable: our dBase IV table engine with a production index (.mdx).
// Text is in the code page the file's header declares (Windows-1251 for the
// tables we create) and QString here; a blank text field reads as null
// (std::nullopt). Every failure throws hv::Error with a clear text.
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "store/archive_kind.h"
#include "store/row_schema.h"
#include "store/table_backup.h"
#include "store/table_file.h"

namespace hv::store {
class TagBuild;
}

namespace hv {

// The measurement table's field names, in file order.
inline const QStringList& measurementFields() {
  static const QStringList f = fieldNames(kMeasurementFields);
  return f;
}

class TDbTable {
 public:
  enum class State { Inactive, Browse, Edit, Insert };
  using Bookmark = std::int64_t;  // record position in the file, 0-based

  TDbTable();
  ~TDbTable();  // closes; an unposted edit is dropped
  TDbTable(const TDbTable&) = delete;
  TDbTable& operator=(const TDbTable&) = delete;

  // --- file -----------------------------------------------------------
  void setTableName(const QString& name);  // file name with extension, no folder
  void setFilePath(const QString& folder);
  QString tableName() const;
  QString filePath() const;
  void setFileName(const QString& fullPath);  // sets both from one path
  QString fileName() const;                   // folder + name
  static QString mdxPathFor(const QString& dbPath);  // extension replaced by .mdx
  int tableLevel() const { return 4; }
  bool exclusive() const { return true; }
  // A read-only table never writes its file; its index tags live in memory
  // only (no .mdx is written). Set while the table is closed.
  void setReadOnly(bool on);
  bool readOnly() const;

  // A name whose index or backup file would be the table itself is refused
  // by createTable() and open() before anything is written (hv::Error).
  // Writes a new empty measurement table (replacing a file of the same name,
  // deleting a stale .mdx); the table stays closed.
  void createTable();
  // Opens exclusively; throws when missing, in use (TableInUseError), or
  // damaged, not a dBase table or lacking one of the ten fields
  // (TableDamagedError; both in store/table_errors.h).
  void open();
  // Drops an unposted edit, writes the index file when it lags behind, and
  // closes. Never throws: the rows are in the file already, and an index file
  // that could not be written is sorted from the rows at the next opening;
  // why it could not is kept in closeProblem().
  void close() noexcept;
  QString closeProblem() const;  // empty when the last close did everything
  bool active() const;
  // Removes the index file and clears the header's flag naming it; the tags
  // and the order go too.
  void removeIndexFile();

  // Writes that changed rows (posting, deleting, packing, renumbering,
  // appends taken back), counted over the object's life.
  std::uint64_t changeCount() const;
  // Throws TableReplacedError when the file under the table's name is no
  // longer the one opened or its header was written by another program.
  void checkUnchanged();
  // The open table's file as it is now, copied to its .bak in one step and
  // on disk before this returns. Throws hv::Error (the file unchanged).
  TableBackup writeBackup();
  // A new table at `path` with what this one would hold with the edit in
  // progress posted, or, with `onlyEdited`, with the edited row alone.
  void saveCopyAs(const QString& path, bool onlyEdited);

  // --- filter and order -----------------------------------------------
  void setFilter(const QString& filter);  // "N_ARC=0" / "N_ARC=1" / "N_ARC=2" (or empty)
  void setFilter(const ArchiveFilter& filter);
  QString filter() const;
  // The rows the view lets through: the filter while filtering is on, else every row.
  ArchiveFilter activeFilter() const;
  void setFiltered(bool on);
  bool filtered() const;
  void refresh();  // re-applies filter and order; keeps the current record when it still passes
  // Empty: record order. A tag name: that tag's order. A missing tag falls back to record order.
  void setIndexName(const QString& tag);
  QString indexName() const;

  // --- counting and navigation over the rows that pass the filter -----
  int recordCount();  // leaves the current row where it was
  void first();
  void next();
  void prior();
  void last();
  bool eof() const;  // moved past the last row (or no rows)
  bool bof() const;
  bool isEmpty();
  int rowIndex() const;  // 0-based position of the current row in the view, -1 when none
  void moveToRow(int row);  // 0-based position in the current view
  Bookmark bookmark() const;  // current record's position, -1 when none
  bool gotoBookmark(Bookmark b);  // false when that record is deleted or missing
  // Random access in the current view without moving (for grids and reports):
  Bookmark bookmarkAtRow(int row);
  std::optional<QString> fieldTextAt(Bookmark b, const QString& field);
  // The same for several fields of many records in one pass (a grid's whole
  // selection): calls sink(i, f, text) for records[i] and fields[f] in that
  // order, the text as UTF-8 and valid during the call only, null when blank.
  using FieldTextSink = std::function<void(std::size_t, int, std::optional<std::string_view>)>;
  void fieldTextsAt(const std::vector<Bookmark>& records, const QStringList& fields, const FieldTextSink& sink);

  // --- reads that move nothing ------------------------------------------
  // These leave the filter, the order, the view and the current row as they
  // are, whatever they read.
  // The live rows that `filter` lets through, whatever the table's own
  // filter: in record order (empty `tag`) or in the tag's (a missing tag
  // gives record order). With the table's own filter and order they are the
  // rows its view shows, in the order shown.
  std::vector<Bookmark> rowsOf(const ArchiveFilter& filter, const QString& tag = {});
  int rowCount(const ArchiveFilter& filter);
  // The fields of `rows` as fieldTextsAt gives them, sink's index counting
  // into `rows`, read a batch of kReadBatchRows at a time in one pass each;
  // after each batch, batchDone(rows read so far) says whether to go on.
  // False when it stopped the read.
  static constexpr std::size_t kReadBatchRows = 4096;
  using BatchDone = std::function<bool(std::size_t)>;
  bool readRows(const std::vector<Bookmark>& rows, const QStringList& fields, const FieldTextSink& sink,
                const BatchDone& batchDone = {});

  // --- the current row ------------------------------------------------
  std::optional<QString> fieldText(const QString& field) const;  // null for a blank field
  int fieldInt(const QString& field) const;  // numeric fields; 0 when blank
  State state() const;
  void append();  // new blank row in Insert state
  void edit();
  void setFieldText(const QString& field, const QString& value);
  void setFieldInt(const QString& field, int value);
  void post();    // writes the row to the file (and keeps the index in step)
  void cancel();
  void deleteRecord();  // marks the current row deleted
  void pack();  // removes deleted rows (new file, one rename), rebuilds the tags
  // Packs the table without the given records of the current view as well,
  // as deleting each and packing would, but in one step: the file stays as it
  // was until the packed one takes its place. Records not in the view are
  // skipped.
  void packWithout(const std::vector<Bookmark>& records);
  // Sets the numeric `field` of records[i] to i + 1 in a new file that takes
  // the table's place in one step: every new number or none. Throws before
  // writing when the field cannot hold records.size().
  void numberRecords(const QString& field, const std::vector<Bookmark>& records);
  // The largest number a numeric field holds.
  int fieldMaximum(const QString& field) const;
  int fieldWidth(const QString& field) const;
  CodePage codePage() const;

  // All or nothing for appends: rows posted between beginAppends() and
  // endAppends() are taken back by rollBackAppends(), which puts the file
  // back as it was, byte for byte.
  void beginAppends();
  void endAppends();
  void rollBackAppends();

  // The backup copy, packing and renumbering report to `watch` and heed its
  // stop (null: nobody watches); not owned. Set while nothing else uses the
  // table: the watch is read from the thread that writes.
  void watchWrites(store::WriteWatch* watch);

  // --- production index ------------------------------------------------
  // When the index file cannot take the tag, throws and leaves the tags and
  // the order as they were.
  void addIndex(const QString& tag, const QString& field, bool descending);
  // addIndex in three steps, for tables too big to sort between two events
  // of a window: beginAddIndex() checks what addIndex checks and posts an
  // edit in progress; run() of what it returns may go on another thread
  // while the table is neither written nor closed (reading it is fine);
  // finishAddIndex() puts the tag in place. Until then the tags and the
  // order are as they were.
  class IndexBuild {
   public:
    IndexBuild();
    ~IndexBuild();
    IndexBuild(const IndexBuild&) = delete;
    IndexBuild& operator=(const IndexBuild&) = delete;
    bool run(const std::atomic<bool>& stop);  // false when stopped first
    std::int64_t done() const;                // of total(): the table's records
    std::int64_t total() const;

   private:
    friend class TDbTable;
    std::unique_ptr<store::TagBuild> build_;
  };
  std::unique_ptr<IndexBuild> beginAddIndex(const QString& tag, const QString& field, bool descending);
  void finishAddIndex(IndexBuild& build);
  void deleteIndex(const QString& tag);  // a missing tag is not an error
  void rebuildIndexes();
  QStringList tagNames() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace hv
