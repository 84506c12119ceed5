#include "store/table_view.h"

#include <algorithm>

#include "store/sort_keys.h"

namespace hv::store {

void TableView::reset() {
  flags_.clear();
  rows_.clear();
  posOf_.clear();
  holes_ = false;
  dirty_ = true;
  cur_ = pos_ = -1;
  eof_ = bof_ = true;
  const int arc = file_.isOpen() ? file_.layout().indexOf(QStringLiteral("N_ARC")) : -1;
  arcOffset_ = arc >= 0 ? file_.layout().fields[std::size_t(arc)].offset : 0;
  arcWidth_ = arc >= 0 ? file_.layout().fields[std::size_t(arc)].width : 0;
}

void TableView::resetKeeping(bool packed, const std::vector<bool>* dropped) {
  std::vector<std::uint32_t> flags;
  flags.swap(flags_);
  if (packed) {
    std::size_t n = 0;
    for (std::size_t r = 0; r < flags.size(); ++r) {
      flags[n] = flags[r];
      n += (flags[r] & kDeleted) == 0 && !(dropped && r < dropped->size() && (*dropped)[r]);
    }
    flags.resize(n);
  }
  reset();
  // Only what surely matches the file now; the rest is read as before.
  if (flags.size() == file_.count()) flags_.swap(flags);
}

void TableView::setFilter(bool on, int archive) {
  filterOn_ = on;
  archive_ = archive;
  dirty_ = true;
}

std::uint32_t TableView::flagsOf(const char* record) const {
  const auto arc = std::uint16_t(parseInt16(std::string_view(record + arcOffset_, std::size_t(arcWidth_))));
  return arc | (record[0] == char(kDeletedMark) ? kDeleted : 0u);
}

void TableView::ensureFlags() {
  const std::uint32_t count = file_.count();
  if (flags_.size() > count) flags_.clear();
  flags_.reserve(count);
  const std::size_t length = std::size_t(file_.layout().recordLength);
  file_.scan(std::uint32_t(flags_.size()), count, [&](std::uint32_t, std::uint32_t n, const char* bytes) {
    for (std::uint32_t i = 0; i < n; ++i, bytes += length) flags_.push_back(flagsOf(bytes));
  });
}

void TableView::recordsOf(bool filterOn, int archive, const std::vector<std::uint32_t>* order,
                          std::vector<std::int64_t>& out) {
  out.clear();
  if (!file_.isOpen()) return;
  ensureFlags();
  const std::uint32_t count = file_.count();
  out.reserve(countOf(filterOn, archive));
  if (order) {
    for (std::uint32_t r : *order)
      if (r < count && passes(flags_[r], filterOn, archive)) out.push_back(r);
  } else {
    for (std::uint32_t r = 0; r < count; ++r)
      if (passes(flags_[r], filterOn, archive)) out.push_back(r);
  }
}

std::size_t TableView::countOf(bool filterOn, int archive) {
  if (!file_.isOpen()) return 0;
  ensureFlags();
  return std::size_t(
      std::count_if(flags_.begin(), flags_.end(), [&](std::uint32_t m) { return passes(m, filterOn, archive); }));
}

void TableView::update(const std::vector<std::uint32_t>* order) {
  if (!file_.isOpen() || !needsUpdate()) return;
  ensureFlags();
  const std::uint32_t count = file_.count();
  // Built aside (in the old one's memory), so that running out of memory
  // half way leaves a view that the next call builds again.
  std::vector<std::uint32_t> rows;
  if (dirty_) {
    rows.swap(rows_);
    rows.clear();
    // Every record is written and only those that pass are kept: no branch
    // to mispredict on rows of mixed archives.
    rows.resize(order ? order->size() : count);
    std::size_t n = 0;
    if (order) {
      for (std::uint32_t r : *order) {
        rows[n] = r;
        n += r < count && passes(r);
      }
    } else {
      for (std::uint32_t r = 0; r < count; ++r) {
        rows[n] = r;
        n += passes(r);
      }
    }
    rows.resize(n);
  } else {
    rows = rows_;
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](std::uint32_t r) { return !passes(r); }), rows.end());
  }
  std::vector<std::int32_t> posOf;
  posOf.swap(posOf_);
  posOf.assign(count, -1);
  for (std::size_t i = 0; i < rows.size(); ++i) posOf[rows[i]] = std::int32_t(i);
  rows_.swap(rows);
  posOf_.swap(posOf);
  dirty_ = false;
  holes_ = false;
  pos_ = cur_ >= 0 && cur_ < std::int64_t(count) ? posOf_[std::size_t(cur_)] : -1;
  if (pos_ < 0) {
    pos_ = rows_.empty() ? -1 : 0;
    cur_ = rows_.empty() ? std::int64_t(-1) : std::int64_t(rows_[0]);
    bof_ = true;
    eof_ = rows_.empty();
  }
}

void TableView::setPos(std::int64_t p) {
  pos_ = p;
  cur_ = p >= 0 && p < std::int64_t(rows_.size()) ? std::int64_t(rows_[std::size_t(p)]) : std::int64_t(-1);
}

// The current row left the view: the next row becomes current, or the
// previous one at the end.
void TableView::leaveCurrentRow() {
  holes_ = true;
  std::int64_t p = pos_ + 1;
  while (p < std::int64_t(rows_.size()) && !passes(rows_[std::size_t(p)])) ++p;
  if (p >= std::int64_t(rows_.size())) {
    p = pos_ - 1;
    while (p >= 0 && !passes(rows_[std::size_t(p)])) --p;
  }
  setPos(p);
  bof_ = eof_ = p < 0;
}

void TableView::first() {
  setPos(rows_.empty() ? -1 : 0);
  bof_ = true;
  eof_ = rows_.empty();
}

void TableView::last() {
  setPos(std::int64_t(rows_.size()) - 1);
  eof_ = true;
  bof_ = rows_.empty();
}

void TableView::next() {
  if (pos_ + 1 < std::int64_t(rows_.size())) {
    setPos(pos_ + 1);
    bof_ = eof_ = false;
  } else {
    eof_ = true;
  }
}

void TableView::prior() {
  if (pos_ > 0) {
    setPos(pos_ - 1);
    bof_ = eof_ = false;
  } else {
    bof_ = true;
  }
}

void TableView::moveTo(std::int64_t row) {
  if (rows_.empty()) return;
  setPos(std::clamp<std::int64_t>(row, 0, std::int64_t(rows_.size()) - 1));
  bof_ = eof_ = false;
}

bool TableView::gotoRecord(std::int64_t r) {
  if (r < 0 || r >= std::int64_t(file_.count()) || std::size_t(r) >= posOf_.size()) return false;
  const std::int32_t p = posOf_[std::size_t(r)];
  if (p < 0 || !passes(std::uint32_t(r))) return false;
  setPos(p);
  bof_ = eof_ = false;
  return true;
}

void TableView::saveCursor() {
  savedCur_ = cur_;
  savedPos_ = pos_;
}

void TableView::restoreCursor() {
  cur_ = savedCur_;
  pos_ = savedPos_;
}

void TableView::recordRewritten(std::uint32_t r, const char* bytes) {
  if (r < flags_.size()) flags_[r] = flagsOf(bytes);
  // A changed key moves the row at the next refresh; a row that left the
  // filter leaves the view now.
  cur_ = r;
  if (!dirty_ && flags_.size() > r && !passes(r) && pos_ >= 0 && pos_ < std::int64_t(rows_.size()) &&
      rows_[std::size_t(pos_)] == r)
    leaveCurrentRow();
  bof_ = eof_ = cur_ < 0;
}

void TableView::recordAppended(std::uint32_t r, const char* bytes) {
  if (flags_.size() == r) flags_.push_back(flagsOf(bytes));
  if (dirty_) {
    cur_ = r;
  } else if (flags_.size() > r && passes(r)) {
    // Shown at the end of the view until the next refresh puts it in its place.
    rows_.push_back(r);
    posOf_.push_back(std::int32_t(rows_.size() - 1));
    setPos(std::int64_t(rows_.size()) - 1);
  } else {
    posOf_.push_back(-1);
    // Not in this view: stay where we were.
    restoreCursor();
  }
  bof_ = eof_ = cur_ < 0;
}

void TableView::currentDeleted() {
  ensureFlags();
  flags_[std::size_t(cur_)] |= kDeleted;
  leaveCurrentRow();
}

}  // namespace hv::store
