#pragma once
// The table file itself: opened for exclusive use, its header, and reading
// and writing its records through the platform's file layer. Knows nothing
// of filters, order or editing.
//
// Records are read with positioned reads, never through a mapping: another
// program that cuts the file short while we hold it gives an error saying
// the table is damaged, not a crash.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "store/dbf_file.h"

namespace hv::store {

// A long write of the table (its backup copy, packing, renumbering) as
// another thread sees it: `done` counts the records gone through; with
// `stop` set, the write gives up before its new file takes the table's place
// (TableWriteCancelled), leaving every file as it was. `committed` is set
// once the table's own file is being replaced: giving up is too late then.
struct WriteWatch {
  std::atomic<std::int64_t> done{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> committed{false};
};

// The digest a backup copy is checked against before it is put back: fast
// enough to add nothing to a copy at disk speed. It tells a copy another
// program changed, not one forged to look the same. The same bytes give the
// same digest however they are cut into pieces.
class ContentDigest {
 public:
  void add(const char* bytes, std::size_t n);
  QByteArray result() const;

 private:
  void block(const char* bytes);  // 32 bytes
  std::uint64_t lanes_[4] = {0x243F6A8885A308D3u, 0x13198A2E03707344u, 0xA4093822299F31D0u, 0x082EFA98EC4E6C89u};
  char carry_[32] = {};
  std::size_t carried_ = 0;
  std::uint64_t length_ = 0;
};

class TableFile {
 public:
  TableFile();
  ~TableFile();  // closes
  TableFile(const TableFile&) = delete;
  TableFile& operator=(const TableFile&) = delete;

  // Writes a new, empty measurement table at `path`, replacing a file of
  // that name unless another opener holds it.
  static void create(const QString& path);

  // Opens for exclusive use; throws when missing, in use, not a regular
  // file, not a dBase table with the measurement fields, or in a code page
  // we do not read.
  void open(const QString& path, bool readOnly);
  // Forces what was written to disk, then closes. Never throws.
  void close() noexcept;
  bool isOpen() const;
  bool readOnly() const;
  const QString& path() const;
  const TableLayout& layout() const;
  std::uint32_t count() const;
  // The code page of the table's text, as its header declares it.
  CodePage codePage() const;

  // Record r (< count()), valid until the next call on this file.
  const char* record(std::uint32_t r);
  // Calls visit(first, n, bytes) for runs of consecutive records covering
  // [first, end) in order, the n records side by side in `bytes`. `visit`
  // may read single records but must not scan.
  using RecordRun = std::function<void(std::uint32_t first, std::uint32_t n, const char* bytes)>;
  void scan(std::uint32_t first, std::uint32_t end, const RecordRun& visit);
  // The same through the caller's buffer: another thread may scan so while
  // this one reads, as long as nothing is written meanwhile.
  void scanInto(std::uint32_t first, std::uint32_t end, std::vector<char>& buffer, const RecordRun& visit) const;

  // Writes record r in place and dates the header; on failure the record
  // is put back.
  void rewrite(std::uint32_t r, const char* record);
  // Writes a new record after the last one and returns its number; on
  // failure the file is put back as it was.
  std::uint32_t append(const char* record);
  void markDeleted(std::uint32_t r);
  // The header's production-index flag.
  void setIndexFlag(bool on);
  // Writes the live records to a new file that takes the table's place in
  // one step; the table stays open on it. Records `dropped` says are left
  // out as well (they need not be marked first).
  void pack(const std::function<bool(std::uint32_t r)>& dropped = {});
  // Lets change(r, record) alter each record's bytes in a new file that takes
  // the table's place in one step: all the changes or none.
  void rewriteAll(const std::function<void(std::uint32_t r, char* record)>& change);

  // Appends after this can be taken back: the file as it is now is put back
  // byte for byte by rollBackAppends(). Only appends may come in between.
  void beginAppends();
  void rollBackAppends();
  void endAppends();

  // Before any write: the name must still lead to the file we opened and its
  // header must be the one we read or wrote; throws TableReplacedError
  // otherwise (and TableDamagedError for a file cut short).
  void checkIntact();

  // The long writes report to `watch` (null: to nobody); not owned.
  void watch(WriteWatch* watch);

  // The whole file as it is now, copied to `target` (replaced in one step,
  // on disk before this returns); returns the copy's digest.
  QByteArray copyTo(const QString& target);
  // A new table at `target` with this one's header: every record (`edited`,
  // when not null, in place of record `editedAt`, or after the last one when
  // `editedAt` is count()), or, with `onlyEdited`, that record alone.
  void writeCopy(const QString& target, const char* edited, std::uint32_t editedAt, bool onlyEdited);

 private:
  // Writes the records that keep(r, record) keeps, as it may have changed
  // them, to a new file that takes the table's place in one step.
  void replaceRecords(const std::function<bool(std::uint32_t r, char* record)>& keep);

  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace hv::store
