#pragma once
// The rows of the table that pass the archive filter, in record order or in
// a tag's order, and the current row among them (the cursor).
#include <cstdint>
#include <vector>

#include "store/table_file.h"

namespace hv::store {

class TableView {
 public:
  explicit TableView(TableFile& file) : file_(file) {}

  // The file was opened, packed or closed: nothing of it is known any more.
  void reset();
  // The file's records were written anew: as reset(), but what is known of
  // each record is carried over instead of read again. `packed`: the live
  // records that `dropped` (when not null, one entry per old record) does
  // not name were kept, in order; else every record kept its place.
  void resetKeeping(bool packed, const std::vector<bool>* dropped);
  // Only rows whose N_ARC is `archive` when `on`.
  void setFilter(bool on, int archive);
  // Filter or order changed: the next update builds the view again.
  void invalidate() { dirty_ = true; }
  bool needsRebuild() const { return dirty_; }
  bool needsUpdate() const { return dirty_ || holes_; }
  // Builds the view again when needed, or closes its holes. `order` lists
  // every record in a tag's order, null for record order. The current row
  // stays current while it is in the view, else the first row is.
  void update(const std::vector<std::uint32_t>* order);

  bool passes(std::uint32_t r) const { return passes(flags_[r], filterOn_, archive_); }
  // Live records that pass `filterOn` and `archive`, in `order` (as update
  // takes it) or record order, without building the view or moving its
  // cursor; `out` is replaced by them.
  void recordsOf(bool filterOn, int archive, const std::vector<std::uint32_t>* order, std::vector<std::int64_t>& out);
  std::size_t countOf(bool filterOn, int archive);
  std::size_t size() const { return rows_.size(); }
  std::uint32_t recordAt(std::size_t row) const { return rows_[row]; }
  std::int64_t current() const { return cur_; }   // record, -1 when none
  std::int64_t position() const { return pos_; }  // its row, -1 when none
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }

  void first();
  void last();
  void next();
  void prior();
  void moveTo(std::int64_t row);  // clamped to the rows; nothing when empty
  // Makes record r current; false when it is not in the view.
  bool gotoRecord(std::int64_t r);

  // Kept while a new row is being appended, to go back to on cancel.
  void saveCursor();
  void restoreCursor();

  // The file's record r was written (`bytes` is its new content).
  void recordRewritten(std::uint32_t r, const char* bytes);
  void recordAppended(std::uint32_t r, const char* bytes);
  void currentDeleted();

 private:
  static constexpr std::uint32_t kDeleted = 1u << 16;

  static bool passes(std::uint32_t m, bool filterOn, int archive) {
    return ((m & kDeleted) == 0) & (!filterOn | (std::int16_t(std::uint16_t(m & 0xFFFF)) == archive));
  }
  std::uint32_t flagsOf(const char* record) const;
  void ensureFlags();
  void setPos(std::int64_t p);
  void leaveCurrentRow();

  TableFile& file_;
  bool filterOn_ = false;
  int archive_ = 0;
  int arcOffset_ = 0, arcWidth_ = 0;  // of N_ARC in a record
  // Per record: its N_ARC value, and kDeleted when marked deleted; kept in
  // step with every write so that filtering never rereads the file.
  std::vector<std::uint32_t> flags_;
  std::vector<std::uint32_t> rows_;
  bool dirty_ = true;
  // Rows deleted or moved out of the filter since the view was built stay
  // in it as holes until the next call that needs positions; deleting many
  // rows one by one then costs no more than deleting one.
  bool holes_ = false;
  std::vector<std::int32_t> posOf_;  // record -> its row, -1 when not in the view
  std::int64_t cur_ = -1;
  std::int64_t pos_ = -1;
  bool eof_ = true, bof_ = true;
  std::int64_t savedCur_ = -1, savedPos_ = -1;
};

}  // namespace hv::store
